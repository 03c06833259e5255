#include "batchrunner.h"
#include "texts.h"

#include <QThread>

BatchRunner::BatchRunner(QObject *parent)
    : QObject(parent)
    , control(std::make_unique<SongBatch::Control>())
{
}

BatchRunner::~BatchRunner()
{
    control->stop();
    wait();
}

void BatchRunner::wait()
{
    if (thread.joinable())
        thread.join();
}

void BatchRunner::startBatch(const QStringList &paths,
                             std::function<void(const QString &)> songStarted)
{
    wait();
    control = std::make_unique<SongBatch::Control>();
    journal = std::make_unique<Journal>(QStringLiteral("kadenzo"), QStringLiteral(KADENZO_VERSION));
    holdAtFailures = true;
    thread = std::thread([this, paths, songStarted = std::move(songStarted)] {
        // A folder on a slow share can take long to list: that too is done off the window's
        // thread, while the first songs are walked.
        SongBatch::Options options;
        options.jobs = QThread::idealThreadCount();
        options.listConversions = true; // for the summary's details
        options.songStarted = songStarted;
        options.songsListed = [this](int count) { emit songsListed(count); };
        options.journal = journal.get();
        const auto report = [this](const SongBatch::Outcome &outcome) {
            // No further song starts while the failure's message box waits for the user.
            const bool held = outcome.result == SongBatch::Result::Failed && holdAtFailures.load();
            if (held)
                control->hold();
            const std::lock_guard lock(arrivalsMutex);
            arrivals.push_back({outcome, held});
            if (arrivals.size() == 1)
                emit outcomesArrived();
        };
        SongBatch::run(paths, false, options, report, control.get());
        emit batchWalked();
    });
}

std::vector<BatchRunner::Arrival> BatchRunner::takeArrivals()
{
    const std::lock_guard lock(arrivalsMutex);
    return std::exchange(arrivals, {});
}

void BatchRunner::startRestore(const QString &journalPath)
{
    wait();
    thread = std::thread([this, journalPath] {
        RestoreTotals totals;
        QString problem;
        if (!restoreJournal(
                journalPath, false, [&](const RestoredLine &line) { totals.add(line); }, problem))
            totals.problems += Texts::journalNotRead(journalPath, problem) + u'\n';
        emit restored(totals);
    });
}

QString BatchRunner::journalPath() const
{
    return journal ? journal->path() : QString();
}

QString BatchRunner::journalProblem() const
{
    return journal ? journal->problem() : QString();
}
