#include "qtitalian.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

bool installQtItalian(QTranslator &translator)
{
    return translator.load(QStringLiteral("qtbase_it"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
           QCoreApplication::installTranslator(&translator);
}
