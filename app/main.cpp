#include "appfont.h"
#include "mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    useLayoutFont();
    MainWindow window;
    window.show();
    return app.exec();
}
