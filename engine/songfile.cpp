#include "songfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstring>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#ifdef Q_OS_WIN
namespace {
// Opens a song with Windows' own call, sharing it for reading only: while Kadenzo has it open,
// another program may read it (a player) but not write it (an editor's save fails cleanly
// rather than mixing its bytes with Kadenzo's), and a program that is writing it, or holds it
// without sharing, makes this open fail with a sharing violation. Qt would share writes too.
bool openSharingReadsOnly(QFile &file, DWORD access, QIODevice::OpenMode mode)
{
    const HANDLE handle = CreateFileW(win32Path(file.fileName()).c_str(), access, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                        _O_BINARY | (access & GENERIC_WRITE ? _O_RDWR : _O_RDONLY));
    if (descriptor < 0) {
        CloseHandle(handle);
        return false;
    }
    return file.open(descriptor, mode | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle) ||
           (_close(descriptor), false);
}
} // namespace

std::wstring win32Path(const QString &path)
{
    // Windows' device namespace ("\\.\COM1") and paths already in the long form stay as given.
    if (path.startsWith(QLatin1String("\\\\.\\")) || path.startsWith(QLatin1String("\\\\?\\")))
        return path.toStdWString();
    // The long form takes no "." or "..", nor "/": the system no longer tidies the path.
    QString absolute =
        QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (absolute.startsWith(QLatin1String("\\\\")))
        absolute = QLatin1String("\\\\?\\UNC\\") + absolute.mid(2);
    else
        absolute.prepend(QLatin1String("\\\\?\\"));
    return absolute.toStdWString();
}

bool openSongForRepair(QFile &file)
{
    return openSharingReadsOnly(file, GENERIC_READ | GENERIC_WRITE, QIODevice::ReadWrite);
}

bool openSongForReading(QFile &file)
{
    return openSharingReadsOnly(file, GENERIC_READ, QIODevice::ReadOnly);
}

bool openJournalForReading(QFile &file)
{
    return file.open(QIODevice::ReadOnly | QIODevice::ExistingOnly | QIODevice::Unbuffered);
}
#else
bool openSongForRepair(QFile &file)
{
    return file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered);
}

bool openSongForReading(QFile &file)
{
    const int handle =
        ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0)
        return false;
    return file.open(handle, QIODevice::ReadOnly | QIODevice::Unbuffered,
                     QFileDevice::AutoCloseHandle) ||
           (::close(handle), false);
}

bool openJournalForReading(QFile &file)
{
    return openSongForReading(file);
}
#endif

QString resolvedPath(const QFile &file, const QString &givenPath)
{
#ifdef Q_OS_WIN
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()));
    std::wstring name(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 2 && handle != INVALID_HANDLE_VALUE; ++attempt) {
        const DWORD length = GetFinalPathNameByHandleW(handle, name.data(), DWORD(name.size()),
                                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
        if (length == 0)
            break;
        if (length < name.size()) {
            name.resize(length);
            // "\\?\C:\..." or "\\?\UNC\server\share\...": the prefix that lifts the
            // length limit, which paths as people write them do not carry.
            QString path = QString::fromStdWString(name);
            if (path.startsWith(QLatin1String("\\\\?\\UNC\\")))
                path = QLatin1String("\\\\") + path.mid(8);
            else if (path.startsWith(QLatin1String("\\\\?\\")))
                path = path.mid(4);
            return path;
        }
        name.assign(length, L'\0');
    }
#else
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(file.handle());
    QByteArray target(4096, '\0');
    const ssize_t length = readlink(link.constData(), target.data(), std::size_t(target.size()));
    if (length > 0 && length < target.size() && target.startsWith('/'))
        return QFile::decodeName(target.left(length));
#endif
    // The system would not tell (Wine's GetFinalPathNameByHandleW stops at 260 characters):
    // the path as given, resolved by its name.
    const QString canonical = QFileInfo(givenPath).canonicalFilePath();
    return QDir::toNativeSeparators(canonical.isEmpty() ? QFileInfo(givenPath).absoluteFilePath()
                                                        : canonical);
}

#ifdef Q_OS_WIN
namespace {
std::optional<OpenFileFacts> factsOfHandle(HANDLE native)
{
    BY_HANDLE_FILE_INFORMATION info;
    if (native == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(native, &info))
        return std::nullopt;
    OpenFileFacts facts{
        {info.dwVolumeSerialNumber, (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow},
        qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow),
        GetFileType(native) == FILE_TYPE_DISK &&
            !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)};
    // ReFS (and a Dev Drive) number files with 128 bits and volumes with 64: the 32-bit serial
    // and the 64-bit index above can be shared by two files there. Systems and disks that do
    // not tell the long identity keep the short one, which is unique on them.
    FILE_ID_INFO id;
    if (GetFileInformationByHandleEx(native, FileIdInfo, &id, sizeof id)) {
        static_assert(sizeof id.FileId.Identifier == 2 * sizeof(quint64));
        quint64 halves[2];
        std::memcpy(halves, id.FileId.Identifier, sizeof halves);
        facts.identity = {id.VolumeSerialNumber, halves[0], halves[1]};
    }
    return facts;
}
} // namespace
#endif

std::optional<OpenFileFacts> openFileFacts(const QFile &file)
{
    const int handle = file.handle();
    if (handle < 0)
        return std::nullopt;
#ifdef Q_OS_WIN
    return factsOfHandle(reinterpret_cast<HANDLE>(_get_osfhandle(handle)));
#else
    struct stat status;
    if (fstat(handle, &status) != 0)
        return std::nullopt;
    return OpenFileFacts{{quint64(status.st_dev), quint64(status.st_ino)},
                         qint64(status.st_size),
                         S_ISREG(status.st_mode)};
#endif
}

std::optional<FileIdentity> identityOfPath(const QString &path)
{
#ifdef Q_OS_WIN
    // Asking for no access at all: a handle that only reads the file's facts, which no other
    // handle's sharing refuses.
    const HANDLE handle = CreateFileW(win32Path(path).c_str(), 0,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return std::nullopt;
    const std::optional<OpenFileFacts> facts = factsOfHandle(handle);
    CloseHandle(handle);
#else
    QFile file(path);
    const std::optional<OpenFileFacts> facts =
        openSongForReading(file) ? openFileFacts(file) : std::nullopt;
#endif
    if (!facts)
        return std::nullopt;
    return facts->identity;
}

QString whyNotOpened(const QString &path, const QString &systemError)
{
    // The open that failed went through Qt, which keeps only the system's words: ask the
    // system once more, for its error code.
#ifdef Q_OS_WIN
    const HANDLE probe =
        CreateFileW(win32Path(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    if (probe != INVALID_HANDLE_VALUE)
        CloseHandle(probe);
    // Another program that holds the song open without sharing it (a player, an editor), or
    // that is writing it.
    else if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return Texts::notOpenedReason(Texts::NotOpened::InUse);
    // The open that failed was Windows' own, not Qt's: the system's words come from the probe.
    const QString systemWords =
        probe == INVALID_HANDLE_VALUE ? qt_error_string(int(error)) : systemError;
    const bool refused = probe == INVALID_HANDLE_VALUE && error == ERROR_ACCESS_DENIED;
#else
    const int probe = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
    const int error = errno;
    if (probe >= 0)
        ::close(probe);
    else if (error == EROFS)
        return Texts::notOpenedReason(
            Texts::NotOpened::ReadOnly); // a CD, or a disk mounted read-only
    else if (error == ETXTBSY)
        return Texts::notOpenedReason(Texts::NotOpened::InUse);
    const bool refused = probe < 0 && (error == EACCES || error == EPERM);
#endif
    const QFileInfo info(path);
    if (!info.exists())
        return Texts::notOpenedReason(Texts::NotOpened::Missing);
    if (info.isDir())
        return Texts::notOpenedReason(Texts::NotOpened::Folder);
    if (!info.isFile())
        return Texts::notOpenedReason(Texts::NotOpened::NotFileOrFolder);
    if (refused || !info.isReadable() || !info.isWritable()) {
        // Songs copied from a CD keep Windows' read-only attribute; on Linux the same shows as
        // a file that nobody may write to. (WriteUser is left out: it says what this user may
        // do, and root may write to such a file, where the kernel may still refuse.)
        constexpr QFile::Permissions anyWrite =
            QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther;
        return Texts::notOpenedReason(info.isReadable() && !(info.permissions() & anyWrite)
                                          ? Texts::NotOpened::ReadOnly
                                          : Texts::NotOpened::AccessDenied);
    }
#ifdef Q_OS_WIN
    return systemWords;
#else
    return systemError;
#endif
}
