#pragma once

#include <QString>
#include <QtGlobal>

#include <compare>
#include <optional>

class QFile;

// What tells one file from another, whatever path leads to it: the device and inode on
// Linux, the volume and file index on Windows. Two paths that differ only in letter case on a
// FAT stick, or two hard links, name one file and give one identity.
struct FileIdentity
{
    quint64 volume = 0;
    quint64 index = 0;
    friend auto operator<=>(const FileIdentity &, const FileIdentity &) = default;
};

// What the system says of a file that is open: who it is, its size, and whether it is a
// plain file (not a pipe or a device, which a path may have become since it was listed).
struct OpenFileFacts
{
    FileIdentity identity;
    qint64 size = 0;
    bool regular = true;
};
// None where the system does not tell it.
std::optional<OpenFileFacts> openFileFacts(const QFile &file);

// Why a path could not be opened for reading and writing, in the words that follow
// "Impossibile aprire PATH: ": Italian for the usual cases, the system's own words
// (`systemError`) for the rest. Asked only once an open has failed.
QString whyNotOpened(const QString &path, const QString &systemError);

// The usual reasons, and their words.
enum class NotOpened { Missing, AccessDenied, ReadOnly, InUse, Folder, NotFileOrFolder };
QString notOpenedText(NotOpened reason);
