#pragma once

#include "journal.h"
#include "repairfinder.h"
#include "songfolder.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

class QIODevice;

// Runs the repair over the songs of a batch, on one thread or several, with the same result:
// the files end up with the same bytes, and the outcomes come out in the songs' order.
//
// This is the one place that writes into songs: a song's repairs are found by a RepairFinder,
// which only reads; they are handed to the journal in bounded groups as the walk goes, and
// each group's bytes are written once its lines are. A dry run is the same batch without the
// journal and the writes.
namespace SongBatch {

enum class Result {
    NotOpened, // missing, or not openable for reading and writing: skipped, not counted
    Walked,    // every declared track was walked to its end
    Failed,    // counted, but a track (or the header) was not accepted, or a byte not written
    // Counted; stopped before repairs that could not be recorded in the journal beforehand:
    // the song holds the repairs recorded so far.
    NotRecorded,
};

struct Totals
{
    int filesFound = 0;
    int conversions = 0;
};

struct Options
{
    int jobs = 1;                 // how many songs may be walked at once
    bool dryRun = false;          // open each song read-only and write nothing
    bool listConversions = false; // fill Outcome::conversionList
    // Where each repair is recorded before it is made; none: no record. Once it cannot be
    // written, no further byte is rewritten and the batch stops.
    Journal *journal = nullptr;
    // Called on the walking thread as each song is started, before it is opened: the tests
    // hold songs there, as a slow disk would.
    std::function<void(const QString &path)> songStarted;
    // Called once every song of the batch is known, with how many there are: songs listed
    // from folders may have been walked and reported before.
    std::function<void(int count)> songsListed;
};

// What became of one song.
struct Outcome
{
    QString path;    // as in the SongPath
    QString problem; // not opened: why (from the SongPath, or from the open); then not counted
    Result result = Result::NotOpened;
    int conversions = 0;
    qint64 stopOffset = 0; // after a failed walk: how many bytes it had read when it stopped
    std::vector<Repair> conversionList;
};

// How one song that is open is repaired (repairSong).
struct SongWork
{
    // Where the repairs are recorded first; none: no record. The song's name in it is asked
    // once, at its first repair.
    Journal *journal = nullptr;
    std::function<QString()> journalName;
    bool write = true; // false: a dry run, which only counts
    bool listConversions = false;
    qsizetype blockSize = SongReader::defaultBlockSize;
    // In a dry run, what the batch would have written to this file before.
    const SongReader::Overlay *overlay = nullptr;
};

// A song's last group of repairs, recorded in the journal but not yet on the disk: its bytes
// wait for a flush that other songs' lines share (Journal::commit).
struct DeferredWrites
{
    std::vector<Repair> repairs;
    quint64 ticket = 0;
};

// Repairs one song that is open for reading (and, to write, for writing): finds its repairs in
// bounded groups; records each group in the journal, flushed to the disk, and then writes its
// bytes. With `deferred`, the last group (for most songs the only one) is recorded but left
// for writeDeferred once its ticket is committed. A failed write fails the song there
// (stopOffset just past that byte); a journal that cannot be written or flushed leaves the
// group's bytes unwritten and stops the song (NotRecorded).
Outcome repairSong(QIODevice &song, qint64 size, const SongWork &work,
                   DeferredWrites *deferred = nullptr);
// Writes the deferred group of a song, its lines on the disk, into `outcome`.
void writeDeferred(QIODevice &song, const DeferredWrites &deferred, const SongWork &work,
                   Outcome &outcome);

// Writes one program byte of an open song; false, with the device's error, when it cannot. Every
// write into a song goes through here: a repair's kit 0, and a restore's former kit.
bool writeProgramByte(QIODevice &song, qint64 offset, quint8 program);

// Lets another thread hold a running batch between songs, or end it: the songs being walked
// are walked to their end and reported, and no further one is started. A song is never left
// half-walked. Holds count: the batch goes on once each hold has been released.
class Control
{
public:
    void hold();
    void release();
    void stop();

private:
    friend class Runner; // the batch's own code (songbatch.cpp)
    std::mutex mutex;    // also guards the batch's own bookkeeping
    std::condition_variable changed;
    int holds = 0;
    bool stopped = false;
};

// Walks the songs in order, up to `options.jobs` at once (and, where opens are slow, as on a
// share, opens more meanwhile), each song by one thread only, and hands each outcome to
// `report` in the songs' order, one call at a time (from any of the threads). A file that
// comes up more than once, by whatever path, is walked each time, in order, after the walk
// before has ended. Only a few songs ahead of the last reported are walked at a time, so memory
// does not grow with the number of songs. `control`, when given, may hold or stop the batch
// from another thread. Returns the totals of the songs reported.
Totals run(const std::vector<SongPath> &songs, const Options &options,
           const std::function<void(const Outcome &)> &report, Control *control = nullptr);
// The same over the songs that `paths` stand for (listSongsForPaths): they are looked at, and
// folders listed, by the calling thread while another walks the first songs.
Totals run(const QStringList &paths, bool recursive, const Options &options,
           const std::function<void(const Outcome &)> &report, Control *control = nullptr);

} // namespace SongBatch
