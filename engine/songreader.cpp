// The song as a whole: its header, its tracks in turn, and the block buffer every byte is
// read through. The chunks are found in chunks.cpp, the events of a track walked in
// eventwalk.cpp.
#include "songreader.h"

#include <QIODevice>

#include <algorithm>

namespace {
constexpr int headerSize = 14; // "MThd", length 6, format, track count, division

// The block of the last reader of the default block size that ended on this thread, kept for
// the next one. A collection is thousands of small songs walked one after another, and a fresh
// block for each made the walk of real songs 2 % slower.
thread_local std::unique_ptr<char[]> spareBlock;
} // namespace

SongReader::SongReader(QIODevice &song, qint64 size, qsizetype blockSize, const Overlay *overlay)
    : file(song)
    , overlay(overlay && !overlay->empty() ? overlay : nullptr)
    , songEnd(size)
    , blockCapacity(qMax(blockSize, qsizetype(1)))
{
    if (blockCapacity == defaultBlockSize && spareBlock)
        block = std::move(spareBlock);
    else
        block = std::make_unique_for_overwrite<char[]>(std::size_t(blockCapacity));
    cursor = blockEnd = fastEnd = block.get();
}

SongReader::~SongReader()
{
    if (blockCapacity == defaultBlockSize)
        spareBlock = std::move(block);
}

bool SongReader::next(Event &event)
{
    for (;;) {
        switch (stage) {
        case Stage::Start:
            if (!startSong())
                return fail();
            break;
        case Stage::NextTrack:
            if (track == trackCount) {
                stage = Stage::Walked;
                return false;
            }
            if (!seekTo(nextChunk) || !findTrack())
                return fail();
            runningStatus = -1; // each track starts without running status
            stage = Stage::InTrack;
            break;
        case Stage::InTrack: {
            const TrackEnd end = walkToEvent();
            event = Event{};
            if (end == TrackEnd::ProgramChange) {
                event.kind = Event::Kind::ProgramChange;
                event.offset = filePos() - 1;
                event.channel = eventBuf[0] & 0x0F;
                event.program = eventBuf[1];
                event.held = outOfRangeEnd >= 0;
                return true;
            }
            if (end == TrackEnd::SystemExclusive) {
                event.kind = Event::Kind::SystemExclusive;
                event.length = systemExclusiveLength;
                return true;
            }
            // Only a track that held out-of-range data has something to tell at its end: most
            // tracks end without a word, and the walk goes straight on to the next one.
            const bool heldData = outOfRangeEnd >= 0;
            if (end == TrackEnd::NotAccepted || !endTrack(end))
                return fail();
            ++track;
            stage = Stage::NextTrack;
            if (heldData) {
                event.kind = Event::Kind::HeldProven;
                return true;
            }
            break;
        }
        case Stage::Walked:
        case Stage::Failed:
            return false;
        }
    }
}

bool SongReader::fail()
{
    stoppedAt = outOfRangeEnd >= 0 ? outOfRangeEnd : filePos();
    stage = Stage::Failed;
    return false;
}

// The header: only its tag is checked, as the format and the division do not matter to the
// repair; an empty file is a song with nothing in it.
bool SongReader::startSong()
{
    if (!restartAt(0) || !findRmidSong())
        return false;
    eventBuf.fill(0);
    int headerRead = 0;
    while (headerRead < headerSize && readByte(eventBuf[headerRead]))
        ++headerRead;
    if (headerRead == 0 && songStart == 0) {
        stage = Stage::Walked;
        return true;
    }
    if (headerRead < 4 || !bufferStartsWith("MThd"))
        return false;
    trackCount = eventBuf[10] * 256 + eventBuf[11];
    if (trackCount > 0 && !findFirstChunk(nextChunk))
        return false;
    stage = Stage::NextTrack;
    return true;
}

// Where the next track is looked for; after the last one, only to prove a track that holds
// out-of-range data.
bool SongReader::endTrack(TrackEnd end)
{
    nextChunk = filePos();
    const bool more = track + 1 < trackCount;
    if (end == TrackEnd::EndOfTrack && (more || outOfRangeEnd >= 0) &&
        !chunkAfterEndOfTrack(nextChunk))
        return false;
    return outOfRangeEnd < 0 || heldDataProven(nextChunk);
}

bool SongReader::readBytes(quint8 *bytes, std::size_t count)
{
    return std::all_of(bytes, bytes + count, [this](quint8 &byte) { return readByte(byte); });
}

// A variable-length quantity of any number of bytes, kept in 32 bits: the top bits of an
// overlong one are lost, and a result of zero or below means "no data".
bool SongReader::readVarLen(qint32 &value)
{
    quint32 accumulated = 0;
    quint8 byte = 0;
    do {
        if (!readByte(byte))
            return false;
        accumulated = (accumulated << 7) | (byte & 0x7F);
    } while (byte & 0x80);
    value = qint32(accumulated);
    return true;
}

bool SongReader::skipBytes(qint64 count)
{
    while (count > 0) {
        if (cursor >= blockEnd && !refillBlock())
            return false;
        const qint64 step = qMin(count, qint64(blockEnd - cursor));
        cursor += step;
        count -= step;
    }
    return true;
}

// Moves the walk to an offset in the song: inside the block by the cursor alone, elsewhere by
// a seek that empties the block. Never past the song's end.
bool SongReader::seekTo(qint64 offset)
{
    const qint64 inBlock = offset - blockStart;
    if (inBlock >= 0 && inBlock <= blockEnd - block.get()) {
        cursor = block.get() + inBlock;
        return true;
    }
    return restartAt(offset);
}

bool SongReader::restartAt(qint64 offset)
{
    if (offset < songStart || offset > songEnd)
        return false;
    blockStart = offset;
    cursor = blockEnd = block.get();
    placeLimits();
    return true;
}

// Reads the next block, never past the song's end (an RMID file's song ends inside it).
bool SongReader::refillBlock()
{
    blockStart += blockEnd - block.get();
    const qint64 wanted = qMin(blockCapacity, songEnd - blockStart);
    // A device just opened is at its start already, and one read after another needs no seek
    // (a system call); after a write the device is where the byte was written.
    const bool placed = wanted > 0 && (file.pos() == blockStart || file.seek(blockStart));
    const qint64 length = placed ? file.read(block.get(), wanted) : 0;
    cursor = blockEnd = block.get();
    if (length > 0) {
        blockEnd += length;
        if (overlay) {
            const auto end = overlay->lower_bound(blockStart + length);
            for (auto byte = overlay->lower_bound(blockStart); byte != end; ++byte)
                block[std::size_t(byte->first - blockStart)] = char(byte->second);
        }
    }
    placeLimits();
    return length > 0;
}

// Where the track's declared end is in the block, and how far the walk may read event starts
// unchecked (the longest event start's bytes before the block's end, and not past the
// declared end).
void SongReader::placeLimits()
{
    constexpr qint64 longestEventHead = 5 + 3; // a delta time, a status and two data bytes
    const qint64 filled = blockEnd - block.get();
    const qint64 inBlock = trackEnd - blockStart;
    const bool held = trackEnd >= 0 && inBlock >= 0 && inBlock <= filled;
    trackEndInBlock = held ? block.get() + inBlock : nullptr;
    fastEnd = filled >= longestEventHead ? blockEnd - (longestEventHead - 1) : block.get();
    if (held && trackEndInBlock < fastEnd)
        fastEnd = trackEndInBlock;
}
