#include "songfolder.h"
#include "songfile.h"

#include <QDir>
#include <QFileInfo>

bool isSongName(const QString &fileName)
{
    // What the filters "*.mid" and "*.kar" match, letter case aside; checked by hand rather than
    // with QDir's name filters, whose regular expressions crash a Windows build's threads
    // other than the main one (the window lists folders off its own thread).
    return fileName.endsWith(QLatin1String(".mid"), Qt::CaseInsensitive) ||
           fileName.endsWith(QLatin1String(".kar"), Qt::CaseInsensitive);
}

QStringList songNamesInFolder(const QString &folder)
{
    // A directory object made with no path sorts by name ignoring case.
    QDir dir;
    dir.setPath(folder);
    dir.setFilter(QDir::Files | QDir::NoDotAndDotDot);
    QStringList names = dir.entryList();
    names.removeIf([](const QString &name) { return !isSongName(name); });
    return names;
}

QStringList subfolderNamesInFolder(const QString &folder)
{
    QDir dir;
    dir.setPath(folder);
    dir.setFilter(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks);
    return dir.entryList();
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
void addFolder(const QString &folder, bool recursive, std::vector<SongPath> &songs)
{
    // A listing cannot tell an unreadable folder from an empty one: ask first.
    if (!QDir(folder).isReadable()) {
        songs.push_back({folder, notOpenedText(NotOpened::AccessDenied)});
        return;
    }
    for (const QString &name : songNamesInFolder(folder))
        songs.push_back({pathInFolder(folder, name), {}});
    if (recursive) {
        for (const QString &name : subfolderNamesInFolder(folder))
            addFolder(pathInFolder(folder, name), recursive, songs);
    }
}
} // namespace

std::vector<SongPath> songsForPaths(const QStringList &paths, bool recursive)
{
    std::vector<SongPath> songs;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isDir())
            addFolder(path, recursive, songs);
        else if (info.isFile())
            songs.push_back({path, {}});
        else if (info.exists()) // a device, a pipe, a socket
            songs.push_back({path, notOpenedText(NotOpened::NotFileOrFolder)});
        else
            songs.push_back({path, notOpenedText(NotOpened::Missing)});
    }
    return songs;
}
