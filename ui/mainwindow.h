#pragma once

#include "conversionengine.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

namespace Ui {
class MainWindow;
}
// The form generated from mainwindow.ui; its class name gives the translation context
// "MainWindow".
using MainWindowForm = Ui::MainWindow;

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // The directory the next file or folder dialog starts from.
    const QString &lastDirectory() const { return lastDir; }
    // Its value in a new window.
    static QString firstDirectory();

private slots:
    // Reached through the form's connection by name.
    void on_buttonFile_clicked();
    void on_buttonFolder_clicked();

private:
    void runBatch(QStringList names);

    MainWindowForm *ui;
    QString lastDir;
    ConversionEngine engine;
};
