#include "journal.h"
#include "dryrunfile.h"
#include "songfile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QStandardPaths>

#include <map>

namespace {
QString escapedPath(const QString &path)
{
    if (!path.contains(u'%') && !path.contains(u'\n') && !path.contains(u'\r'))
        return path;
    QString escaped = path;
    escaped.replace(u'%', QLatin1String("%25"));
    escaped.replace(u'\n', QLatin1String("%0A"));
    escaped.replace(u'\r', QLatin1String("%0D"));
    return escaped;
}

QString unescapedPath(const QString &escaped)
{
    QString path = escaped;
    path.replace(QLatin1String("%0A"), QLatin1String("\n"), Qt::CaseInsensitive);
    path.replace(QLatin1String("%0D"), QLatin1String("\r"), Qt::CaseInsensitive);
    path.replace(QLatin1String("%25"), QLatin1String("%"));
    return path;
}

// A repair's line, read from the right: the path may hold tabs of its own.
bool parseJournalLine(const QString &text, JournalLine &line)
{
    const QStringList fields = text.split(u'\t');
    if (fields.size() < 4)
        return false;
    bool offsetOk = false;
    bool channelOk = false;
    bool kitOk = false;
    const qsizetype n = fields.size();
    line.offset = fields[n - 3].toLongLong(&offsetOk);
    line.channel = fields[n - 2].toInt(&channelOk) - 1;
    line.formerKit = fields[n - 1].toInt(&kitOk);
    line.path = unescapedPath(fields.mid(0, n - 3).join(u'\t'));
    return offsetOk && channelOk && kitOk && !line.path.isEmpty() && line.offset >= 0 &&
           line.channel >= 0 && line.channel < 16 && line.formerKit > 0 && line.formerKit < 256;
}

// The Program Changes that a walk of a song meets at the given offsets, by offset. Read-only:
// the walk's own repairs go nowhere.
struct SongNow
{
    QString problem; // the song could not be opened
    std::map<qint64, ConversionEngine::Conversion> programs;
};

SongNow walkForPrograms(const QString &path, const QSet<qint64> &offsets)
{
    SongNow song;
    DryRunFile device(path);
    if (!device.openSong()) {
        song.problem = whyNotOpened(path, device.errorString());
        return song;
    }
    ConversionEngine engine;
    engine.setProgramObserver([&](const ConversionEngine::Conversion &program) {
        if (offsets.contains(program.offset))
            song.programs[program.offset] = program;
    });
    engine.walkFile(device);
    return song;
}

QString putBack(const JournalLine &line)
{
    QFile song(line.path);
    if (!ConversionEngine::openForRepair(song))
        return whyNotOpened(line.path, song.errorString());
    if (!song.seek(line.offset) || !song.putChar(char(line.formerKit)))
        return song.errorString();
    return {};
}
} // namespace

Journal::Journal(const QString &program, const QString &version)
    : program(program)
    , version(version)
{
}

QString Journal::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/kadenzo/registro");
}

QString journalLineText(const JournalLine &line)
{
    return QString::fromUtf8(journalLineBytes(line));
}

QByteArray journalLineBytes(const JournalLine &line)
{
    QByteArray bytes = escapedPath(line.path).toUtf8();
    bytes += '\t';
    bytes += QByteArray::number(line.offset);
    bytes += '\t';
    bytes += QByteArray::number(line.channel + 1);
    bytes += '\t';
    bytes += QByteArray::number(line.formerKit);
    return bytes;
}

bool Journal::record(const QString &songPath, const ConversionEngine::Conversion &conversion)
{
    const QByteArray bytes =
        journalLineBytes({songPath, conversion.offset, conversion.channel, conversion.formerKit}) +
        '\n';
    const std::lock_guard lock(mutex);
    if (!failure.isEmpty() || (!file.isOpen() && !create()))
        return false;
    // Unbuffered: the line is with the system when this returns, before the byte is written.
    if (file.write(bytes) != bytes.size()) {
        failure = file.errorString();
        return false;
    }
    return true;
}

bool Journal::create()
{
    const QString where = folder();
    if (!QDir().mkpath(where)) {
        failure = QFileInfo(where).exists()
                      ? QStringLiteral("%1 non è una cartella").arg(QDir::toNativeSeparators(where))
                      : QStringLiteral("impossibile creare la cartella %1")
                            .arg(QDir::toNativeSeparators(where));
        return false;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QString name =
        where + u'/' + now.toString(QStringLiteral("yyyy-MM-dd_HH-mm-ss-zzz")) + u'_' + program;
    for (int attempt = 1;; ++attempt) {
        file.setFileName(name + (attempt > 1 ? QStringLiteral("_%1").arg(attempt) : QString()) +
                         QStringLiteral(".tsv"));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            break;
        if (!file.exists() || attempt == 100) {
            failure = file.errorString();
            return false;
        }
    }
    const QByteArray header =
        QStringLiteral("# %1 %2, %3: file, posizione, canale, kit precedente\n")
            .arg(program, version, now.toString(Qt::ISODate))
            .toUtf8();
    if (file.write(header) != header.size()) {
        failure = file.errorString();
        return false;
    }
    return true;
}

QString Journal::path() const
{
    const std::lock_guard lock(mutex);
    return file.isOpen() ? QDir::toNativeSeparators(file.fileName()) : QString();
}

QString Journal::problem() const
{
    const std::lock_guard lock(mutex);
    return failure;
}

bool restoreJournal(const QString &journalPath, bool dryRun,
                    const std::function<void(const RestoredLine &)> &report, QString &problem)
{
    QFile journal(journalPath);
    if (!journal.open(QIODevice::ReadOnly)) {
        problem = QFileInfo::exists(journalPath) ? journal.errorString()
                                                 : notOpenedText(NotOpened::Missing);
        return false;
    }
    const QList<QByteArray> texts = journal.readAll().split('\n');
    // Empty: the batch was stopped as it created it, before the first line and its byte.
    if (!texts.first().startsWith('#') && !(texts.size() == 1 && texts.first().isEmpty())) {
        problem = QStringLiteral("non è un registro delle modifiche di Kadenzo");
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
            line.reason = QStringLiteral("riga non valida");
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
                line->reason = QStringLiteral("lì non c'è più un cambio di programma");
            } else if (program->second.channel != repair.channel) {
                line->reason = QStringLiteral("lì c'è un cambio di programma sul canale %1")
                                   .arg(program->second.channel + 1);
            } else if (program->second.formerKit == repair.formerKit) {
                line->result = RestoredLine::Result::NothingToDo;
            } else if (program->second.formerKit != 0) {
                line->reason =
                    QStringLiteral("lì c'è il kit %1, non il kit 0").arg(program->second.formerKit);
            } else if (!dryRun) {
                line->reason = putBack(repair);
            }
            if (line->reason.isEmpty() && line->result != RestoredLine::Result::NothingToDo) {
                line->result = RestoredLine::Result::Restored;
                program->second.formerKit = repair.formerKit;
            }
        }
        report(*line);
    }
    return true;
}

QString leftAloneMessage(const RestoredLine &line)
{
    if (line.line.path.isEmpty())
        return QStringLiteral("Attenzione! Kit non ripristinato, riga %1 del registro: %2")
            .arg(line.lineNumber)
            .arg(line.reason);
    return QStringLiteral("Attenzione! Kit non ripristinato in %1, posizione %2 (canale %3, kit "
                          "%4): %5")
        .arg(line.line.path)
        .arg(line.line.offset)
        .arg(line.line.channel + 1)
        .arg(line.line.formerKit)
        .arg(line.reason);
}

QString restoreSummary(int restored, int leftAlone)
{
    return QStringLiteral("Kit ripristinati: %1, non ripristinati: %2")
        .arg(restored)
        .arg(leftAlone);
}

QString journalFailedMessage(const Journal &journal)
{
    const QString path = journal.path();
    return QStringLiteral("Attenzione! Impossibile scrivere il registro delle modifiche%1: %2. "
                          "La conversione si è fermata: nessun altro kit è stato modificato.")
        .arg(path.isEmpty() ? QString() : u' ' + path, journal.problem());
}
