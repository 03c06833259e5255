#include "songfile.h"

#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace NotOpened {
QString missing()
{
    return QStringLiteral("non esiste");
}
QString accessDenied()
{
    return QStringLiteral("accesso negato");
}
QString notFileOrFolder()
{
    return QStringLiteral("non è un file né una cartella");
}
} // namespace NotOpened

namespace {
QString readOnly()
{
    return QStringLiteral("file di sola lettura");
}
#ifdef Q_OS_WIN
QString inUse()
{
    return QStringLiteral("in uso da un altro programma");
}
#endif
QString folder()
{
    return QStringLiteral("è una cartella");
}
} // namespace

std::optional<FileIdentity> fileIdentity(const QFile &file)
{
    const int handle = file.handle();
    if (handle < 0)
        return std::nullopt;
#ifdef Q_OS_WIN
    BY_HANDLE_FILE_INFORMATION info;
    const auto native = reinterpret_cast<HANDLE>(_get_osfhandle(handle));
    if (native == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(native, &info))
        return std::nullopt;
    return FileIdentity{info.dwVolumeSerialNumber,
                        (quint64(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
#else
    struct stat status;
    if (fstat(handle, &status) != 0)
        return std::nullopt;
    return FileIdentity{quint64(status.st_dev), quint64(status.st_ino)};
#endif
}

QString whyNotOpened(const QString &path, const QString &systemError)
{
#ifdef Q_OS_WIN
    // Another program that holds the song open without sharing it (a player, an editor) is
    // told apart only by the system's error code: ask once more, and keep that code.
    const HANDLE probe = CreateFileW(reinterpret_cast<const wchar_t *>(path.utf16()),
                                     GENERIC_READ | GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    const DWORD error = GetLastError();
    if (probe != INVALID_HANDLE_VALUE)
        CloseHandle(probe);
    else if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
        return inUse();
#endif
    const QFileInfo info(path);
    if (!info.exists())
        return NotOpened::missing();
    if (info.isDir())
        return folder();
    if (!info.isFile())
        return NotOpened::notFileOrFolder();
    if (!info.isReadable())
        return NotOpened::accessDenied();
    if (!info.isWritable()) {
        // Songs copied from a CD keep Windows' read-only attribute; on Linux the same shows as
        // a file without write permission, or a disk mounted read-only.
        constexpr QFile::Permissions anyWrite =
            QFile::WriteOwner | QFile::WriteUser | QFile::WriteGroup | QFile::WriteOther;
        if (!(info.permissions() & anyWrite) || QStorageInfo(path).isReadOnly())
            return readOnly();
        return NotOpened::accessDenied();
    }
    return systemError;
}
