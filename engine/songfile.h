#pragma once

#include "texts.h"

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

// Opens a song for reading and writing, as a repair or a restore needs it, unbuffered (every
// write goes to the system at once); never creates a file: a path that has gone away must not
// come back as an empty file. False, with the file's error, when it cannot.
bool openSongForRepair(QFile &file);
// Opens a song for reading only, as a dry run or a restore's look at it: never waits on a pipe
// (whose open for reading waits for a writer), which openFileFacts then tells from a file.
bool openSongForReading(QFile &file);

// The path of an open file as the system resolves it, with native separators: links and ".."
// followed, and on Windows the name as the disk holds it (a case-blind disk may have been given
// another case). What a journal names, so that a restore finds the very file that was changed.
QString resolvedPath(const QFile &file);

// Why a path could not be opened for reading and writing, in the words that follow
// "Impossibile aprire PATH: ": Italian for the usual cases (Texts::NotOpened), the system's own
// words (`systemError`) for the rest. Asked only once an open has failed.
QString whyNotOpened(const QString &path, const QString &systemError);
