#include "journal.h"
#include "songfile.h"
#include "texts.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

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
// Puts what was written to an open file on the disk: its data, and what is needed to read it
// back (the size), as a power cut must not lose it.
bool flushToDisk(const QFile &file)
{
#ifdef Q_OS_WIN
    return FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle())));
#else
    return fdatasync(file.handle()) == 0;
#endif
}

// Puts a folder's entries on the disk: a new file's name, so that the file is found again
// after a power cut. On Windows a folder can be flushed only through a handle opened for
// writing, which NTFS grants to the user's own folders; where it is refused, NTFS's own journal
// of its entries is what keeps the name.
void flushFolder(const QString &folder)
{
#ifdef Q_OS_WIN
    const HANDLE handle = CreateFileW(win32Path(folder).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        FlushFileBuffers(handle);
        CloseHandle(handle);
    }
#else
    const int handle = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_CLOEXEC);
    if (handle >= 0) {
        fsync(handle);
        ::close(handle);
    }
#endif
}
} // namespace

// A repair's line, read from the right: the path may hold tabs of its own.
bool parseJournalLine(const QString &text, int columns, JournalLine &line)
{
    const QStringList fields = text.split(u'\t');
    if (fields.size() < columns || columns < 4)
        return false;
    bool offsetOk = false;
    bool channelOk = false;
    bool kitOk = false;
    bool sizeOk = true;
    const qsizetype n = fields.size() - (columns - 4); // past the four columns of old journals
    line.offset = fields[n - 3].toLongLong(&offsetOk);
    line.channel = fields[n - 2].toInt(&channelOk) - 1;
    line.formerKit = fields[n - 1].toInt(&kitOk);
    line.size = columns > 4 ? fields[n].toLongLong(&sizeOk) : -1;
    line.path = unescapedPath(fields.mid(0, n - 3).join(u'\t'));
    return offsetOk && channelOk && kitOk && sizeOk && !line.path.isEmpty() && line.offset >= 0 &&
           line.channel >= 0 && line.channel < 16 && line.formerKit > 0 && line.formerKit < 256 &&
           (columns == 4 || line.size > line.offset);
}

Journal::Journal(const QString &program, const QString &version)
    : program(program)
    , version(version)
{
}

Journal::~Journal()
{
    if (file.isOpen() && !holdsLines && failure.isEmpty())
        file.remove();
}

void Journal::createAhead()
{
    std::unique_lock lock(mutex);
    if (file.isOpen() || !failure.isEmpty())
        return;
    bool onDisk = false;
    if (create()) {
        const quint64 header = ++written; // a ticket of its own, for its flush
        lock.unlock();
        onDisk = commit(header);
        lock.lock();
    }
    if (onDisk)
        return;
    // Left as if never tried: a batch that changes nothing needs no journal, and one that does
    // is told why at its first change.
    if (file.isOpen())
        file.remove();
    failure.clear();
    written = 0; // the header's ticket; a failed flush committed none, nor the folder
}

QString Journal::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/kadenzo/registro");
}

QString journalLineText(const JournalLine &line)
{
    JournalLine listed = line;
    listed.size = -1; // as --list prints it
    return QString::fromUtf8(journalLineBytes(listed));
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
    if (line.size >= 0) {
        bytes += '\t';
        bytes += QByteArray::number(line.size);
    }
    return bytes;
}

quint64 Journal::write(const QString &songPath, qint64 songSize, std::span<const Repair> repairs)
{
    QByteArray bytes;
    for (const Repair &repair : repairs) {
        bytes +=
            journalLineBytes({songPath, repair.offset, repair.channel, repair.formerKit, songSize});
        bytes += '\n';
    }
    const std::lock_guard lock(mutex);
    if (!failure.isEmpty() || (!file.isOpen() && !create()))
        return 0;
    // Unbuffered: the lines are with the system when this returns; commit puts them on the disk.
    holdsLines = true;
    if (file.write(bytes) != bytes.size()) {
        failure = file.errorString();
        return 0;
    }
    return ++written;
}

bool Journal::commit(quint64 ticket)
{
    std::unique_lock lock(mutex);
    while (committed < ticket && failure.isEmpty()) {
        if (flushing) {
            flushed.wait(lock);
            continue;
        }
        // Every line written so far goes to the disk with this flush, other songs' too.
        flushing = true;
        const quint64 covered = written;
        lock.unlock();
        bool done = flushToDisk(file);
        // The journal's name on the disk too, once, before any line is taken for flushed; right
        // after the file's own flush the system has little else to write with it.
        if (done && !folderFlushed)
            flushFolder(QFileInfo(file.fileName()).path());
        lock.lock();
        folderFlushed = folderFlushed || done;
        flushing = false;
        if (done)
            committed = covered;
        else
            failure =
                file.errorString().isEmpty() ? Texts::journalNotFlushed() : file.errorString();
        flushed.notify_all();
    }
    return committed >= ticket;
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
        (Texts::journalHeader(program, version, now.toString(Qt::ISODateWithMs)) + u'\n').toUtf8();
    if (file.write(header) != header.size()) {
        failure = file.errorString();
        return false;
    }
    return true;
}

QString Journal::path() const
{
    const std::lock_guard lock(mutex);
    return file.isOpen() && (holdsLines || !failure.isEmpty())
               ? QDir::toNativeSeparators(file.fileName())
               : QString();
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
