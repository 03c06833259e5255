#pragma once

#include "texts.h"

#include <QString>
#include <QtGlobal>

#include <compare>
#include <optional>
#ifdef Q_OS_WIN
#include <string>
#endif

class QFile;

// What tells one file from another, whatever path leads to it: the device and inode on
// Linux, the volume and file id on Windows. Two paths that differ only in letter case on a
// FAT stick, or two hard links, name one file and give one identity.
struct FileIdentity
{
    quint64 volume = 0;
    quint64 index = 0;
    quint64 indexHigh = 0; // the upper half of a 128-bit file id (ReFS); zero elsewhere
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
// Who the file at `path` is, without opening it for reading or writing (on Windows, whatever
// other handles share); none where the system does not tell it.
std::optional<FileIdentity> identityOfPath(const QString &path);

// Whether an open song keeps this program's own later opens of the same file out, as on
// Windows, where songs are opened sharing reads only (below): a batch then learns who a song's
// file is (identityOfPath) before it opens it, and opens it once any earlier walk of the same
// file has ended and let go of it.
#ifdef Q_OS_WIN
constexpr bool songFilesExcludeEachOther = true;
#else
constexpr bool songFilesExcludeEachOther = false;
#endif

// Opens a song for reading and writing, as a repair or a restore needs it, unbuffered (every
// write goes to the system at once); never creates a file: a path that has gone away must not
// come back as an empty file. False when it cannot (whyNotOpened then tells why). On Windows
// the song is shared for reading only while it is open: no other program writes it meanwhile.
bool openSongForRepair(QFile &file);
// Opens a song for reading only, as a dry run or a restore's look at it: never waits on a pipe
// (whose open for reading waits for a writer), which openFileFacts then tells from a file. On
// Windows shared for reading only too: a song that another program is writing is in use.
bool openSongForReading(QFile &file);
// The same for a journal, which on Windows is shared with writers too: the window's batch that
// wrote it still holds it open when the user asks to restore it.
bool openJournalForReading(QFile &file);

// The path of an open file as the system resolves it, with native separators: links and ".."
// followed, and on Windows the name as the disk holds it (a case-blind disk may have been given
// another case). What a journal names, so that a restore finds the very file that was changed.
// `givenPath`, the path the file was opened by, is resolved instead where the system does not
// tell the open file's.
QString resolvedPath(const QFile &file, const QString &givenPath);

#ifdef Q_OS_WIN
// A path as Windows' own calls need it to reach past 260 characters: absolute, with
// backslashes, in the "\\?\" form (as Qt's file calls use it).
std::wstring win32Path(const QString &path);
#endif

// Why a path could not be opened for reading and writing, in the words that follow
// "Impossibile aprire PATH: ": Italian for the usual cases (Texts::NotOpened), the system's own
// words (`systemError`) for the rest. Asked only once an open has failed.
QString whyNotOpened(const QString &path, const QString &systemError);
