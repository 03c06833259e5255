// The chunks of a song as real collections hold them: RMID files, chunks of other kinds among
// the tracks, and chunk lengths that disagree with what follows.
#include "songreader.h"

#include <algorithm>

namespace {
constexpr int headerSize = 14;     // "MThd", length 6, format, track count, division
constexpr int chunkHeaderSize = 8; // tag and length
} // namespace

// An RMID file is a RIFF file of form "RMID" that holds a Standard MIDI File in its first
// "data" chunk. RIFF chunks follow the form type at offset 12: a four-byte id, a four-byte
// little-endian size and the data, padded to an even size. The song is walked as a file of its
// own that ends where the "data" chunk ends (or the file, if sooner), at its offsets in the
// whole file. Any other file is left for the walk as it is; false when RMID has no "data".
bool SongReader::findRmidSong()
{
    std::array<quint8, 12> riff{};
    if (!readBytes(riff.data(), riff.size()))
        return seekTo(0); // too short for RIFF: not RMID
    const auto is = [](const quint8 *bytes, const char(&tag)[5]) {
        return std::equal(tag, tag + 4, bytes);
    };
    if (!is(riff.data(), "RIFF") || !is(riff.data() + 8, "RMID"))
        return seekTo(0);
    for (qint64 at = 12; songEnd - at >= chunkHeaderSize;) {
        std::array<quint8, chunkHeaderSize> chunk{};
        if (!seekTo(at) || !readBytes(chunk.data(), chunk.size()))
            return false;
        const quint32 size = chunk[4] | chunk[5] << 8 | chunk[6] << 16 | quint32(chunk[7]) << 24;
        if (is(chunk.data(), "data")) {
            songStart = at + chunkHeaderSize;
            songEnd = qMin(songEnd, songStart + size);
            // The block may hold bytes past the song: read it anew from the song's start.
            return restartAt(songStart);
        }
        at += chunkHeaderSize + qint64(size) + (size & 1);
    }
    return false;
}

bool SongReader::bufferStartsWith(const char (&tag)[5]) const
{
    return std::equal(tag, tag + 4, eventBuf.begin());
}

// A chunk starts at an offset when eight bytes are there before the song ends and the first
// four, its tag, are printable ASCII; the next four are its length, big-endian.
SongReader::ChunkHeader SongReader::chunkHeader(const quint8 *bytes)
{
    ChunkHeader chunk;
    chunk.found = std::all_of(bytes, bytes + 4, [](quint8 c) { return c >= 0x20 && c <= 0x7E; });
    chunk.isTrack = std::equal(bytes, bytes + 4, "MTrk");
    chunk.length = quint32(bytes[4]) << 24 | bytes[5] << 16 | bytes[6] << 8 | bytes[7];
    return chunk;
}

// Looks at the chunk header at `offset`, if there is one, and leaves the walk where it was.
// False only when the device fails.
bool SongReader::peekChunk(qint64 offset, ChunkHeader &chunk)
{
    chunk = {};
    if (offset < songStart || songEnd - offset < chunkHeaderSize)
        return true;
    const qint64 back = filePos();
    std::array<quint8, chunkHeaderSize> bytes{};
    if (!seekTo(offset) || !readBytes(bytes.data(), bytes.size()))
        return false;
    chunk = chunkHeader(bytes.data());
    return seekTo(back);
}

// The first chunk after the header is at offset 14 when MTrk is there, whatever the header's
// length says (files exist whose length is wrong); else where that length puts it, when a
// chunk starts there (a longer header); else at 14.
bool SongReader::findFirstChunk(qint64 &offset)
{
    offset = songStart + headerSize;
    ChunkHeader chunk;
    if (!peekChunk(offset, chunk))
        return false;
    if (chunk.isTrack)
        return true;
    // The header is a chunk too: "MThd" and its length are in eventBuf[0..7].
    const qint64 declared = songStart + chunkHeaderSize + chunkHeader(eventBuf.data()).length;
    if (!peekChunk(declared, chunk))
        return false;
    if (chunk.found)
        offset = declared;
    return true;
}

// Reads chunk headers into eventBuf[0..7] from the walk's position until an MTrk chunk starts.
// A chunk of another kind (vendor or karaoke data) that fits in the song is read past; any
// other bytes fail the song.
bool SongReader::findTrack()
{
    for (;;) {
        const qint64 start = filePos();
        if (!readBytes(eventBuf.data(), chunkHeaderSize))
            return false;
        const ChunkHeader chunk = chunkHeader(eventBuf.data());
        const qint64 end = start + chunkHeaderSize + chunk.length;
        if (chunk.isTrack) {
            trackEnd = end;
            placeLimits();
            return true;
        }
        if (!chunk.found || end > songEnd || !seekTo(end))
            return false;
    }
}

// After a track's End of Track the next chunk usually follows. When the bytes there are no
// chunk (stray bytes inside the track chunk), but a chunk starts where the track's chunk
// length says it ends, or the song ends there, the walk goes on there.
bool SongReader::chunkAfterEndOfTrack(qint64 &next)
{
    ChunkHeader chunk;
    if (!peekChunk(next, chunk))
        return false;
    if (chunk.found || trackEnd <= next || trackEnd > songEnd)
        return true;
    if (trackEnd == songEnd) {
        next = trackEnd;
        return true;
    }
    if (!peekChunk(trackEnd, chunk))
        return false;
    if (chunk.found)
        next = trackEnd;
    return true;
}

// Between two events at the end the track's chunk length declares: a track without End of
// Track ends here when the next track starts here, behind any chunks of other kinds that fit
// in the song (as findTrack would read past them), or the song ends there. Yamaha's XF chunks,
// for one, follow the last track. Any other bytes here do not end the track: a wrong length
// that falls between two events whose bytes merely look like a tag must not cut a track that
// has its End of Track further on; that they also chain exactly to a track or the song's end
// is not to be feared.
bool SongReader::trackEndsAtChunkEnd(bool &ends)
{
    const qint64 back = filePos();
    ends = false;
    for (;;) {
        const qint64 at = filePos();
        if (at == songEnd) {
            ends = true;
            break;
        }
        if (songEnd - at < chunkHeaderSize)
            break;
        std::array<quint8, chunkHeaderSize> bytes{};
        if (!readBytes(bytes.data(), bytes.size()))
            return false;
        const ChunkHeader chunk = chunkHeader(bytes.data());
        const qint64 end = at + chunkHeaderSize + chunk.length;
        if (chunk.isTrack) {
            ends = true;
            break;
        }
        if (!chunk.found || end > songEnd || !seekTo(end))
            break;
    }
    return seekTo(back);
}

// A track that holds out-of-range data has kept the walk aligned when a chunk or the song's
// end follows where it ended (`next`): a lost walk would hardly end exactly there. Then its
// held Program Changes hold; else the song fails at that first byte.
bool SongReader::heldDataProven(qint64 next)
{
    ChunkHeader chunk;
    if (!peekChunk(next, chunk) || (!chunk.found && next != songEnd))
        return false;
    outOfRangeEnd = -1;
    return true;
}
