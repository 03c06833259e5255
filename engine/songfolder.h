#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// Whether a file name is a song's: *.mid or *.kar in any letter case, what the song dialog's
// filter "Midifile (*.mid *.kar)" shows.
bool isSongName(const QString &fileName);

// A bare name in a folder. A name that the system gives in bytes that are not text (Latin-1
// bytes on Linux, as old CDs and Windows copies carry them; an unpaired surrogate in Windows'
// UTF-16) is decoded as well as it can be, with replacement characters (U+FFFD), and no path
// made of that text leads to the entry: `isText` is false.
struct FolderName
{
    QString name;
    bool isText = true;
};

// The songs directly inside a folder: files (not folders, not hidden ones) whose names are
// songs' names, sorted by name ignoring case.
std::vector<FolderName> songNamesInFolder(const QString &folder);

// The folders directly inside a folder: not hidden ones, and not symbolic links (a link may
// lead back up the tree), sorted by name ignoring case.
std::vector<FolderName> subfolderNamesInFolder(const QString &folder);

// A path of a batch: a song to walk, or a path given that cannot be walked.
struct SongPath
{
    QString path;    // as given, or a folder's path as given followed by the names under it
    QString problem; // empty for a song; otherwise why the path cannot be opened
};

// The songs that the given paths stand for, in order. A file stands for itself, whatever its
// name; a folder for its songs (songNamesInFolder) and, when `recursive`, then for each of its
// subfolders (subfolderNamesInFolder) in turn, the same way down. A path that does not exist,
// is neither a file nor a folder, or is a folder that cannot be read, gives a SongPath with a
// problem in its place. So does a name that is not text, a song's or a subfolder's
// (Texts::nameNotText()), and a path given that is not text either: one that is not valid
// UTF-16, or one that does not exist and holds U+FFFD, which is how Qt shows bytes that are
// not text when it reads them from a command line or a dialog; such a path is never opened.
// They are handed to `add` one at a time as they are found, so that a batch walks the first
// songs while later paths are looked at and folders listed.
void listSongsForPaths(const QStringList &paths, bool recursive,
                       const std::function<void(SongPath &&)> &add);

// `folder` followed by `name`, with the separator that `folder` is written with: "C:\songs"
// and "a.mid" give "C:\songs\a.mid" on Windows, "songs/" and "a.mid" give "songs/a.mid".
QString pathInFolder(const QString &folder, const QString &name);
