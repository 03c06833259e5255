#include "appfont.h"
#include "mainwindow.h"
#include "texts.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kadenzo.png")));
    Texts::QtItalian qtItalian;
    qtItalian.install();
    useLayoutFont();
    MainWindow window;
    window.show();
    // Songs and folders handed over by a file manager ("Apri con", Windows' "Invia a"); Qt has
    // already taken its own options out of the list.
    const QStringList paths = QApplication::arguments().mid(1);
    if (!paths.isEmpty())
        window.runFromCommandLine(paths);
    return app.exec();
}
