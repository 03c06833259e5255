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

protected:
    // Songs and folders dropped on the window run one batch, as if chosen with the buttons.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    // Reached through the form's connection by name.
    void on_buttonFile_clicked();
    void on_buttonFolder_clicked();

private:
    // A dropped song, or a dropped folder to scan as the folder button scans one.
    struct DroppedItem
    {
        QString path;
        bool folder = false;
    };
    static QList<DroppedItem> droppedItems(const QDropEvent &event);
    void runDrop(const QList<DroppedItem> &items);
    void setLastDirFromSong(const QString &firstSong);

    void runBatch(QStringList names);
    // Shows the error for a failed file; false when the user asks to see no more of them.
    static bool reportFailure(const QString &path);

    MainWindowForm *ui;
    QString lastDir;
    ConversionEngine engine;
    // From a drop's acceptance, or a button's batch start, to the batch's end.
    bool batchRunning = false;
};
