#pragma once

#include "journal.h"

#include <QStringList>

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

// Puts back the original kits of a journal, its lines from last to first: the strict inverse of
// the batch that wrote it. A line is restored only where it is whole (it ends with its line
// feed), and where what it would undo is what a batch could have done: a walk of the song (a
// plain file, of the size the line gives) finds at that offset a Program Change of kit 0 on
// that channel, a rhythm channel at that point of the song, and the original kit is one the kit
// table does not accept. Nothing is written where the byte already holds the original kit, or
// for any other line, which is left alone with its reason. With `dryRun` nothing is written at
// all. Each line's outcome goes to `report`, in that order. False, with `problem` set, when the
// journal itself cannot be read.
bool restoreJournal(const QString &journalPath, bool dryRun,
                    const std::function<void(const RestoredLine &)> &report, QString &problem);

// The same for several journals, newest first by the time in their first lines, whatever the
// order given; `notRead` hears of each journal that cannot be read, before any is restored.
void restoreJournals(
    const QStringList &journalPaths, bool dryRun,
    const std::function<void(const RestoredLine &)> &report,
    const std::function<void(const QString &path, const QString &problem)> &notRead);

// How many changes a journal lists (its whole lines after the first); false, with `problem`
// set, when it cannot be read or is not a journal.
bool countJournalChanges(const QString &journalPath, int &changes, QString &problem);

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
