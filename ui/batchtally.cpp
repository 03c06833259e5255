#include "batchtally.h"
#include "texts.h"

#include <QHash>

#include <vector>

void BatchTally::add(const SongBatch::Outcome &song)
{
    if (!song.problem.isEmpty()) {
        ++notOpened;
    } else {
        ++totals.filesFound;
        totals.conversions += song.conversions;
    }
    if (song.result == SongBatch::Result::Failed || !song.problem.isEmpty() ||
        !song.conversionList.empty())
        appendDetailsLine(song);
}

// One line of the summary's details for a song that was changed, failed or was not opened:
// its path, each different change once (in the order the file first makes it, with how many
// times when more than once), and where the walk stopped if it failed; or why it could not be
// opened, as kadenzo-batch says it. Appended in place, so that a batch of thousands of songs
// builds its details in one growing string.
void BatchTally::appendDetailsLine(const SongBatch::Outcome &song)
{
    if (!song.problem.isEmpty()) {
        details += Texts::notOpened(song.path, song.problem);
        details += u'\n';
        return;
    }
    struct Change
    {
        int channel;
        int formerKit;
        int times;
    };
    std::vector<Change> changes;
    QHash<int, qsizetype> changeIndex; // by channel * 256 + former kit
    for (const Repair &repair : song.conversionList) {
        const int key = repair.channel * 256 + repair.formerKit;
        const auto found = changeIndex.constFind(key);
        if (found != changeIndex.constEnd()) {
            ++changes[size_t(*found)].times;
        } else {
            changeIndex.insert(key, qsizetype(changes.size()));
            changes.push_back({repair.channel, repair.formerKit, 1});
        }
    }

    details += song.path;
    details += u':';
    const char16_t *separator = u" ";
    for (const Change &change : changes) {
        details += separator;
        separator = u"; ";
        details += Texts::changeOfKit(change.channel, change.formerKit, change.times);
    }
    if (song.result == SongBatch::Result::Failed) {
        details += separator;
        details += Texts::stoppedAfter(song.stopOffset);
    }
    details += u'\n';
}

// The summary's text: the totals, then the songs not opened and the songs a stop left out,
// each only when there are some.
QString BatchTally::summary(int notWalked) const
{
    QString text = Texts::summary(totals.filesFound, totals.conversions);
    if (notOpened > 0)
        text += u'\n' + Texts::notOpenedCount(notOpened);
    if (notWalked > 0)
        text += u'\n' + Texts::stoppedCount(notWalked);
    return text;
}
