#pragma once

#include "journal.h"

#include <functional>

// What became of one journal line when its kit was to be put back.
struct RestoredLine
{
    enum class Result {
        Restored,    // the byte held kit 0 where the journal says; the former kit is back
        NothingToDo, // the byte already holds the former kit
        LeftAlone,   // anything else: the song changed, moved, or cannot be opened
    };
    int lineNumber = 0; // in the journal, from 1
    JournalLine line;
    Result result = Result::LeftAlone;
    QString reason; // why it was left alone
};

// Puts back the former kits of a journal, its lines from last to first. A line is restored
// only where a walk of the song now finds, at that offset, a Program Change of kit 0 on that
// channel; nothing is written where the byte already holds the former kit, or for any other
// line. With `dryRun` nothing is written at all. Each line's outcome goes to `report`, in that
// order. False, with `problem` set, when the journal itself cannot be read.
bool restoreJournal(const QString &journalPath, bool dryRun,
                    const std::function<void(const RestoredLine &)> &report, QString &problem);

// The message for a journal line left alone.
QString leftAloneMessage(const RestoredLine &line);

// What a restore of one or more journals added up to, as both programs report it.
struct RestoreTotals
{
    int restored = 0;
    int leftAlone = 0;
    QString problems; // a line for each line left alone and each journal not read
    void add(const RestoredLine &line);
};
