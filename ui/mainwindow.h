#pragma once

#include "batchrunner.h"
#include "batchtally.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <memory>

class QAbstractButton;
class QMessageBox;

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

    // Songs and folders given on the program's command line (by a file manager's "Open with",
    // or Windows' "Send to"): one batch once the event loop runs, as if dropped on the window.
    // Other files are left out; a path that does not exist is reported as not opened. A journal
    // given alone asks whether to restore its kits, as if dropped on the window.
    void runFromCommandLine(const QStringList &paths);

    // From a batch's start (a choice, a drop) until its summary is closed; likewise from a
    // journal's drop until the last box of its restore is closed.
    bool isBatchRunning() const { return batchRunning; }
    // Called on a batch's thread as each song starts (see SongBatch::Options::songStarted).
    void setSongStarted(std::function<void(const QString &path)> hook)
    {
        songStarted = std::move(hook);
    }

signals:
    // A batch has ended and its summary has been closed (or a journal's question, or its
    // restore's summary).
    void batchFinished();

protected:
    // Songs and folders dropped on the window run one batch, as if chosen with the buttons; a
    // journal dropped alone asks whether to restore its kits.
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
    static QString droppedJournal(const QDropEvent &event);
    void runItems(const QList<DroppedItem> &items, const QStringList &missing = {});
    void setLastDirFromSong(const QString &firstSong);

    // Runs a batch over songs and folders (a folder stands for the songs directly inside
    // it), off this thread; the outcomes come back here in the songs' order.
    void runBatch(const QStringList &paths);
    void stopBatch();
    void songsListed(int count);
    void outcomesArrived();
    void showArrivedOutcomes();
    void showFailure(const QString &path, bool held);
    void batchWalked();
    void finishBatch();
    void showSummary();
    // A journal dropped or given alone: asks whether to restore its kits, then does as the
    // summary's restore button does.
    void askToRestore(const QString &journalPath);
    void restored(const RestoreTotals &totals);
    void endBatch();
    // A message box without a parent or a title, as all of the window's are, modal to the
    // whole program, that calls `answered` with the button clicked once it is closed.
    QMessageBox *openBox(const QString &text,
                         std::function<void(QMessageBox *box, QAbstractButton *clicked)> answered);

    MainWindowForm *ui;
    QString lastDir;
    // From a drop's acceptance, or a button's batch start, to the batch's end.
    bool batchRunning = false;
    BatchRunner runner;

    // What the batch in progress has shown so far.
    struct Batch
    {
        std::deque<BatchRunner::Arrival> arrived; // not yet shown
        QMessageBox *failureBox = nullptr;        // a failure's box waits for the user
        bool holdAtFailures = true;               // until "Ignora i successivi"
        bool walked = false;                      // the thread has ended: every outcome arrived
        bool stopped = false;                     // the user stopped it
        bool closing = false;                     // the window closes at its end: no more boxes
        int songs = 0;
        BatchTally tally;
    };
    std::unique_ptr<Batch> batch;
    std::function<void(const QString &path)> songStarted;
};
