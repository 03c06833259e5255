#pragma once

#include "conversionengine.h"
#include "songfolder.h"

#include <functional>
#include <vector>

// Runs the engine over the songs of a batch, on one thread or several, with the same result:
// the files end up with the same bytes, and the outcomes come out in the songs' order.
namespace SongBatch {

struct Options
{
    int jobs = 1;                 // how many songs may be walked at once
    bool dryRun = false;          // open each song read-only and keep what would be written
    bool listConversions = false; // fill Outcome::conversionList
};

// What became of one song.
struct Outcome
{
    QString path;    // as in the SongPath
    QString problem; // not opened: why (from the SongPath, or from the open); then not counted
    ConversionEngine::FileResult result = ConversionEngine::FileResult::NotOpened;
    int conversions = 0;
    std::vector<ConversionEngine::Conversion> conversionList;
};

// Walks the songs in order, up to `options.jobs` at once, each song by one thread only, and
// hands each outcome to `report` in the songs' order, one call at a time (from any of the
// threads). A file that comes
// up more than once is walked each time, in order, after the walk before has ended. Only a
// few songs ahead of the last reported are walked at a time, so memory does not grow with
// the number of songs. Returns the batch's totals.
ConversionEngine::Totals run(const std::vector<SongPath> &songs, const Options &options,
                             const std::function<void(const Outcome &)> &report);

// "Attenzione! Impossibile aprire PATH: PROBLEM", the message for a path not opened.
QString notOpenedMessage(const QString &path, const QString &problem);

} // namespace SongBatch
