#include "songbatch.h"
#include "dryrunfile.h"
#include "songfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

namespace SongBatch {

QString notOpenedMessage(const QString &path, const QString &problem)
{
    return QStringLiteral("Attenzione! Impossibile aprire %1: %2").arg(path, problem);
}

void Control::pause()
{
    const std::lock_guard lock(mutex);
    paused = true;
}

void Control::resume()
{
    const std::lock_guard lock(mutex);
    paused = false;
    changed.notify_all();
}

void Control::stop()
{
    const std::lock_guard lock(mutex);
    stopped = true;
    changed.notify_all();
}

namespace {
// A song that the batch has taken for a plain file, and checks that it is one once open
// (OpenSong::describe). QFile asks the system on its first read whether the file is a
// sequential device, one more system call per song: the answer is known.
class SongFile : public QFile
{
public:
    using QFile::QFile;
    bool isSequential() const override { return false; }
};

// A song of the batch, opened for its walk: the file itself, or in a dry run a device that
// reads it and keeps what would be written.
struct OpenSong
{
    std::unique_ptr<QFile> file;
    std::unique_ptr<DryRunFile> dryRun;
    std::optional<FileIdentity> identity;
    qint64 size = -1; // as the system gave it with the identity; else asked by the walk
    QString problem;

    QIODevice &device() { return dryRun ? static_cast<QIODevice &>(*dryRun) : *file; }
    void describe(const QFile &opened)
    {
        if (const std::optional<OpenFileFacts> facts = openFileFacts(opened)) {
            identity = facts->identity;
            size = facts->size;
            if (!facts->regular) // a read could wait for a writer for ever
                problem = notOpenedText(NotOpened::NotFileOrFolder);
        }
    }
};

// Opens a song once; what identifies its file comes from the open file, not from the path
// again.
OpenSong openSong(const SongPath &song, const Options &options)
{
    OpenSong open;
    if (!song.problem.isEmpty()) {
        open.problem = song.problem;
        return open;
    }
    if (options.dryRun) {
        open.dryRun = std::make_unique<DryRunFile>(song.path);
        if (!open.dryRun->openSong()) {
            open.problem = whyNotOpened(song.path, open.dryRun->errorString());
        } else if (!QFileInfo(song.path).isWritable()) {
            // A real run opens the file for writing too: it must be allowed to.
            open.problem = whyNotOpened(song.path, QString());
        } else {
            open.describe(open.dryRun->songFile());
        }
    } else {
        open.file = std::make_unique<SongFile>(song.path);
        if (ConversionEngine::openForRepair(*open.file))
            open.describe(*open.file);
        else
            open.problem = whyNotOpened(song.path, open.file->errorString());
    }
    return open;
}

Outcome walkSong(ConversionEngine &engine, const SongPath &song, OpenSong &open,
                 const Options &options)
{
    Outcome outcome;
    outcome.path = song.path;
    outcome.problem = open.problem;
    if (!outcome.problem.isEmpty())
        return outcome;
    QString absolutePath; // for the journal, worked out at the song's first repair
    if (options.journal && !options.dryRun) {
        engine.setBeforeRewrite([&](const ConversionEngine::Conversion &conversion) {
            if (absolutePath.isEmpty())
                absolutePath = QDir::toNativeSeparators(QFileInfo(song.path).absoluteFilePath());
            return options.journal->record(absolutePath, conversion);
        });
    }
    outcome.result =
        open.size >= 0 ? engine.walkFile(open.device(), open.size) : engine.walkFile(open.device());
    outcome.conversions = engine.fileConversionCount();
    if (outcome.result == ConversionEngine::FileResult::Failed)
        outcome.stopOffset = engine.stopOffset();
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

// A song that a thread has taken and not yet reported.
struct Slot
{
    bool opened = false; // its open has been tried: `identity` is known
    std::optional<FileIdentity> identity;
    bool done = false; // walked: `outcome` holds what became of it
    Outcome outcome;
};
} // namespace

ConversionEngine::Totals run(const std::vector<SongPath> &songs, const Options &options,
                             const std::function<void(const Outcome &)> &report, Control *control)
{
    Control ownControl;
    Control &batch = control ? *control : ownControl;
    const std::size_t count = songs.size();
    const int threads = int(std::clamp<std::size_t>(std::size_t(qMax(options.jobs, 1)), 1,
                                                    qMax<std::size_t>(count, 1)));
    ConversionEngine::Totals totals;

    // The threads take the songs in order. The one that finishes the first song not yet
    // reported reports it, and the ones after it that are done too; the others go on walking.
    // At most `window` songs are taken and not yet reported, song i in pending[i % window].
    // A large song at the head must not stop the others: with 8 songs a job, the threads
    // waited for it hundreds of times a run over the benchmark's songs; with 64, about once.
    const std::size_t window = std::size_t(threads) * 64;
    std::vector<Slot> pending(window);
    std::size_t next = 0;     // the next song to take
    std::size_t reported = 0; // the songs reported
    bool reporting = false;   // a thread is reporting: the others leave it to it
    // In a dry run, what the walks would have written to each file, for a later walk of the
    // same file. Kept only for files with such writes.
    std::map<FileIdentity, DryRunFile::Writes> dryRunWrites;

    // Whether song i must wait before its walk: a song before it has not been opened yet (it
    // may be the same file), or is the same file and still being walked. Under the mutex.
    const auto mustWait = [&](std::size_t i) {
        const std::optional<FileIdentity> &identity = pending[i % window].identity;
        for (std::size_t earlier = reported; earlier < i; ++earlier) {
            const Slot &slot = pending[earlier % window];
            if (!slot.opened || (identity && slot.identity == identity && !slot.done))
                return true;
        }
        return false;
    };

    const auto work = [&] {
        ConversionEngine engine;
        engine.setRecordConversions(options.listConversions);
        std::unique_lock lock(batch.mutex);
        for (;;) {
            batch.changed.wait(lock, [&] {
                return batch.stopped || next == count ||
                       (!batch.paused && next - reported < window);
            });
            if (batch.stopped || next == count)
                return;
            const std::size_t i = next++;
            Slot &slot = pending[i % window];
            slot = Slot{};
            lock.unlock();

            if (options.songStarted)
                options.songStarted(songs[i].path);
            OpenSong open = openSong(songs[i], options);
            lock.lock();
            slot.opened = true;
            slot.identity = open.identity;
            batch.changed.notify_all(); // a later song may wait to know this one's file
            batch.changed.wait(lock, [&] { return !mustWait(i); });
            DryRunFile::Writes ownWrites;
            if (open.dryRun) {
                const auto found =
                    open.identity ? dryRunWrites.find(*open.identity) : dryRunWrites.end();
                open.dryRun->setWrites(found != dryRunWrites.end() ? found->second : ownWrites);
            }
            lock.unlock();

            Outcome outcome = walkSong(engine, songs[i], open, options);
            open = {}; // closed before a later walk of the same file starts
            lock.lock();
            if (outcome.result == ConversionEngine::FileResult::NotRecorded)
                batch.stopped = true; // no journal, no change: no further song either
            if (!ownWrites.empty() && slot.identity)
                dryRunWrites.emplace(*slot.identity, std::move(ownWrites));
            slot.outcome = std::move(outcome);
            slot.done = true;
            batch.changed.notify_all(); // a thread may wait for this very walk
            while (!reporting && reported < next && pending[reported % window].done) {
                const Outcome first = std::exchange(pending[reported % window], Slot{}).outcome;
                ++reported;
                reporting = true;
                batch.changed.notify_all();
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
