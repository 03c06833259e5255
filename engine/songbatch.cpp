#include "songbatch.h"
#include "drumkits.h"
#include "songfile.h"
#include "texts.h"

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

namespace {
// How many repairs are found before they go to the journal and the song: a bound on memory
// however many a song holds, and few enough writes to the journal for most songs' repairs to
// go in one.
constexpr std::size_t repairGroup = 4096;
} // namespace

bool writeProgramByte(QIODevice &song, qint64 offset, quint8 program)
{
    return song.seek(offset) && song.putChar(char(program));
}

Outcome repairSong(QIODevice &song, qint64 size, const SongWork &work)
{
    Outcome outcome;
    outcome.result = Result::Walked;
    RepairFinder finder(song, size, work.blockSize, work.overlay);
    std::vector<Repair> group;
    group.reserve(repairGroup);
    for (bool more = true; more;) {
        group.clear();
        Repair repair;
        while (group.size() < repairGroup && (more = finder.next(repair)))
            group.push_back(repair);
        if (group.empty())
            break;
        if (work.journal && !work.journal->record(work.journalName, group)) {
            outcome.result = Result::NotRecorded;
            return outcome;
        }
        for (const Repair &each : group) {
            if (work.write && !writeProgramByte(song, each.offset, replacementKit)) {
                outcome.result = Result::Failed;
                outcome.stopOffset = each.offset + 1;
                return outcome;
            }
            ++outcome.conversions;
            if (work.listConversions)
                outcome.conversionList.push_back(each);
        }
    }
    if (!finder.walked()) {
        outcome.result = Result::Failed;
        outcome.stopOffset = finder.stopOffset();
    }
    return outcome;
}

void Control::hold()
{
    const std::lock_guard lock(mutex);
    ++holds;
}

void Control::release()
{
    const std::lock_guard lock(mutex);
    holds = std::max(holds - 1, 0);
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

// A song of the batch, opened for its walk: for reading and writing, or in a dry run for
// reading only.
struct OpenSong
{
    std::unique_ptr<SongFile> file;
    std::optional<FileIdentity> identity;
    qint64 size = -1; // as the system gave it with the identity; else asked of the file
    QString problem;

    void describe()
    {
        if (const std::optional<OpenFileFacts> facts = openFileFacts(*file)) {
            identity = facts->identity;
            size = facts->size;
            if (!facts->regular) // a read could wait for a writer for ever
                problem = Texts::notOpenedReason(Texts::NotOpened::NotFileOrFolder);
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
    open.file = std::make_unique<SongFile>(song.path);
    if (options.dryRun) {
        if (!open.file->open(QIODevice::ReadOnly | QIODevice::ExistingOnly |
                             QIODevice::Unbuffered)) {
            open.problem = whyNotOpened(song.path, open.file->errorString());
        } else if (!QFileInfo(song.path).isWritable()) {
            // A real run opens the file for writing too: it must be allowed to.
            open.problem = whyNotOpened(song.path, QString());
        } else {
            open.describe();
        }
    } else if (openSongForRepair(*open.file)) {
        open.describe();
    } else {
        open.problem = whyNotOpened(song.path, open.file->errorString());
    }
    return open;
}

Outcome walkSong(const SongPath &song, OpenSong &open, const Options &options,
                 const SongReader::Overlay *overlay)
{
    Outcome outcome;
    if (open.problem.isEmpty()) {
        SongWork work;
        if (options.journal && !options.dryRun) {
            work.journal = options.journal;
            work.journalName = QDir::toNativeSeparators(QFileInfo(song.path).absoluteFilePath());
        }
        work.write = !options.dryRun;
        work.listConversions = options.listConversions || options.dryRun;
        work.overlay = overlay;
        outcome = repairSong(*open.file, open.size >= 0 ? open.size : open.file->size(), work);
    }
    outcome.path = song.path;
    outcome.problem = open.problem;
    return outcome;
}

void addToTotals(Totals &totals, const Outcome &outcome)
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

Totals run(const std::vector<SongPath> &songs, const Options &options,
           const std::function<void(const Outcome &)> &report, Control *control)
{
    Control ownControl;
    Control &batch = control ? *control : ownControl;
    const std::size_t count = songs.size();
    const int threads = int(std::clamp<std::size_t>(std::size_t(qMax(options.jobs, 1)), 1,
                                                    qMax<std::size_t>(count, 1)));
    Totals totals;

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
    std::map<FileIdentity, SongReader::Overlay> dryRunWrites;

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
        std::unique_lock lock(batch.mutex);
        for (;;) {
            batch.changed.wait(lock, [&] {
                return batch.stopped || next == count ||
                       (batch.holds == 0 && next - reported < window);
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
            const SongReader::Overlay *overlay = nullptr;
            if (options.dryRun && open.identity) {
                const auto found = dryRunWrites.find(*open.identity);
                overlay = found != dryRunWrites.end() ? &found->second : nullptr;
            }
            lock.unlock();

            Outcome outcome = walkSong(songs[i], open, options, overlay);
            open = {}; // closed before a later walk of the same file starts
            lock.lock();
            if (outcome.result == Result::NotRecorded)
                batch.stopped = true; // no journal, no change: no further song either
            if (options.dryRun && slot.identity && !outcome.conversionList.empty()) {
                SongReader::Overlay &written = dryRunWrites[*slot.identity];
                for (const Repair &repair : outcome.conversionList)
                    written[repair.offset] = replacementKit;
                if (!options.listConversions)
                    outcome.conversionList.clear();
            }
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
