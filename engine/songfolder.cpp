#include "songfolder.h"

#include <QDir>

QStringList songNamesInFolder(const QString &folder)
{
    // A directory object made with no path sorts by name ignoring case, and its name
    // filters ignore case too.
    QDir dir;
    dir.setPath(folder);
    dir.setFilter(QDir::Files | QDir::NoDotAndDotDot);
    dir.setNameFilters({QStringLiteral("*.mid"), QStringLiteral("*.kar")});
    return dir.entryList();
}
