#include "songbatch.h"
#include "dryrunfile.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace SongBatch {

QString notOpenedMessage(const QString &path, const QString &problem)
{
    return QStringLiteral("Attenzione! Impossibile aprire %1: %2").arg(path, problem);
}

namespace {
// The walks of one file that comes up more than once in a batch. They run one after another;
// in a dry run each reads what the ones before it would have written.
struct SameFile
{
    DryRunFile::Writes dryRunWrites;
};

// The file a song's path leads to once symbolic links, "." and ".." are resolved; empty for a
// song that is not there. Hard links to one file lead to two.
QString resolvedPath(const SongPath &song)
{
    if (!song.problem.isEmpty())
        return {};
#ifdef Q_OS_WIN
    return QFileInfo(song.path).canonicalFilePath().toCaseFolded(); // A.MID is a.mid there
#else
    return QFileInfo(song.path).canonicalFilePath();
#endif
}

// For each song, the SameFile it shares with the other songs that are the same file, or none
// when it is the only one. Only a hash of each resolved path is kept for all the songs; the
// paths themselves only for the songs whose hash comes up more than once.
std::vector<std::shared_ptr<SameFile>> findSameFiles(const std::vector<SongPath> &songs)
{
    std::vector<std::optional<std::size_t>> hashes(songs.size());
    QHash<std::size_t, int> songsWithHash;
    for (std::size_t i = 0; i < songs.size(); ++i) {
        const QString path = resolvedPath(songs[i]);
        if (path.isEmpty())
            continue;
        hashes[i] = qHash(path);
        ++songsWithHash[*hashes[i]];
    }
    QHash<QString, std::vector<std::size_t>> songsOfFile;
    for (std::size_t i = 0; i < songs.size(); ++i) {
        if (hashes[i] && songsWithHash.value(*hashes[i]) > 1)
            songsOfFile[resolvedPath(songs[i])].push_back(i);
    }
    std::vector<std::shared_ptr<SameFile>> sameFiles(songs.size());
    for (const std::vector<std::size_t> &same : std::as_const(songsOfFile)) {
        if (same.size() < 2)
            continue; // another file with the same hash
        const auto shared = std::make_shared<SameFile>();
        for (std::size_t i : same)
            sameFiles[i] = shared;
    }
    return sameFiles;
}

// Why a song that exists as a file could not be opened for reading and writing.
QString openProblem(const QString &path, const QString &errorString)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("non esiste");
    if (!info.isReadable() || !info.isWritable())
        return QStringLiteral("accesso negato");
    return errorString;
}

Outcome walkSong(ConversionEngine &engine, const SongPath &song, SameFile *sameFile,
                 const Options &options)
{
    Outcome outcome;
    outcome.path = song.path;
    if (!song.problem.isEmpty()) {
        outcome.problem = song.problem;
        return outcome;
    }
    const int conversionsBefore = engine.totals().conversions;
    if (options.dryRun) {
        DryRunFile::Writes ownWrites;
        DryRunFile file(song.path, sameFile ? sameFile->dryRunWrites : ownWrites);
        if (!file.openSong()) {
            outcome.problem = openProblem(song.path, file.errorString());
            return outcome;
        }
        // A real run opens the file for writing too: it must be allowed to.
        if (!QFileInfo(song.path).isWritable()) {
            outcome.problem = QStringLiteral("accesso negato");
            return outcome;
        }
        outcome.result = engine.walkFile(file);
    } else {
        // Opened here rather than by processFile, to learn why an open fails.
        QFile file(song.path);
        if (!ConversionEngine::openForRepair(file)) {
            outcome.problem = openProblem(song.path, file.errorString());
            return outcome;
        }
        outcome.result = engine.walkFile(file);
    }
    outcome.conversions = engine.totals().conversions - conversionsBefore;
    if (options.listConversions)
        outcome.conversionList = engine.fileConversions();
    return outcome;
}

void addToTotals(ConversionEngine::Totals &totals, const Outcome &outcome)
{
    if (outcome.problem.isEmpty())
        ++totals.filesFound;
    totals.conversions += outcome.conversions;
}

// The songs that the workers have taken and not yet handed back in order, one slot each.
struct Slot
{
    Outcome outcome;
    bool done = false;
};
} // namespace

ConversionEngine::Totals run(const std::vector<SongPath> &songs, const Options &options,
                             const std::function<void(const Outcome &)> &report)
{
    const std::size_t count = songs.size();
    const int threads = int(std::clamp<std::size_t>(std::size_t(qMax(options.jobs, 1)), 1,
                                                    qMax<std::size_t>(count, 1)));
    // One thread walks the songs in order and needs no SameFile for a real run: the disk
    // holds what the earlier walks wrote.
    const std::vector<std::shared_ptr<SameFile>> sameFiles =
        threads > 1 || options.dryRun ? findSameFiles(songs)
                                      : std::vector<std::shared_ptr<SameFile>>(count);
    ConversionEngine::Totals totals;

    if (threads == 1) {
        ConversionEngine engine;
        engine.setRecordConversions(options.listConversions);
        for (std::size_t i = 0; i < count; ++i) {
            const Outcome outcome = walkSong(engine, songs[i], sameFiles[i].get(), options);
            addToTotals(totals, outcome);
            report(outcome);
        }
        return totals;
    }

    // The threads take the songs in order. The one that finishes the first song not yet
    // reported reports it, and the ones after it that are done too; the others go on walking.
    // At most `window` songs are taken and not yet reported, song i in pending[i % window].
    // A large song at the head must not stop the others: with 8 songs a job, the threads
    // waited for it hundreds of times a run over the benchmark's songs; with 64, about once.
    const std::size_t window = std::size_t(threads) * 64;
    std::vector<Slot> pending(window);
    std::mutex mutex;
    std::condition_variable canTake; // a thread may take the next song, or all are taken
    std::size_t next = 0;            // the next song to take
    std::size_t reported = 0;        // the songs reported
    bool reporting = false;          // a thread is reporting: the others leave it to it

    // Whether an earlier walk of song i's file is still running (under the mutex).
    const auto mustWait = [&](std::size_t i) {
        if (!sameFiles[i])
            return false;
        for (std::size_t earlier = reported; earlier < i; ++earlier) {
            if (sameFiles[earlier] == sameFiles[i] && !pending[earlier % window].done)
                return true;
        }
        return false;
    };

    const auto work = [&] {
        ConversionEngine engine;
        engine.setRecordConversions(options.listConversions);
        std::unique_lock lock(mutex);
        for (;;) {
            canTake.wait(lock, [&] {
                return next == count || (next - reported < window && !mustWait(next));
            });
            if (next == count)
                return;
            const std::size_t i = next++;
            lock.unlock();
            Outcome outcome = walkSong(engine, songs[i], sameFiles[i].get(), options);
            lock.lock();
            pending[i % window] = {std::move(outcome), true};
            canTake.notify_all(); // a thread may wait for this very walk
            while (!reporting && reported < count && pending[reported % window].done) {
                const Outcome first = std::exchange(pending[reported % window], Slot{}).outcome;
                ++reported;
                reporting = true;
                canTake.notify_all();
                lock.unlock();
                addToTotals(totals, first);
                report(first);
                lock.lock();
                reporting = false;
            }
        }
    };
    // This thread works too.
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread &thread : helpers)
        thread.join();
    return totals;
}

} // namespace SongBatch
