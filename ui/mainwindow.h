#pragma once

#include "songbatch.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

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
    // The program's version, as its journals give it.
    static QString programVersion();

    // Songs and folders given on the program's command line (by a file manager's "Open with",
    // or Windows' "Send to"): one batch once the event loop runs, as if dropped on the window.
    // Other files are left out; a path that does not exist is reported as not opened.
    void runFromCommandLine(const QStringList &paths);

    // From a batch's start (a choice, a drop) until its summary is closed.
    bool isBatchRunning() const { return batchRunning; }
    // Called on a batch's thread as each song starts (see SongBatch::Options::songStarted).
    void setSongStarted(std::function<void(const QString &path)> hook)
    {
        songStarted = std::move(hook);
    }

signals:
    // A batch has ended and its summary has been closed.
    void batchFinished();

protected:
    // Songs and folders dropped on the window run one batch, as if chosen with the buttons.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    // Closing during a batch stops it; the window closes once the songs in flight are done.
    void closeEvent(QCloseEvent *event) override;

private slots:
    // Reached through the form's connection by name.
    void on_buttonFile_clicked();
    void on_buttonFolder_clicked();
    void on_buttonStop_clicked();

private:
    // A dropped song, or a dropped folder to scan as the folder button scans one.
    struct DroppedItem
    {
        QString path;
        bool folder = false;
    };
    static QList<DroppedItem> droppedItems(const QDropEvent &event);
    void runItems(const QList<DroppedItem> &items, const QStringList &missing = {});
    void setLastDirFromSong(const QString &firstSong);

    // Runs a batch over songs and folders (a folder stands for the songs directly inside
    // it), off this thread; the outcomes come back here in the songs' order.
    void runBatch(const QStringList &paths);
    void stopBatch();
    void songsListed(int count);
    void fetchOutcomes();
    void showArrivedOutcomes();
    void batchWalked();
    void finishBatch();
    void restoreKits(const QString &journalPath);
    // Shows the error for a failed file; false when the user asks to see no more of them.
    static bool reportFailure(const QString &path);

    MainWindowForm *ui;
    QString lastDir;
    // From a drop's acceptance, or a button's batch start, to the batch's end.
    bool batchRunning = false;

    // The batch in progress: its thread, and what its outcomes have added up to so far.
    struct Batch
    {
        std::thread thread;
        SongBatch::Control control;
        Journal journal{QStringLiteral("kadenzo"), programVersion()};
        // While on, the batch pauses at each failed song until its message box is closed.
        std::atomic<bool> holdAtFailures = true;
        std::mutex incomingMutex;
        std::vector<SongBatch::Outcome> incoming; // reported, not yet fetched by this thread
        bool fetchQueued = false;                 // an event to fetch them is on its way
        std::deque<SongBatch::Outcome> arrived;   // fetched, not yet shown
        bool showing = false;                     // the outcomes are being shown (a box may wait)
        bool walked = false;                      // the thread has ended: every outcome arrived
        bool stopped = false;                     // the user stopped it
        bool closing = false;                     // the window closes at its end: no more boxes
        int songs = 0;
        ConversionEngine::Totals totals;
        int notOpened = 0;
        QString details;
    };
    std::unique_ptr<Batch> batch;
    std::function<void(const QString &path)> songStarted;
};
