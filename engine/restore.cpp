#include "restore.h"
#include "songbatch.h"
#include "songfile.h"
#include "texts.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <map>

namespace {
// The Program Changes that a walk of a song meets at the given offsets, by offset.
struct SongNow
{
    QString problem; // the song could not be opened
    std::map<qint64, SongReader::Event> programs;
};

SongNow walkForPrograms(const QString &path, const QSet<qint64> &offsets)
{
    SongNow song;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::ExistingOnly | QIODevice::Unbuffered)) {
        song.problem = whyNotOpened(path, file.errorString());
        return song;
    }
    SongReader reader(file, file.size());
    SongReader::Event event;
    while (reader.next(event)) {
        if (event.kind == SongReader::Event::Kind::ProgramChange && offsets.contains(event.offset))
            song.programs[event.offset] = event;
    }
    return song;
}

QString putBack(const JournalLine &line)
{
    QFile song(line.path);
    if (!openSongForRepair(song))
        return whyNotOpened(line.path, song.errorString());
    if (!SongBatch::writeProgramByte(song, line.offset, quint8(line.formerKit)))
        return song.errorString();
    return {};
}
} // namespace

bool restoreJournal(const QString &journalPath, bool dryRun,
                    const std::function<void(const RestoredLine &)> &report, QString &problem)
{
    QFile journal(journalPath);
    if (!journal.open(QIODevice::ReadOnly)) {
        problem = QFileInfo::exists(journalPath)
                      ? journal.errorString()
                      : Texts::notOpenedReason(Texts::NotOpened::Missing);
        return false;
    }
    const QList<QByteArray> texts = journal.readAll().split('\n');
    // Empty: the batch was stopped as it created it, before the first line and its byte.
    if (!texts.first().startsWith('#') && !(texts.size() == 1 && texts.first().isEmpty())) {
        problem = Texts::notAJournal();
        return false;
    }
    std::vector<RestoredLine> lines;
    QHash<QString, QSet<qint64>> offsetsOfSong;
    for (qsizetype i = 1; i < texts.size(); ++i) {
        QByteArray text = texts[i];
        if (text.endsWith('\r'))
            text.chop(1);
        if (text.isEmpty())
            continue;
        RestoredLine line;
        line.lineNumber = int(i + 1);
        if (parseJournalLine(QString::fromUtf8(text), line.line))
            offsetsOfSong[line.line.path].insert(line.line.offset);
        else
            line.reason = Texts::invalidJournalLine();
        lines.push_back(std::move(line));
    }

    // Each song is walked once, when its last line comes; the lines before it then see the
    // kits that the later ones put back.
    QHash<QString, SongNow> songs;
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (line->reason.isEmpty()) {
            const JournalLine &repair = line->line;
            auto song = songs.find(repair.path);
            if (song == songs.end())
                song = songs.insert(repair.path,
                                    walkForPrograms(repair.path, offsetsOfSong[repair.path]));
            const auto program = song->programs.find(repair.offset);
            if (!song->problem.isEmpty()) {
                line->reason = song->problem;
            } else if (program == song->programs.end()) {
                line->reason = Texts::noProgramChangeThere();
            } else if (program->second.channel != repair.channel) {
                line->reason = Texts::programChangeOnChannel(program->second.channel);
            } else if (program->second.program == repair.formerKit) {
                line->result = RestoredLine::Result::NothingToDo;
            } else if (program->second.program != 0) {
                line->reason = Texts::otherKitThere(program->second.program);
            } else if (!dryRun) {
                line->reason = putBack(repair);
            }
            if (line->reason.isEmpty() && line->result != RestoredLine::Result::NothingToDo) {
                line->result = RestoredLine::Result::Restored;
                program->second.program = quint8(repair.formerKit);
            }
        }
        report(*line);
    }
    return true;
}

QString leftAloneMessage(const RestoredLine &line)
{
    if (line.line.path.isEmpty())
        return Texts::leftAlone(line.lineNumber, line.reason);
    return Texts::leftAlone(line.line.path, line.line.offset, line.line.channel,
                            line.line.formerKit, line.reason);
}

void RestoreTotals::add(const RestoredLine &line)
{
    if (line.result == RestoredLine::Result::Restored) {
        ++restored;
    } else if (line.result == RestoredLine::Result::LeftAlone) {
        ++leftAlone;
        problems += leftAloneMessage(line) + u'\n';
    }
}
