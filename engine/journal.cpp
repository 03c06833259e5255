#include "journal.h"
#include "texts.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

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
} // namespace

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

bool Journal::record(const QString &songPath, std::span<const Repair> repairs)
{
    QByteArray bytes;
    for (const Repair &repair : repairs) {
        bytes += journalLineBytes({songPath, repair.offset, repair.channel, repair.formerKit});
        bytes += '\n';
    }
    const std::lock_guard lock(mutex);
    if (!failure.isEmpty() || (!file.isOpen() && !create()))
        return false;
    // Unbuffered: the lines are with the system when this returns, before the bytes are
    // written.
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
        const QString native = QDir::toNativeSeparators(where);
        failure = QFileInfo(where).exists() ? Texts::journalFolderIsAFile(native)
                                            : Texts::journalFolderNotMade(native);
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
        (Texts::journalHeader(program, version, now.toString(Qt::ISODate)) + u'\n').toUtf8();
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

QString journalFailedMessage(const Journal &journal)
{
    return Texts::journalFailed(journal.path(), journal.problem());
}
