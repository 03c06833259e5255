#pragma once

#include "conversionengine.h"
#include "journal.h"
#include "songfolder.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

// Runs the engine over the songs of a batch, on one thread or several, with the same result:
// the files end up with the same bytes, and the outcomes come out in the songs' order.
namespace SongBatch {

struct Options
{
    int jobs = 1;                 // how many songs may be walked at once
    bool dryRun = false;          // open each song read-only and keep what would be written
    bool listConversions = false; // fill Outcome::conversionList
    // Where each repair is recorded before it is made; none: no record. Once it cannot be
    // written, no further byte is rewritten and the batch stops.
    Journal *journal = nullptr;
    // Called on the walking thread as each song is started, before it is opened: the tests
    // hold songs there, as a slow disk would.
    std::function<void(const QString &path)> songStarted;
};

// What became of one song.
struct Outcome
{
    QString path;    // as in the SongPath
    QString problem; // not opened: why (from the SongPath, or from the open); then not counted
    ConversionEngine::FileResult result = ConversionEngine::FileResult::NotOpened;
    int conversions = 0;
    qint64 stopOffset = 0; // after a failed walk: how many bytes it had read when it stopped
    std::vector<ConversionEngine::Conversion> conversionList;
};

// Lets another thread hold a running batch between songs, or end it: the songs being walked
// are walked to their end and reported, and no further one is started. A song is never left
// half-walked.
class Control
{
public:
    void pause();
    void resume();
    void stop();

private:
    friend ConversionEngine::Totals run(const std::vector<SongPath> &, const Options &,
                                        const std::function<void(const Outcome &)> &, Control *);
    std::mutex mutex; // also guards the batch's own bookkeeping
    std::condition_variable changed;
    bool paused = false;
    bool stopped = false;
};

// Walks the songs in order, up to `options.jobs` at once, each song by one thread only, and
// hands each outcome to `report` in the songs' order, one call at a time (from any of the
// threads). A file that comes up more than once, by whatever path, is walked each time, in
// order, after the walk before has ended. Only a few songs ahead of the last reported are
// walked at a time, so memory does not grow with the number of songs. `control`, when given,
// may pause or stop the batch from another thread. Returns the totals of the songs reported.
ConversionEngine::Totals run(const std::vector<SongPath> &songs, const Options &options,
                             const std::function<void(const Outcome &)> &report,
                             Control *control = nullptr);

// "Attenzione! Impossibile aprire PATH: PROBLEM", the message for a path not opened.
QString notOpenedMessage(const QString &path, const QString &problem);

} // namespace SongBatch
