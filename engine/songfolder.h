#pragma once

#include <QString>
#include <QStringList>

// The songs directly inside a folder, as bare file names: files (not folders, not hidden
// ones) named *.mid or *.kar in any letter case, sorted by name ignoring case.
QStringList songNamesInFolder(const QString &folder);
