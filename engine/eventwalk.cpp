// The events of a track: delta times, running status, channel events, System Exclusive and
// meta events, walked from the block buffer with as few instructions as the bytes allow.
#include "songreader.h"

#include <QtEndian>

#include <bit>
#include <cstring>

namespace {
constexpr int noRunningStatus = -1;
constexpr int longestDeltaTime = 5; // bytes; the value does not matter to the repair

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

// Walks one MTrk chunk up to its next Program Change or System Exclusive message, which it
// leaves in eventBuf, its End of Track meta event, or the chunk's end where that is where the
// next track starts (trackEndsAtChunkEnd). Nothing else is kept in the loop's registers: the
// caller makes the event.
SongReader::TrackEnd SongReader::walkToEvent()
{
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
            if ((status & 0xF0) == 0xC0 && (programChannels >> (status & 0x0F)) & 1)
                return TrackEnd::ProgramChange;
        } else if (status == 0xF0) {
            return readSystemExclusive(systemExclusiveLength) ? TrackEnd::SystemExclusive
                                                              : TrackEnd::NotAccepted;
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
Q_ALWAYS_INLINE const char *SongReader::walkTwoDataByteEvents(const char *at)
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
const char *SongReader::walkEightBytesAtATime(const char *at, const char *end, quint32 &running,
                                              const char *&retryAt)
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
Q_ALWAYS_INLINE bool SongReader::readEventHead(const char *&at, quint8 &status)
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

// Stores a System Exclusive message's data, for the GS tracking. Byte i of L data bytes goes
// to index 2 + L/127 + i, so long messages are stored further in; what does not fit in the
// buffer is read past so that the walk stays aligned.
bool SongReader::readSystemExclusive(qint32 &length)
{
    length = 0;
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
    return true;
}

// A meta event: its type and data are read past; only End of Track matters to the walk.
bool SongReader::skipMetaEvent(bool &endOfTrack)
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
template <bool checked> Q_ALWAYS_INLINE bool SongReader::readDataByte(const char *&at, quint8 &byte)
{
    if (!readByte<checked>(at, byte))
        return false;
    if (Q_UNLIKELY(byte & 0x80))
        noteOutOfRangeData(at);
    return true;
}

// From the track's first out-of-range data byte on, its Program Changes come held.
void SongReader::noteOutOfRangeData(const char *after)
{
    if (outOfRangeEnd < 0)
        outOfRangeEnd = blockStart + (after - block.get());
}

// Reads the byte at `at` and moves past it. Checked, it first refills the block when `at` has
// reached its end.
template <bool checked> Q_ALWAYS_INLINE bool SongReader::readByte(const char *&at, quint8 &byte)
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

// A delta time is at most five bytes long; its value does not matter to the repair.
template <bool checked> Q_ALWAYS_INLINE bool SongReader::readDeltaTime(const char *&at)
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

bool SongReader::readByte(quint8 &byte)
{
    return readByte<true>(cursor, byte);
}
