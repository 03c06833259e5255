#include "appfont.h"
#include "mainwindow.h"
#include "qtitalian.h"

#include <QApplication>
#include <QIcon>
#include <QTranslator>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/kadenzo.png")));
    QTranslator qtItalian;
    installQtItalian(qtItalian);
    useLayoutFont();
    MainWindow window;
    window.show();
    return app.exec();
}
