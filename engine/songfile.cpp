#include "songfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>

#include <string>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

bool openSongForRepair(QFile &file)
{
    return file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered);
}

bool openSongForReading(QFile &file)
{
#ifdef Q_OS_WIN
    return file.open(QIODevice::ReadOnly | QIODevice::ExistingOnly | QIODevice::Unbuffered);
#else
    const int handle =
        ::open(QFile::encodeName(file.fileName()).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (handle < 0)
        return false;
    return file.open(handle, QIODevice::ReadOnly | QIODevice::Unbuffered,
                     QFileDevice::AutoCloseHandle) ||
           (::close(handle), false);
#endif
}

QString resolvedPath(const QFile &file)
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
    const QString canonical = QFileInfo(file.fileName()).canonicalFilePath();
    return QDir::toNativeSeparators(
        canonical.isEmpty() ? QFileInfo(file.fileName()).absoluteFilePath() : canonical);
}

std::optional<OpenFileFacts> openFileFacts(const QFile &file)
{
    const int handle = file.handle();
    if (handle < 0)
        return std::nullopt;
#ifdef Q_OS_WIN
    BY_HANDLE_FILE_INFORMATION info;
    const auto native = reinterpret_cast<HANDLE>(_get_osfhandle(handle));
    if (native == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(native, &info))
        return std::nullopt;
    return OpenFileFacts{
        {info.dwVolumeSerialNumber, (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow},
        qint64((quint64(info.nFileSizeHigh) << 32) | info.nFileSizeLow)};
#else
    struct stat status;
    if (fstat(handle, &status) != 0)
        return std::nullopt;
    return OpenFileFacts{{quint64(status.st_dev), quint64(status.st_ino)},
                         qint64(status.st_size),
                         S_ISREG(status.st_mode)};
#endif
}

QString whyNotOpened(const QString &path, const QString &systemError)
{
    // The open that failed went through Qt, which keeps only the system's words: ask the
    // system once more, for its error code.
#ifdef Q_OS_WIN
    const HANDLE probe = CreateFileW(
        reinterpret_cast<const wchar_t *>(path.utf16()), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    if (probe != INVALID_HANDLE_VALUE)
        CloseHandle(probe);
    // Another program that holds the song open without sharing it: a player, an editor.
    else if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return Texts::notOpenedReason(Texts::NotOpened::InUse);
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
    return systemError;
}
