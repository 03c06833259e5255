#include "songbatch.h"
#include "drumkits.h"
#include "songfile.h"
#include "songopen.h"

#include <QElapsedTimer>

#include <algorithm>
#include <chrono>
#include <deque>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <utility>

namespace SongBatch {

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
SongWork workFor(const Options &options, const SongReader::Overlay *overlay, const SongFile &file)
{
    SongWork work;
    if (options.journal && !options.dryRun) {
        work.journal = options.journal;
        work.journalName = [song = &file] { return resolvedPath(*song, song->givenPath); };
    }
    work.write = !options.dryRun;
    work.listConversions = options.listConversions || options.dryRun;
    work.overlay = overlay;
    return work;
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
    // Walked, its last repairs recorded in the journal and waiting for a flush to be written
    // (it is in `awaiting`): the song stays open meanwhile.
    std::unique_ptr<SongFile> file;
    DeferredWrites deferred;
    bool done = false; // walked and written: `outcome` holds what became of it
    Outcome outcome;
};

// How many songs may wait, walked, for a flush of the journal that they all share, and how
// long the first of them may wait while more songs are walked. A flush costs a fraction of a
// millisecond on a local disk, about as long as walking a few songs: shared by dozens, and
// made by a thread of its own while the others walk, it costs little; and a song waits at
// most a fifth of a second for its bytes, so that the window's bar moves on.
constexpr std::size_t songsPerFlush = 128;
constexpr qint64 longestWaitForFlushMs = 200;

// How many songs a batch may keep opening and walking at once, however few its walks: enough
// to hide a share's wait for each open (40 ms: 240 songs took 6 s with two songs in flight,
// about 1 s with sixteen). A batch starts with a thread a walk, and doubles them, up to that
// many, each time a song took `slowOpenMs` or more to open: on a local disk, where an open
// takes microseconds, no thread is added (sixteen threads on two cores made a batch of small
// songs twice as slow, waking each other).
constexpr int songsInFlight = 16;
constexpr qint64 slowOpenMs = 5;
// How many listed songs are handed to the walking threads at a time, after the first.
constexpr std::size_t songsListedAtOnce = 64;

} // namespace

// Hands the songs of a batch, in order, to `add`.
using SongLister = std::function<void(const std::function<void(SongPath &&)> &add)>;

class Runner
{
public:
    static Totals runListed(const SongLister &list, bool listAhead, const Options &options,
                            const std::function<void(const Outcome &)> &report, Control *control);
};

// Runs a batch over the songs that `list` gives. With `listAhead`, they are listed on a thread
// of their own while the first ones are walked; else first, here.
Totals Runner::runListed(const SongLister &list, bool listAhead, const Options &options,
                         const std::function<void(const Outcome &)> &report, Control *control)
{
    Control ownControl;
    Control &batch = control ? *control : ownControl;
    // The songs as far as they are listed, and whether that is all of them. Under the mutex.
    std::deque<SongPath> listed;
    bool allListed = false;
    if (!listAhead) {
        list([&](SongPath &&song) { listed.push_back(std::move(song)); });
        allListed = true;
        if (options.songsListed)
            options.songsListed(int(listed.size()));
    }
    // Up to `walkSlots` songs are walked at once, one a core by default; on a share, where each
    // open waits on the network, more threads open songs meanwhile (songsInFlight), so that
    // the walks do not wait for the opens.
    const int walkSlots = qMax(options.jobs, 1);
    const int firstThreads =
        allListed ? int(std::clamp<std::size_t>(listed.size(), 1, std::size_t(walkSlots)))
                  : walkSlots;
    const int mostThreads = qMax(walkSlots, songsInFlight);
    int walking = 0;
    std::condition_variable walkSlotFree;
    std::vector<std::thread> walkerThreads; // but this one; grows while the batch runs
    walkerThreads.reserve(std::size_t(mostThreads));
    Totals totals;

    // The threads take the songs in order. The one that finishes the first song not yet
    // reported reports it, and the ones after it that are done too; the others go on walking.
    // At most `window` songs are taken and not yet reported, song i in pending[i % window].
    // A large song at the head must not stop the others: with 8 songs a job, the threads
    // waited for it hundreds of times a run over the benchmark's songs; with 64, about once.
    // Songs that wait for a flush of the journal hold the head too: with 64 a job, the
    // benchmark's real songs (one in thirty changed) were flushed every four or five changed
    // songs, as often as the window filled; with 256, every dozen or more.
    const std::size_t window = std::size_t(walkSlots) * 1024;
    std::vector<Slot> pending(window);
    std::size_t next = 0;              // the next song to take
    std::size_t reported = 0;          // the songs reported
    bool reporting = false;            // a thread is reporting: the others leave it to it
    std::vector<std::size_t> awaiting; // songs waiting for a flush, in the order walked
    QElapsedTimer firstAwaiting;       // since the first of them was walked
    int walkers = 0;                   // the threads that walk songs and have not ended
    int waitingWalkers = 0;            // of them, those that wait: none can go on
    bool walkersEnded = false;
    std::condition_variable flushNeeded; // the flusher's own: songs to flush, or none can go on
    // In a dry run, what the walks would have written to each file, for a later walk of the
    // same file. Kept only for files with such writes.
    std::map<FileIdentity, SongReader::Overlay> dryRunWrites;

    // Whether song i must wait before its walk: a song before it has not been opened yet (it
    // may be the same file), or is the same file and not yet written. Under the mutex.
    // Kept as songs are opened and done, so that the look is short however many songs are in
    // flight: every song before `openedUpTo` has been opened, and `notDone` holds the songs
    // opened and not yet done (a few for each thread, and those waiting for a flush). It is
    // looked through under the batch's lock, so it allocates nothing as songs come and go.
    std::size_t openedUpTo = 0;
    std::vector<std::size_t> notDone;
    notDone.reserve(window);
    const auto mustWait = [&](std::size_t i) {
        if (openedUpTo < i)
            return true;
        const std::optional<FileIdentity> &identity = pending[i % window].identity;
        return identity && std::any_of(notDone.begin(), notDone.end(), [&](std::size_t other) {
                   return other < i && pending[other % window].identity == identity;
               });
    };
    const auto opened = [&](std::size_t i) {
        pending[i % window].opened = true;
        notDone.push_back(i);
        while (openedUpTo < next && pending[openedUpTo % window].opened)
            ++openedUpTo;
    };
    const auto done = [&](std::size_t i) {
        pending[i % window].done = true;
        const auto found = std::find(notDone.begin(), notDone.end(), i);
        *found = notDone.back();
        notDone.pop_back();
    };

    // Reports the songs done, in order, while no other thread reports. Under the mutex, which
    // it lets go while it reports.
    const auto reportDone = [&](std::unique_lock<std::mutex> &lock) {
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
    };

    // One flush of the journal for every song waiting, then their bytes. Under the mutex, which
    // it lets go meanwhile.
    const auto flushAwaiting = [&](std::unique_lock<std::mutex> &lock) {
        const std::vector<std::size_t> songsToWrite = std::exchange(awaiting, {});
        quint64 ticket = 0;
        for (const std::size_t i : songsToWrite)
            ticket = std::max(ticket, pending[i % window].deferred.ticket);
        lock.unlock();
        const bool onDisk = options.journal->commit(ticket);
        for (const std::size_t i : songsToWrite) {
            Slot &slot = pending[i % window];
            if (onDisk)
                writeDeferred(*slot.file, slot.deferred, workFor(options, nullptr, *slot.file),
                              slot.outcome);
            else
                slot.outcome.result = Result::NotRecorded;
            slot.file.reset(); // closed before a later walk of the same file starts
            slot.deferred = {};
        }
        lock.lock();
        for (const std::size_t i : songsToWrite)
            done(i);
        if (!onDisk)
            batch.stopped = true; // no journal, no change: no further song either
        batch.changed.notify_all();
        reportDone(lock);
    };

    // A walking thread waits for another to change something (`change`: a walk slot freed, or
    // anything else the batch keeps); the flusher hears when none can go on. Under the mutex.
    const auto waitForOthers = [&](std::unique_lock<std::mutex> &lock,
                                   std::condition_variable &change) {
        if (++waitingWalkers == walkers)
            flushNeeded.notify_one();
        change.wait(lock);
        --waitingWalkers;
    };

    // Doubles the threads, up to mostThreads: a song took long to open, as on a share. Under
    // the mutex.
    std::function<void()> work;
    const auto addWalkers = [&] {
        // `walkers` counts this thread while it walks or lists; the vector never grows past
        // what it reserved, as the joining below holds on to its elements.
        const int more =
            std::min({walkers, mostThreads - walkers, mostThreads - int(walkerThreads.size())});
        for (int t = 0; t < more; ++t) {
            ++walkers;
            walkerThreads.emplace_back(work);
        }
    };

    work = [&] {
        std::unique_lock lock(batch.mutex);
        for (;;) {
            // Takes a song, or waits until one can be taken; once all are taken (or the batch
            // is stopped), the songs waiting for a flush are the flusher's.
            for (;;) {
                const bool canTake = !batch.stopped && next < listed.size() && batch.holds == 0 &&
                                     next - reported < window;
                if (canTake)
                    break;
                if (batch.stopped || (allListed && next == listed.size())) {
                    --walkers;
                    flushNeeded.notify_one();
                    return;
                }
                waitForOthers(lock, batch.changed);
            }
            const std::size_t i = next++;
            const SongPath song = listed[i];
            Slot &slot = pending[i % window];
            slot = Slot{};
            lock.unlock();
            QElapsedTimer opening;
            opening.start();

            if (options.songStarted)
                options.songStarted(song.path);
            OpenSong open = lookAtSong(song, options);
            const bool slowOpen = opening.elapsed() >= slowOpenMs;
            lock.lock();
            // Only while songs are left to take: once none is, this thread's joiner may have
            // looked at the last thread.
            if (slowOpen && !batch.stopped && (!allListed || next < listed.size()))
                addWalkers();
            slot.identity = open.identity;
            opened(i);
            batch.changed.notify_all(); // a later song may wait to know this one's file
            while (mustWait(i))
                waitForOthers(lock, batch.changed);
            const SongReader::Overlay *overlay = nullptr;
            if (options.dryRun && open.identity) {
                const auto found = dryRunWrites.find(*open.identity);
                overlay = found != dryRunWrites.end() ? &found->second : nullptr;
            }
            if (open.openAfterWaiting) {
                lock.unlock();
                open = openSong(song, options);
                lock.lock();
            }
            while (walking == walkSlots)
                waitForOthers(lock, walkSlotFree);
            ++walking;
            lock.unlock();

            Outcome outcome;
            DeferredWrites deferred;
            if (open.problem.isEmpty()) {
                const bool shareFlushes = options.journal && !options.dryRun;
                outcome = repairSong(*open.file, open.size >= 0 ? open.size : open.file->size(),
                                     workFor(options, overlay, *open.file),
                                     shareFlushes ? &deferred : nullptr);
            }
            outcome.path = song.path;
            outcome.problem = open.problem;
            if (deferred.repairs.empty())
                open.file.reset(); // closed, outside the lock, before a later walk of the file
            lock.lock();
            --walking;
            walkSlotFree.notify_one();
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
            if (!deferred.repairs.empty()) {
                slot.file = std::move(open.file);
                slot.deferred = std::move(deferred);
                if (awaiting.empty())
                    firstAwaiting.start();
                awaiting.push_back(i);
                // The flusher hears of the first, which starts its wait, and of the last that
                // may wait; not of every one, which would wake it for nothing.
                if (awaiting.size() == 1 || awaiting.size() == songsPerFlush)
                    flushNeeded.notify_one();
            } else {
                done(i);
            }
            batch.changed.notify_all(); // a thread may wait for this very walk, or the flusher
            reportDone(lock);
        }
    };

    // The songs waiting for a flush are written by a thread of their own, so that the walking
    // threads never wait for the disk: when enough of them wait, when the first has waited long
    // enough, or at once when no walking thread can go on (the window of songs is full, the
    // batch is held or stopped, a song waits for an earlier walk of its file, or all songs are
    // taken). Each flush made while songs are walked slows the walks, so there are few: on a
    // local disk most batches end before the first song has waited long enough, and make one.
    const auto flush = [&] {
        std::unique_lock lock(batch.mutex);
        for (;;) {
            if (awaiting.empty()) {
                if (walkersEnded)
                    return;
                flushNeeded.wait(lock);
                continue;
            }
            const qint64 left = longestWaitForFlushMs - firstAwaiting.elapsed();
            if (awaiting.size() < songsPerFlush && waitingWalkers < walkers && left > 0)
                flushNeeded.wait_for(lock, std::chrono::milliseconds(left));
            else
                flushAwaiting(lock);
        }
    };
    // Lists the songs for the walking threads: the first at once, then a few dozen at a time,
    // so that they are woken once for many songs.
    const auto listAll = [&] {
        std::vector<SongPath> found;
        bool firstShown = false;
        const auto hand = [&](bool last) {
            const std::lock_guard lock(batch.mutex);
            std::move(found.begin(), found.end(), std::back_inserter(listed));
            allListed = last;
            batch.changed.notify_all();
        };
        list([&](SongPath &&song) {
            found.push_back(std::move(song));
            if (!firstShown || found.size() == songsListedAtOnce) {
                hand(false);
                found.clear();
                firstShown = true;
            }
        });
        hand(true);
        if (options.songsListed)
            options.songsListed(int(listed.size())); // no song is added any more
    };

    std::thread flusher;
    if (options.journal && !options.dryRun)
        flusher = std::thread(flush);
    // This thread walks too, after starting the others, and, when the songs are still to be
    // listed, after listing them (where the jobs leave room): the first song is walked meanwhile
    // by another (one thread at least), and no thread of its own is started for the listing.
    // The threads that a slow open added are joined as they come.
    const bool listHere = !allListed;
    {
        const std::lock_guard lock(batch.mutex);
        const int others = listHere ? qMax(firstThreads - 1, 1) : firstThreads - 1;
        walkers = others + 1;
        for (int t = 0; t < others; ++t)
            walkerThreads.emplace_back(work);
    }
    bool walkHere = true;
    if (listHere) {
        listAll();
        // Walks too only where the jobs leave room: with one job, a second thread would wait
        // for each walk to end, and be woken at each.
        const std::lock_guard lock(batch.mutex);
        walkHere = int(walkerThreads.size()) < walkSlots;
        if (!walkHere) {
            --walkers;
            flushNeeded.notify_one();
        }
    }
    if (walkHere)
        work();
    for (std::size_t t = 0;; ++t) {
        std::unique_lock lock(batch.mutex);
        if (t == walkerThreads.size())
            break;
        std::thread &thread = walkerThreads[t]; // the vector never grows past its reserve
        lock.unlock();
        thread.join();
    }
    if (flusher.joinable()) {
        {
            const std::lock_guard lock(batch.mutex);
            walkersEnded = true;
            flushNeeded.notify_one();
        }
        flusher.join();
    }
    return totals;
}

Totals run(const std::vector<SongPath> &songs, const Options &options,
           const std::function<void(const Outcome &)> &report, Control *control)
{
    const SongLister list = [&](const std::function<void(SongPath &&)> &add) {
        for (const SongPath &song : songs)
            add(SongPath(song));
    };
    return Runner::runListed(list, false, options, report, control);
}

Totals run(const QStringList &paths, bool recursive, const Options &options,
           const std::function<void(const Outcome &)> &report, Control *control)
{
    const SongLister list = [&](const std::function<void(SongPath &&)> &add) {
        listSongsForPaths(paths, recursive, add);
    };
    return Runner::runListed(list, true, options, report, control);
}

} // namespace SongBatch
