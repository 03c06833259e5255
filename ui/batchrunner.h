#pragma once

#include "restore.h"
#include "songbatch.h"

#include <QObject>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

// The window's batch and restore, on a thread of their own: the songs are listed and walked
// there, on every core, and what becomes of them comes back to the window's thread by signals,
// so that the window repaints, moves and answers the system throughout.
class BatchRunner : public QObject
{
    Q_OBJECT

public:
    // A song's outcome, and whether the batch was held for it: a failure is reported with a
    // hold while the window shows failures, and the window releases it once its box is closed.
    struct Arrival
    {
        SongBatch::Outcome outcome;
        bool held = false;
    };

    explicit BatchRunner(QObject *parent = nullptr);
    // Stops a batch and waits for the songs in flight: none is left half-walked.
    ~BatchRunner() override;

    // Runs a batch over songs and folders (a folder stands for the songs directly inside it),
    // recorded in a journal of its own. `songStarted` is called on the batch's threads as each
    // song starts (see SongBatch::Options::songStarted).
    void startBatch(const QStringList &paths, std::function<void(const QString &)> songStarted);
    // Puts back the kits of a journal.
    void startRestore(const QString &journalPath);
    // Waits for the thread once it has said it is done (batchWalked, restored).
    void wait();

    // The outcomes reported since the last call, in the songs' order.
    std::vector<Arrival> takeArrivals();
    // Whether the batch is held at each failure from now on.
    void setHoldAtFailures(bool on) { holdAtFailures = on; }
    // Releases the hold of one failure (Arrival::held).
    void release() { control->release(); }
    // The songs being walked are finished, no further one is started.
    void stop() { control->stop(); }

    // The last batch's journal: its path once created, and why it could not be written.
    QString journalPath() const;
    QString journalProblem() const;

signals:
    void songsListed(int count);
    // Outcomes wait in takeArrivals(): one signal for all that come before the window takes them.
    void outcomesArrived();
    void batchWalked();
    void restored(const RestoreTotals &totals);

private:
    std::thread thread;
    std::unique_ptr<SongBatch::Control> control;
    std::unique_ptr<Journal> journal;
    std::atomic<bool> holdAtFailures = true;
    std::mutex arrivalsMutex;
    std::vector<Arrival> arrivals;
};
