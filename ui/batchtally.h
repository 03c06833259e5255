#pragma once

#include "songbatch.h"

#include <QString>

// What the outcomes of a window's batch add up to, as its summary shows them: the totals, the
// songs not opened, and a line of details for each song changed, failed or not opened.
struct BatchTally
{
    SongBatch::Totals totals;
    int notOpened = 0;
    QString details;

    void add(const SongBatch::Outcome &song);
    // The songs reported so far, opened or not.
    int songsReported() const { return totals.filesFound + notOpened; }
    // The summary's text; `notWalked`: the songs a stop left out.
    QString summary(int notWalked) const;

private:
    void appendDetailsLine(const SongBatch::Outcome &song);
};
