#include "restore.h"
#include "drumkits.h"
#include "songbatch.h"
#include "songfile.h"
#include "texts.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <map>
#include <tuple>

namespace {
// A journal as read: its lines, each whole or named incomplete.
struct JournalFile
{
    QString time; // of its first line, ISO 8601 in UTC: journals sort by it
    std::vector<RestoredLine> lines;
};

// The first line: "# PROGRAM VERSION, TIME: COLUMN, COLUMN...". Journals written before the
// song's size was recorded name four columns; later ones five.
bool readJournal(const QString &journalPath, JournalFile &journal, QString &problem)
{
    QFile file(journalPath);
    if (!openJournalForReading(file)) {
        problem = QFileInfo::exists(journalPath)
                      ? whyNotOpened(journalPath, file.errorString())
                      : Texts::notOpenedReason(Texts::NotOpened::Missing);
        return false;
    }
    if (const auto facts = openFileFacts(file); facts && !facts->regular) {
        problem = Texts::notOpenedReason(Texts::NotOpened::NotFileOrFolder);
        return false;
    }
    const QList<QByteArray> texts = file.readAll().split('\n');
    // Empty: the batch was stopped as it created it, before the first line and its byte.
    if (texts.size() == 1 && texts.first().isEmpty())
        return true;
    // Read without a regular expression: restores run on the window's worker thread too, where
    // PCRE2's compiler crashes under Wine.
    const QString header = QString::fromUtf8(texts.first()).trimmed();
    const qsizetype timeEnd = header.indexOf(QLatin1String("Z: "));
    const qsizetype timeStart = header.lastIndexOf(QLatin1String(", "), timeEnd) + 2;
    if (!header.startsWith(QLatin1String("# ")) || timeEnd < 0 || timeStart < 2 ||
        timeEnd - timeStart < 19 || !header.at(timeStart).isDigit()) {
        problem = Texts::notAJournal();
        return false;
    }
    journal.time = header.mid(timeStart, timeEnd + 1 - timeStart);
    const QString columnNames = header.mid(timeEnd + 3);
    const int columns = int(columnNames.split(QStringLiteral(", ")).size());
    for (qsizetype i = 1; i < texts.size(); ++i) {
        QByteArray text = texts[i];
        // The last piece has no line feed after it: a line cut short (a full disk, a crash)
        // when it holds anything.
        const bool whole = i + 1 < texts.size();
        if (text.endsWith('\r'))
            text.chop(1);
        if (text.isEmpty())
            continue;
        RestoredLine line;
        line.lineNumber = int(i + 1);
        if (!whole || !parseJournalLine(QString::fromUtf8(text), columns, line.line)) {
            line.line = {};
            line.reason = Texts::incompleteLine();
        }
        journal.lines.push_back(std::move(line));
    }
    return true;
}

// What a walk of a song finds now at the offsets of its lines: the Program Change there, and
// whether its channel is a rhythm channel at that point of the song.
struct ProgramNow
{
    int channel = 0;
    int program = 0;
    bool rhythm = false;
};

struct SongNow
{
    QString problem; // the song could not be opened, or is no plain file
    qint64 size = -1;
    std::map<qint64, ProgramNow> programs;
};

SongNow walkForPrograms(const QString &path, const QSet<qint64> &offsets)
{
    SongNow song;
    QFile file(path);
    if (!openSongForReading(file)) {
        song.problem = whyNotOpened(path, file.errorString());
        return song;
    }
    const auto facts = openFileFacts(file);
    if (facts && !facts->regular) {
        song.problem = Texts::notOpenedReason(Texts::NotOpened::NotFileOrFolder);
        return song;
    }
    song.size = facts ? facts->size : file.size();
    SongReader reader(file, song.size);
    RhythmChannels rhythm;
    SongReader::Event event;
    while (reader.next(event)) {
        if (event.kind == SongReader::Event::Kind::SystemExclusive)
            rhythm.applyGsMessage(reader.eventBuffer(), event.length);
        else if (event.kind == SongReader::Event::Kind::ProgramChange &&
                 offsets.contains(event.offset))
            song.programs[event.offset] = {event.channel, event.program,
                                           rhythm.isRhythm(event.channel)};
    }
    return song;
}

// Writes the original kit back, through the same kind of open as a batch's.
QString putBack(const JournalLine &line)
{
    QFile song(line.path);
    if (!openSongForRepair(song))
        return whyNotOpened(line.path, song.errorString());
    if (const auto facts = openFileFacts(song); facts && !facts->regular)
        return Texts::notOpenedReason(Texts::NotOpened::NotFileOrFolder);
    if (!SongBatch::writeProgramByte(song, line.offset, quint8(line.formerKit)))
        return song.errorString();
    return {};
}

// Restores a journal read, its lines from last to first. Only what a batch could have changed
// is put back: at that offset, a Program Change of kit 0 on a channel that is a rhythm channel
// there, in a song of the size it had, over an original kit that the kit table does not accept.
// The songs of the journals being restored: each is walked once, at the offsets of all their
// lines, when its first line to restore comes; the lines after it then see the kits that the
// earlier ones put back (or, in a dry run, would have).
struct Songs
{
    QHash<QString, QSet<qint64>> offsets;
    QHash<QString, SongNow> now;

    void add(const JournalFile &journal)
    {
        for (const RestoredLine &line : journal.lines) {
            if (line.reason.isEmpty())
                offsets[line.line.path].insert(line.line.offset);
        }
    }
};

void restoreLines(JournalFile &journal, bool dryRun, Songs &songs,
                  const std::function<void(const RestoredLine &)> &report)
{
    for (auto line = journal.lines.rbegin(); line != journal.lines.rend(); ++line) {
        const JournalLine &repair = line->line;
        if (line->reason.isEmpty() && isStandardKit(quint8(repair.formerKit)))
            line->reason = Texts::standardKitInLine(repair.formerKit);
        if (!line->reason.isEmpty()) {
            report(*line);
            continue;
        }
        auto song = songs.now.find(repair.path);
        if (song == songs.now.end())
            song = songs.now.insert(repair.path,
                                    walkForPrograms(repair.path, songs.offsets[repair.path]));
        const auto program = song->programs.find(repair.offset);
        if (!song->problem.isEmpty()) {
            line->reason = song->problem;
        } else if (repair.size >= 0 && song->size != repair.size) {
            line->reason = Texts::sizeChanged(song->size, repair.size);
        } else if (program == song->programs.end()) {
            line->reason = Texts::noProgramChangeThere();
        } else if (program->second.channel != repair.channel) {
            line->reason = Texts::programChangeOnChannel(program->second.channel);
        } else if (program->second.program == repair.formerKit) {
            line->result = RestoredLine::Result::NothingToDo;
        } else if (program->second.program != 0) {
            line->reason = Texts::otherKitThere(program->second.program);
        } else if (!program->second.rhythm) {
            line->reason = Texts::notRhythmChannelThere(repair.channel);
        } else if (!dryRun) {
            line->reason = putBack(repair);
        }
        if (line->reason.isEmpty() && line->result != RestoredLine::Result::NothingToDo) {
            line->result = RestoredLine::Result::Restored;
            program->second.program = repair.formerKit;
        }
        report(*line);
    }
}
} // namespace

bool restoreJournal(const QString &journalPath, bool dryRun,
                    const std::function<void(const RestoredLine &)> &report, QString &problem)
{
    JournalFile journal;
    if (!readJournal(journalPath, journal, problem))
        return false;
    Songs songs;
    songs.add(journal);
    restoreLines(journal, dryRun, songs, report);
    return true;
}

void restoreJournals(const QStringList &journalPaths, bool dryRun,
                     const std::function<void(const RestoredLine &)> &report,
                     const std::function<void(const QString &, const QString &)> &notRead)
{
    struct Read
    {
        QString path;
        JournalFile journal;
    };
    std::vector<Read> journals;
    for (const QString &path : journalPaths) {
        Read read{path, {}};
        QString problem;
        if (readJournal(path, read.journal, problem))
            journals.push_back(std::move(read));
        else
            notRead(path, problem);
    }
    // Newest first: the kit a song had before the last batch comes back last, whatever the
    // order given (a shell's registro/*.tsv gives the oldest first). Same time: by name.
    std::stable_sort(journals.begin(), journals.end(), [](const Read &a, const Read &b) {
        return std::tie(a.journal.time, a.path) > std::tie(b.journal.time, b.path);
    });
    Songs songs;
    for (const Read &read : journals)
        songs.add(read.journal);
    for (Read &read : journals)
        restoreLines(read.journal, dryRun, songs, report);
}

bool countJournalChanges(const QString &journalPath, int &changes, QString &problem)
{
    JournalFile journal;
    if (!readJournal(journalPath, journal, problem))
        return false;
    changes = int(journal.lines.size());
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
