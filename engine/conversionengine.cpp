#include "conversionengine.h"
#include "drumkits.h"

#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cstring>

namespace {
constexpr int headerSize = 14;     // "MThd", length 6, format, track count, division
constexpr int chunkHeaderSize = 8; // tag and length
constexpr int noRunningStatus = -1;
constexpr int rhythmChannel10 = 9;  // MIDI channel 10, counted from 0
constexpr int longestDeltaTime = 5; // bytes; the value does not matter to the repair
// The longest delta time, a status and two data bytes.
constexpr qint64 longestEventHead = longestDeltaTime + 3;

// Walking notes, controllers and pitch bends eight bytes at a time (walkEightBytesAtATime).
// Among such events, where each part of an event lies follows from the bytes' top bits alone:
// a delta time is bytes with the top bit set ending in one without, a status byte has it set,
// data bytes have it clear. A small automaton follows an event's parts over the top bits, and
// a table gives, for any eight top bits, where they lead from each state at once: the step
// from one eight bytes to the next is a shift and a mask, and does not wait for the table.
namespace eightbytes {
// Where the walk is in an event before a byte. Out: the bytes are no such event (or one that
// walkTwoDataByteEvents leaves to the general walk: a delta time of three bytes or more, an
// out-of-range data byte).
enum State : unsigned { EventStart, SecondDeltaByte, StatusOrData1, Data1, Data2, Out, count };

constexpr State after(State state, bool topBit)
{
    switch (state) {
    case EventStart:
        return topBit ? SecondDeltaByte : StatusOrData1;
    case SecondDeltaByte:
        return topBit ? Out : StatusOrData1;
    case StatusOrData1:
        return topBit ? Data1 : Data2; // a status byte, or running status
    case Data1:
        return topBit ? Out : Data2;
    case Data2:
        return topBit ? Out : EventStart;
    default:
        return Out;
    }
}

// For eight top bits (bit i: byte i's), for the walk that starts the eight bytes in state n:
// byte n of `next`, the state after them (times 8: the shift for the next step), and
// statusBytes[n], the top bit of each byte that is a status byte.
struct alignas(64) Step
{
    quint64 next = 0;
    std::array<quint64, count> statusBytes{};
};

constexpr std::array<Step, 256> makeSteps()
{
    std::array<Step, 256> steps{};
    for (unsigned topBits = 0; topBits < 256; ++topBits) {
        for (unsigned start = 0; start < count; ++start) {
            State state = State(start);
            quint64 statuses = 0;
            for (unsigned byte = 0; byte < 8; ++byte) {
                const bool top = (topBits >> byte) & 1;
                if (state == StatusOrData1 && top)
                    statuses |= quint64(0x80) << (8 * byte);
                state = after(state, top);
            }
            steps[topBits].next |= quint64(8 * state) << (8 * start);
            steps[topBits].statusBytes[start] = statuses;
        }
    }
    return steps;
}

constexpr std::array<Step, 256> steps = makeSteps();
constexpr quint64 topBitOfEachByte = 0x8080808080808080;

// The top bits of the eight bytes, byte i's as bit i.
inline unsigned gatherTopBits(quint64 bits)
{
    return unsigned(((bits & topBitOfEachByte) * 0x0002040810204081) >> 56);
}

inline quint64 eightBytesAt(const char *at)
{
    quint64 bytes = 0;
    std::memcpy(&bytes, at, sizeof bytes);
    return qFromLittleEndian(bytes);
}
} // namespace eightbytes
} // namespace

ConversionEngine::ConversionEngine(qsizetype blockSize)
    : block(std::size_t(qMax(blockSize, qsizetype(1))))
{
}

QString ConversionEngine::errorMessage(const QString &path)
{
    return QStringLiteral("Attenzione! E' stato trovato un errore nel file ") + path;
}

QString ConversionEngine::summaryMessage(Totals totals)
{
    return QStringLiteral("Files trovati: %1, numero Conversioni: %2")
        .arg(totals.filesFound)
        .arg(totals.conversions);
}

ConversionEngine::FileResult ConversionEngine::processFile(const QString &path)
{
    QFile midiFile(path);
    if (!openForRepair(midiFile))
        return FileResult::NotOpened;
    return walkFile(midiFile);
}

bool ConversionEngine::openForRepair(QFile &file)
{
    // ExistingOnly: a path that has gone away must not come back as an empty file.
    return file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered);
}

ConversionEngine::FileResult ConversionEngine::walkFile(QIODevice &device)
{
    return walkFile(device, device.size());
}

ConversionEngine::FileResult ConversionEngine::walkFile(QIODevice &device, qint64 size)
{
    conversions = 0;
    file = &device;
    songStart = 0;
    songEnd = size;
    trackEnd = -1;
    conversionList.clear();
    outOfRangeEnd = -1;
    heldBack.clear();
    rewriteRefused = false;
    const FileResult result = restartAt(0) ? scanFile() : FileResult::Failed;
    file = nullptr;
    return rewriteRefused ? FileResult::NotRecorded : result;
}

ConversionEngine::FileResult ConversionEngine::scanFile()
{
    if (!findRmidSong())
        return FileResult::Failed;
    eventBuf.fill(0);
    int headerRead = 0;
    while (headerRead < headerSize && readByte(eventBuf[headerRead]))
        ++headerRead;
    if (headerRead == 0 && songStart == 0)
        return FileResult::Walked; // an empty file has nothing to repair
    // Only the tag is checked: the format and the division do not matter to the repair.
    if (headerRead < 4 || !bufferStartsWith("MThd"))
        return FileResult::Failed;
    const int trackCount = eventBuf[10] * 256 + eventBuf[11];

    partChannel = defaultPartChannels();
    drumChannel.fill(0);
    drumChannel[rhythmChannel10] = 1;

    qint64 next = 0;
    if (trackCount > 0 && !findFirstChunk(next))
        return FileResult::Failed;
    for (int track = 0; track < trackCount; ++track) {
        if (!seekTo(next) || !findTrack())
            return FileResult::Failed;
        const TrackEnd end = scanTrack();
        if (end == TrackEnd::NotAccepted)
            return FileResult::Failed;
        next = filePos();
        // Where the next track is looked for; after the last one, only to prove a track that
        // holds out-of-range data.
        const bool more = track + 1 < trackCount;
        if (end == TrackEnd::EndOfTrack && (more || outOfRangeEnd >= 0) &&
            !chunkAfterEndOfTrack(next))
            return FileResult::Failed;
        if (outOfRangeEnd >= 0 && !writeHeldBackRepairs(next))
            return FileResult::Failed;
    }
    return FileResult::Walked;
}

// An RMID file is a RIFF file of form "RMID" that holds a Standard MIDI File in its first
// "data" chunk. RIFF chunks follow the form type at offset 12: a four-byte id, a four-byte
// little-endian size and the data, padded to an even size. The song is walked as a file of its
// own that ends where the "data" chunk ends (or the file, if sooner), at its offsets in the
// whole file. Any other file is left for the walk as it is; false when RMID has no "data".
bool ConversionEngine::findRmidSong()
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

bool ConversionEngine::bufferStartsWith(const char (&tag)[5]) const
{
    return std::equal(tag, tag + 4, eventBuf.begin());
}

// A chunk starts at an offset when eight bytes are there before the song ends and the first
// four, its tag, are printable ASCII; the next four are its length, big-endian.
ConversionEngine::ChunkHeader ConversionEngine::chunkHeader(const quint8 *bytes)
{
    ChunkHeader chunk;
    chunk.found = std::all_of(bytes, bytes + 4, [](quint8 c) { return c >= 0x20 && c <= 0x7E; });
    chunk.isTrack = std::equal(bytes, bytes + 4, "MTrk");
    chunk.length = quint32(bytes[4]) << 24 | bytes[5] << 16 | bytes[6] << 8 | bytes[7];
    return chunk;
}

// Looks at the chunk header at `offset`, if there is one, and leaves the walk where it was.
// False only when the device fails.
bool ConversionEngine::peekChunk(qint64 offset, ChunkHeader &chunk)
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
bool ConversionEngine::findFirstChunk(qint64 &offset)
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
// other bytes fail the file.
bool ConversionEngine::findTrack()
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
bool ConversionEngine::chunkAfterEndOfTrack(qint64 &next)
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
bool ConversionEngine::trackEndsAtChunkEnd(bool &ends)
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

// Walks one MTrk chunk up to its End of Track meta event, or to the chunk's end where that is
// where the next track starts (trackEndsAtChunkEnd). Each track starts without running status.
ConversionEngine::TrackEnd ConversionEngine::scanTrack()
{
    runningStatus = noRunningStatus;
    for (;;) {
        cursor = walkTwoDataByteEvents(cursor);
        // The event's first bytes are read through a local copy of the cursor, which the
        // compiler can keep in a register; before fastEnd, without looking for the end of the
        // block at each byte or for the track's declared end. Most of a song is short events.
        const char *at = cursor;
        quint8 status = 0;
        bool headRead = false;
        if (at < fastEnd) {
            headRead = readEventHead<false>(at, status);
        } else {
            if (at == trackEndInBlock) {
                bool ends = false;
                if (!trackEndsAtChunkEnd(ends))
                    return TrackEnd::NotAccepted;
                if (ends)
                    return TrackEnd::ChunkEnd;
                at = cursor; // the look may have read another block
            }
            headRead = readEventHead<true>(at, status);
        }
        cursor = at; // on failure: past the byte not accepted, or at the file's end
        if (!headRead)
            return TrackEnd::NotAccepted;

        if (status < 0xF0) {
            // Program Change: on a rhythm channel the program selects a drum kit.
            const int program = eventBuf[1];
            if (Q_UNLIKELY(programObserver) && (status & 0xF0) == 0xC0)
                programObserver({filePos() - 1, status & 0x0F, program});
            if ((status & 0xF0) == 0xC0 && drumChannel[status & 0x0F] &&
                fixProgramChange(eventBuf)) {
                const Conversion conversion{filePos() - 1, status & 0x0F, program};
                if (outOfRangeEnd >= 0)
                    heldBack.push_back(conversion);
                else if (!rewriteProgramByte(conversion))
                    return TrackEnd::NotAccepted;
            }
        } else if (status == 0xF0) {
            if (!readSystemExclusive())
                return TrackEnd::NotAccepted;
        } else if (status == 0xFF) {
            bool endOfTrack = false;
            if (!skipMetaEvent(endOfTrack))
                return TrackEnd::NotAccepted;
            if (endOfTrack)
                return TrackEnd::EndOfTrack;
        } else {
            return TrackEnd::NotAccepted; // 0xF1..0xFE, the 0xF7 escape among them
        }
    }
}

// Walks the events that make up most of a song as readEventHead and scanTrack would, with
// fewer instructions: channel events with two data bytes (notes, controllers, pitch bends),
// with a status of their own or under running status and a delta time of one or two bytes,
// while the next one starts before fastEnd (such an event is at most 5 bytes long). Returns
// where the first other event starts (a meta, SysEx or Program Change event, a long delta
// time, or a damaged event), which the caller walks the general way: nothing is stored for it.
// Only the last event walked here is stored in eventBuf, as if each had been.
Q_ALWAYS_INLINE const char *ConversionEngine::walkTwoDataByteEvents(const char *at)
{
    // Bit n set: the statuses 0xn0..0xnF have two data bytes (8, 9, A, B and E).
    constexpr quint32 twoDataBytes = 0x4F00;
    // 0: no running status, which no event here can use.
    quint32 running = runningStatus == noRunningStatus ? 0 : quint32(runningStatus);
    // A running status checked once, not at every event that uses it: 0x80 while it is not
    // one with two data bytes (or there is none), which fails the data bytes' test below.
    quint32 unusableRunning = ((twoDataBytes >> (running >> 4)) & 1) ? 0 : 0x80;
    const char *const start = at;
    const char *const end = fastEnd;
    const char *eightBytesFrom = at; // where walking eight bytes at a time is tried next
    while (at < end) {
        if (at >= eightBytesFrom && !unusableRunning) {
            at = walkEightBytesAtATime(at, end, running, eightBytesFrom);
            if (at >= end)
                break;
        }
        const auto *bytes = reinterpret_cast<const quint8 *>(at);
        if (bytes[0] & 0x80) {
            if (bytes[1] & 0x80)
                break;
            bytes += 2;
        } else {
            bytes += 1;
        }
        quint32 status = running;
        quint32 unusableStatus = unusableRunning;
        if (bytes[0] & 0x80) {
            status = *bytes++;
            if (!((twoDataBytes >> (status >> 4)) & 1))
                break;
            unusableStatus = 0;
        }
        // Both data bytes at once: neither may have its top bit set.
        const quint32 data = qFromLittleEndian<quint16>(bytes);
        if ((data | unusableStatus) & 0x8080)
            break;
        running = status;
        unusableRunning = unusableStatus;
        at = reinterpret_cast<const char *>(bytes + 2);
    }
    if (at != start) {
        // Every event walked here ends with its two data bytes.
        eventBuf[0] = quint8(running);
        eventBuf[1] = quint8(at[-2]);
        eventBuf[2] = quint8(at[-1]);
    }
    if (running != 0)
        runningStatus = int(running);
    return at;
}

// Walks the same events as walkTwoDataByteEvents, eight bytes at a time, from `at` (an
// event's start, under a running status with two data bytes) while the eight bytes lie before
// `end`. Returns where the last whole event walked ends, with `running` the status it had; and
// sets `retryAt` past the eight bytes that held another event (or did not fit before `end`),
// which the caller walks one event at a time.
const char *ConversionEngine::walkEightBytesAtATime(const char *at, const char *end,
                                                    quint32 &running, const char *&retryAt)
{
    using namespace eightbytes;
    if (end - at < 8) {
        retryAt = end;
        return at;
    }
    const char *const last = end - 8; // the last place eight bytes start before `end`
    unsigned state = 8 * EventStart;  // the shift to the state's byte in a Step's fields
    // The last eight bytes that started with an event, and the last eight bytes before them
    // with a status byte and the state they started in: that byte is the running status there,
    // looked for once the walk stops (none: `running` is).
    const char *eventStart = at;
    const char *withStatus = nullptr;
    unsigned withStatusState = 0;
    const char *statusAt = nullptr; // at eventStart
    unsigned statusState = 0;
    // No choice below but the loop's own is a branch: which bytes are statuses follows the
    // song's bytes, which the processor cannot foresee.
    for (;;) {
        const bool startsEvent = state == 8 * EventStart;
        eventStart = startsEvent ? at : eventStart;
        statusAt = startsEvent ? withStatus : statusAt;
        statusState = startsEvent ? withStatusState : statusState;
        if (at > last)
            break;
        const quint64 bytes = eightBytesAt(at);
        const Step &step = steps[gatherTopBits(bytes)];
        const unsigned next = unsigned(step.next >> state) & 0xFF;
        const quint64 statuses = step.statusBytes[state / 8];
        // Among the status bytes, those without two data bytes (0xC0..0xDF, 0xF0..0xFF): bit 6
        // set, and bit 5 clear or bit 4 set (each moved up to bit 7).
        const quint64 otherStatuses = (bytes << 1) & (~(bytes << 2) | (bytes << 3));
        if ((next == 8 * Out) | ((statuses & otherStatuses) != 0))
            break;
        withStatus = statuses ? at : withStatus;
        withStatusState = statuses ? state : withStatusState;
        state = next;
        at += 8;
    }
    if (statusAt) {
        // The last status byte of those eight bytes.
        const quint64 bytes = eightBytesAt(statusAt);
        const quint64 statuses = steps[gatherTopBits(bytes)].statusBytes[statusState / 8];
        running = quint32(bytes >> (std::bit_width(statuses) - 8)) & 0xFF;
    }
    retryAt = at + 8;
    return eventStart;
}

// Reads an event's delta time and status, and the data bytes of a channel event into eventBuf.
// With `checked` false the caller has made sure that all of them are in the block.
template <bool checked>
Q_ALWAYS_INLINE bool ConversionEngine::readEventHead(const char *&at, quint8 &status)
{
    if (!readDeltaTime<checked>(at))
        return false;
    quint8 byte = 0;
    if (!readByte<checked>(at, byte))
        return false;

    status = byte;
    if (byte < 0x80) {
        // A data byte: the event repeats the last channel status (running status).
        if (runningStatus == noRunningStatus)
            return false;
        status = quint8(runningStatus);
        eventBuf[0] = status;
        eventBuf[1] = byte;
    } else if (byte < 0xF0) {
        eventBuf[0] = byte;
        if (!readDataByte<checked>(at, eventBuf[1]))
            return false;
        runningStatus = byte;
    } else {
        // System Exclusive and meta events neither set nor cancel the running status.
        eventBuf[0] = byte;
        return true;
    }
    // Note Off, Note On, Key Pressure, Control Change and Pitch Bend have a second data byte;
    // Program Change and Channel Pressure have only the one already read.
    const quint8 kind = status & 0xF0;
    return kind == 0xC0 || kind == 0xD0 || readDataByte<checked>(at, eventBuf[2]);
}

// Stores a System Exclusive message's data and hands it to the GS tracking. Byte i of L data
// bytes goes to index 2 + L/127 + i, so long messages are stored further in; what does not
// fit in the buffer is read past so that the walk stays aligned.
bool ConversionEngine::readSystemExclusive()
{
    qint32 length = 0;
    if (!readVarLen(length))
        return false;
    const qint64 first = 2 + (length > 0 ? length / 127 : 0);
    for (qint64 i = 0; i < length; ++i) {
        quint8 data = 0;
        if (!readByte(data))
            return false;
        if (first + i < qint64(eventBuf.size()))
            eventBuf[first + i] = data;
    }
    applyGsMessage(length);
    return true;
}

// A meta event: its type and data are read past; only End of Track matters to the walk.
bool ConversionEngine::skipMetaEvent(bool &endOfTrack)
{
    quint8 type = 0;
    qint32 length = 0;
    if (!readByte(type) || !readVarLen(length) || !skipBytes(length))
        return false;
    endOfTrack = type == 0x2F;
    return true;
}

// A data byte of a channel event has its top bit clear. One with the top bit set is taken as
// the event's data all the same, as some editors write such values, but it may as well mean
// that the file is damaged or the walk has lost its way (it would be a status byte then).
template <bool checked>
Q_ALWAYS_INLINE bool ConversionEngine::readDataByte(const char *&at, quint8 &byte)
{
    if (!readByte<checked>(at, byte))
        return false;
    if (Q_UNLIKELY(byte & 0x80))
        noteOutOfRangeData(at);
    return true;
}

// From the track's first out-of-range data byte on, its repairs are held back (scanTrack).
void ConversionEngine::noteOutOfRangeData(const char *after)
{
    if (outOfRangeEnd < 0)
        outOfRangeEnd = blockStart + (after - block.data());
}

// A track that holds out-of-range data has kept the walk aligned when a chunk or the song's
// end follows where it ended (`next`): a lost walk would hardly end exactly there. Then its
// held-back repairs are written; else the file fails at that first byte, and none is.
bool ConversionEngine::writeHeldBackRepairs(qint64 next)
{
    ChunkHeader chunk;
    if (!peekChunk(next, chunk) || (!chunk.found && next != songEnd))
        return false;
    outOfRangeEnd = -1;
    for (const Conversion &conversion : heldBack) {
        if (!rewriteProgramByte(conversion))
            return false;
    }
    heldBack.clear();
    return true;
}

// Every program byte is written here, and counted and listed once written. It goes straight
// to the file, past the block buffer (whose copy of it has already been walked); the next block
// read seeks back first (refillBlock), which most songs, held by one block, never need.
bool ConversionEngine::rewriteProgramByte(const Conversion &conversion)
{
    if (beforeRewrite && !beforeRewrite(conversion)) {
        rewriteRefused = true;
        return false;
    }
    if (!file->seek(conversion.offset) || !file->putChar(char(replacementKit)))
        return false;
    ++conversions;
    if (recordConversions)
        conversionList.push_back(conversion);
    return true;
}

// Reads the byte at `at` and moves past it. Checked, it first refills the block when `at` has
// reached its end.
template <bool checked>
Q_ALWAYS_INLINE bool ConversionEngine::readByte(const char *&at, quint8 &byte)
{
    if (checked && at >= blockEnd) { // >=: never past the block, even if a caller miscounts
        const bool refilled = refillBlock();
        at = cursor; // the next byte to read, or the end of the file
        if (!refilled)
            return false;
    }
    byte = quint8(*at++);
    return true;
}

bool ConversionEngine::readByte(quint8 &byte)
{
    return readByte<true>(cursor, byte);
}

bool ConversionEngine::readBytes(quint8 *bytes, std::size_t count)
{
    return std::all_of(bytes, bytes + count, [this](quint8 &byte) { return readByte(byte); });
}

// A variable-length quantity of any number of bytes, kept in 32 bits: the top bits of
// an overlong one are lost, and a result of zero or below means "no data".
bool ConversionEngine::readVarLen(qint32 &value)
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

// A delta time is at most five bytes long; its value does not matter to the repair.
template <bool checked> Q_ALWAYS_INLINE bool ConversionEngine::readDeltaTime(const char *&at)
{
    quint8 byte = 0;
    for (int i = 0; i < longestDeltaTime; ++i) {
        if (!readByte<checked>(at, byte))
            return false;
        if (!(byte & 0x80))
            return true;
    }
    return true;
}

bool ConversionEngine::skipBytes(qint64 count)
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
bool ConversionEngine::seekTo(qint64 offset)
{
    const qint64 inBlock = offset - blockStart;
    if (inBlock >= 0 && inBlock <= blockEnd - block.data()) {
        cursor = block.data() + inBlock;
        return true;
    }
    return restartAt(offset);
}

bool ConversionEngine::restartAt(qint64 offset)
{
    // A device just opened is at its start already: no seek (a system call) for that.
    if (offset < songStart || offset > songEnd || (file->pos() != offset && !file->seek(offset)))
        return false;
    blockStart = offset;
    cursor = blockEnd = block.data();
    placeLimits();
    return true;
}

// Reads the next block, never past the song's end (an RMID file's song ends inside it).
bool ConversionEngine::refillBlock()
{
    blockStart += blockEnd - block.data();
    const qint64 wanted = qMin(qint64(block.size()), songEnd - blockStart);
    // After a rewrite the file is where the program byte was written, not where the block ends.
    const bool placed = wanted > 0 && (file->pos() == blockStart || file->seek(blockStart));
    const qint64 length = placed ? file->read(block.data(), wanted) : 0;
    cursor = blockEnd = block.data();
    if (length > 0)
        blockEnd += length;
    placeLimits();
    return length > 0;
}

// Where the track's declared end is in the block, and how far the walk may read event starts
// unchecked (longestEventHead bytes before the block's end, and not past the declared end).
void ConversionEngine::placeLimits()
{
    const qint64 filled = blockEnd - block.data();
    const qint64 inBlock = trackEnd - blockStart;
    const bool held = trackEnd >= 0 && inBlock >= 0 && inBlock <= filled;
    trackEndInBlock = held ? block.data() + inBlock : nullptr;
    fastEnd = filled >= longestEventHead ? blockEnd - (longestEventHead - 1) : block.data();
    if (held && trackEndInBlock < fastEnd)
        fastEnd = trackEndInBlock;
}
