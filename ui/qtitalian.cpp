#include "qtitalian.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool installQtItalian(QTranslator &translator)
{
    // Qt's translations folder: Debian's, for the system's Qt; beside the program, for the
    // Windows packages, whose Qt is linked in and whose folder can be anywhere.
    const QString folders[] = {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                               QCoreApplication::applicationDirPath() +
                                   QStringLiteral("/translations")};
    for (const QString &folder : folders) {
        if (translator.load(QStringLiteral("qtbase_it"), folder))
            return QCoreApplication::installTranslator(&translator);
    }
    return false;
}
