#pragma once

#include "gsrhythm.h"
#include "songreader.h"

#include <vector>

// One Program Change to rewrite: where its program byte is in the file, on which channel (0..15)
// it is, and the kit it selects, which is not one of the standard kits (drumkits.h).
struct Repair
{
    qint64 offset = 0;
    int channel = 0;
    int formerKit = 0;
    friend bool operator==(const Repair &, const Repair &) = default;
};

// Finds a song's repairs: walks it with a SongReader, follows its rhythm channels and yields,
// in file order, every Program Change on a rhythm channel whose kit the kit table does not
// accept. Reads only.
//
// A track's Program Changes that come after an out-of-range data byte wait here until the
// track has proved it (SongReader); those of a song that fails there are never yielded.
class RepairFinder
{
public:
    RepairFinder(QIODevice &song, qint64 size, qsizetype blockSize = SongReader::defaultBlockSize,
                 const SongReader::Overlay *overlay = nullptr);

    // The next repair; false once the walk has ended (see walked() and stopOffset()).
    bool next(Repair &repair);
    bool walked() const { return reader.walked(); }
    qint64 stopOffset() const { return reader.stopOffset(); }

private:
    SongReader reader;
    RhythmChannels rhythm;
    std::vector<Repair> held;
    std::size_t proven = 0; // held repairs whose track has proved them, yielded from the front
    std::size_t yielded = 0;
};
