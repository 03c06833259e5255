#include "repairfinder.h"
#include "drumkits.h"

RepairFinder::RepairFinder(QIODevice &song, qint64 size, qsizetype blockSize,
                           const SongReader::Overlay *overlay)
    : reader(song, size, blockSize, overlay)
{
    reader.setProgramChannels(rhythm.mask());
}

bool RepairFinder::next(Repair &repair)
{
    if (yielded < proven) {
        repair = held[yielded++];
        if (yielded == proven) {
            held.clear();
            proven = yielded = 0;
        }
        return true;
    }
    SongReader::Event event;
    while (reader.next(event)) {
        switch (event.kind) {
        case SongReader::Event::Kind::SystemExclusive:
            rhythm.applyGsMessage(reader.eventBuffer(), event.length);
            reader.setProgramChannels(rhythm.mask());
            break;
        case SongReader::Event::Kind::ProgramChange: {
            // The reader yields only the rhythm channels' (setProgramChannels); the kit table
            // decides, on the event as the reader holds it.
            std::array<quint8, 256> programChange = reader.eventBuffer();
            if (!rhythm.isRhythm(event.channel) || !fixProgramChange(programChange))
                break;
            repair = {event.offset, event.channel, event.program};
            if (!event.held)
                return true;
            held.push_back(repair);
            break;
        }
        case SongReader::Event::Kind::HeldProven:
            if (!held.empty()) {
                proven = held.size();
                return next(repair);
            }
            break;
        }
    }
    held.clear(); // a song that failed: its unproven repairs are never made
    return false;
}
