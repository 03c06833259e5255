// One song's repair: its repairs found in bounded groups, each group recorded in the journal
// before its bytes are written. The batch (songbatch.cpp) runs it over many songs at once.
#include "drumkits.h"
#include "songbatch.h"

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

namespace {
// Writes a group's bytes; false, the song failed at a byte, when one cannot be written.
bool writeGroup(QIODevice &song, std::span<const Repair> group, const SongWork &work,
                Outcome &outcome)
{
    for (const Repair &repair : group) {
        if (work.write && !writeProgramByte(song, repair.offset, replacementKit)) {
            outcome.result = Result::Failed;
            outcome.stopOffset = repair.offset + 1;
            return false;
        }
        ++outcome.conversions;
        if (work.listConversions)
            outcome.conversionList.push_back(repair);
    }
    return true;
}
} // namespace

Outcome repairSong(QIODevice &song, qint64 size, const SongWork &work, DeferredWrites *deferred)
{
    Outcome outcome;
    outcome.result = Result::Walked;
    RepairFinder finder(song, size, work.blockSize, work.overlay);
    QString journalName;
    std::vector<Repair> group;
    for (bool more = true; more;) {
        group.clear();
        Repair repair;
        while (group.size() < repairGroup && (more = finder.next(repair)))
            group.push_back(repair);
        if (group.empty())
            break;
        if (work.journal) {
            if (journalName.isEmpty() && work.journalName)
                journalName = work.journalName();
            const quint64 ticket = work.journal->write(journalName, size, group);
            if (ticket == 0) {
                outcome.result = Result::NotRecorded;
                return outcome;
            }
            if (deferred && !more) {
                deferred->repairs = std::move(group);
                deferred->ticket = ticket;
                break;
            }
            if (!work.journal->commit(ticket)) {
                outcome.result = Result::NotRecorded;
                return outcome;
            }
        }
        if (!writeGroup(song, group, work, outcome))
            return outcome;
    }
    if (!finder.walked()) {
        outcome.result = Result::Failed;
        outcome.stopOffset = finder.stopOffset();
    }
    return outcome;
}

void writeDeferred(QIODevice &song, const DeferredWrites &deferred, const SongWork &work,
                   Outcome &outcome)
{
    writeGroup(song, deferred.repairs, work, outcome);
}

} // namespace SongBatch
