#include "songfolder.h"
#include "songfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <utility>
#include <vector>

#ifndef Q_OS_WIN
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#endif

bool isSongName(const QString &fileName)
{
    // What the filters "*.mid" and "*.kar" match, letter case aside; checked by hand rather than
    // with QDir's name filters, whose regular expressions crash a Windows build's threads
    // other than the main one (the window lists folders off its own thread).
    return fileName.endsWith(QLatin1String(".mid"), Qt::CaseInsensitive) ||
           fileName.endsWith(QLatin1String(".kar"), Qt::CaseInsensitive);
}

namespace {
enum class EntryKind { Song, Subfolder };

// By name ignoring case (the names lowered), then as written, then text before a name shown
// alike that is not: the same order on every system and in every run, whatever the folder's own
// order.
void sortByNameIgnoringCase(std::vector<FolderName> &names)
{
    std::vector<std::pair<QString, FolderName>> keyed;
    keyed.reserve(names.size());
    for (FolderName &name : names)
        keyed.emplace_back(name.name.toLower(), std::move(name));
    std::sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
        if (a.first != b.first)
            return a.first < b.first;
        if (a.second.name != b.second.name)
            return a.second.name < b.second.name;
        return a.second.isText && !b.second.isText;
    });
    for (std::size_t i = 0; i < names.size(); ++i)
        names[i] = std::move(keyed[i].second);
}

#ifdef Q_OS_WIN
// Windows gives names in UTF-16, which may hold an unpaired surrogate: such a name opens, but
// cannot be written to the journal, nor shown, as it is.
std::vector<FolderName> namesOfKind(const QString &folder, EntryKind kind)
{
    const QDir::Filters filters = kind == EntryKind::Song
                                      ? QDir::Files | QDir::NoDotAndDotDot
                                      : QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks;
    QDir dir;
    dir.setPath(folder);
    dir.setFilter(filters);
    dir.setSorting(QDir::Unsorted);
    const QStringList entries = dir.entryList();
    std::vector<FolderName> names;
    for (const QString &name : entries) {
        if (kind == EntryKind::Subfolder || isSongName(name))
            names.push_back({name, name.isValidUtf16()});
    }
    return names;
}
#else
// Listed by hand rather than with QDir, which makes a QFileInfo of every entry: over a folder
// of 2000 songs that took 3.5 ms, as long as reading 5 MB of songs, before the first song
// could start. The folder's entries say what most of them are (d_type); the system is asked
// only about links and where the file system does not say. A name is bytes, which Qt takes for
// UTF-8: a name in other bytes (Latin-1) comes back from its text as other bytes.
std::vector<FolderName> namesOfKind(const QString &folder, EntryKind kind)
{
    std::vector<FolderName> names;
    DIR *dir = opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue; // hidden, and "." and ".."
        const QString name = QFile::decodeName(entry->d_name);
        if (kind == EntryKind::Song && !isSongName(name))
            continue;
        unsigned char type = entry->d_type;
        // A link to a song is a song; a link to a folder is not followed (it may lead back up).
        if (type == DT_UNKNOWN || (type == DT_LNK && kind == EntryKind::Song)) {
            struct stat status;
            const int follow = kind == EntryKind::Song ? 0 : AT_SYMLINK_NOFOLLOW;
            if (fstatat(dirfd(dir), entry->d_name, &status, follow) != 0)
                continue; // gone, or a link that leads nowhere
            type = S_ISREG(status.st_mode) ? DT_REG : S_ISDIR(status.st_mode) ? DT_DIR : DT_UNKNOWN;
        }
        if (type == (kind == EntryKind::Song ? DT_REG : DT_DIR))
            names.push_back({name, QFile::encodeName(name) == entry->d_name});
    }
    closedir(dir);
    return names;
}
#endif

std::vector<FolderName> sortedNamesOfKind(const QString &folder, EntryKind kind)
{
    std::vector<FolderName> names = namesOfKind(folder, kind);
    sortByNameIgnoringCase(names);
    return names;
}
} // namespace

std::vector<FolderName> songNamesInFolder(const QString &folder)
{
    return sortedNamesOfKind(folder, EntryKind::Song);
}

std::vector<FolderName> subfolderNamesInFolder(const QString &folder)
{
    return sortedNamesOfKind(folder, EntryKind::Subfolder);
}

QString pathInFolder(const QString &folder, const QString &name)
{
#ifdef Q_OS_WIN
    // "C:" stands for the current folder of drive C, so "C:a.mid" is the song in it.
    if (folder.endsWith(u'/') || folder.endsWith(u'\\') || folder.endsWith(u':'))
        return folder + name;
    return folder + (folder.contains(u'\\') ? u'\\' : u'/') + name;
#else
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
#endif
}

namespace {
void addFolder(const QString &folder, bool recursive, const std::function<void(SongPath &&)> &add)
{
    // A listing cannot tell an unreadable folder from an empty one: ask first.
    if (!QDir(folder).isReadable()) {
        add(SongPath{folder, Texts::notOpenedReason(Texts::NotOpened::AccessDenied)});
        return;
    }
    for (const FolderName &song : songNamesInFolder(folder)) {
        add(SongPath{pathInFolder(folder, song.name),
                     song.isText ? QString() : Texts::nameNotText()});
    }
    if (recursive) {
        // A subfolder whose name is not text cannot be entered by it: it is reported, as a song
        // would be, rather than left out without a word, so that the user knows that the songs
        // in it were not walked, and which folder to rename.
        for (const FolderName &subfolder : subfolderNamesInFolder(folder)) {
            const QString path = pathInFolder(folder, subfolder.name);
            if (subfolder.isText)
                addFolder(path, recursive, add);
            else
                add(SongPath{path, Texts::nameNotText()});
        }
    }
}

enum class PathKind { File, Folder, Other, Missing };

PathKind kindOfPath(const QString &path)
{
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    if (info.isDir())
        return PathKind::Folder;
    if (info.isFile())
        return PathKind::File;
    return info.exists() ? PathKind::Other : PathKind::Missing;
#else
    // One question to the system; a QFileInfo asks the same and builds much more, which over
    // 2000 songs given one by one cost 4 ms before the first song could start.
    struct stat status;
    if (stat(QFile::encodeName(path).constData(), &status) != 0)
        return PathKind::Missing; // a link that leads nowhere too
    if (S_ISDIR(status.st_mode))
        return PathKind::Folder;
    return S_ISREG(status.st_mode) ? PathKind::File : PathKind::Other;
#endif
}
} // namespace

void listSongsForPaths(const QStringList &paths, bool recursive,
                       const std::function<void(SongPath &&)> &add)
{
    for (const QString &path : paths) {
        // An unpaired surrogate (a name that Windows gives as it is): the song would open, but
        // neither the journal nor a message could name it.
        if (!path.isValidUtf16()) {
            add(SongPath{path, Texts::nameNotText()});
            continue;
        }
        switch (kindOfPath(path)) {
        case PathKind::Folder:
            addFolder(path, recursive, add);
            break;
        case PathKind::File:
            add(SongPath{path, {}});
            break;
        case PathKind::Other: // a device, a pipe, a socket
            add(SongPath{path, Texts::notOpenedReason(Texts::NotOpened::NotFileOrFolder)});
            break;
        case PathKind::Missing:
            // Qt shows bytes that are not text, on a command line or in a dialog, as U+FFFD: the
            // path it gives leads nowhere, though the song may well be there.
            add(SongPath{path, path.contains(QChar::ReplacementCharacter)
                                   ? Texts::nameNotText()
                                   : Texts::notOpenedReason(Texts::NotOpened::Missing)});
            break;
        }
    }
}
