#include "repaircheck.h"

#include "songbatch.h"

#include <QBuffer>

#include <algorithm>
#include <array>
#include <optional>

namespace {

// A read cursor over one song in memory, which ends at `end` (an RMID file's song ends inside
// the file): every read says whether the byte was there.
class Cursor
{
public:
    Cursor(const QByteArray &bytes, qsizetype pos, qsizetype end)
        : bytes(bytes)
        , pos(pos)
        , end(end)
    {
    }
    std::optional<quint8> next()
    {
        if (pos >= end)
            return std::nullopt;
        return quint8(bytes[pos++]);
    }
    bool skip(qint64 count)
    {
        if (count > end - pos)
            return false;
        pos += count;
        return true;
    }
    // The `count` bytes at the cursor, moved past.
    std::optional<QByteArray> take(qint64 count)
    {
        const qsizetype from = pos;
        if (!skip(count))
            return std::nullopt;
        return bytes.mid(from, count);
    }
    qsizetype position() const { return pos; }
    void moveTo(qsizetype offset) { pos = offset; }
    qsizetype songEnd() const { return end; }

    // Eight bytes before the song ends, the first four printable ASCII: a tag and a length.
    bool chunkAt(qsizetype offset) const
    {
        if (offset < 0 || end - offset < 8)
            return false;
        for (qsizetype i = offset; i < offset + 4; ++i) {
            if (bytes[i] < 0x20 || bytes[i] > 0x7E)
                return false;
        }
        return true;
    }
    bool trackAt(qsizetype offset) const
    {
        return chunkAt(offset) && bytes.mid(offset, 4) == "MTrk";
    }
    // Whether a track starts at `offset`, or the song ends there, once chunks of other kinds
    // that fit in the song are read past.
    bool trackOrEndBehindChunks(qint64 offset) const
    {
        while (offset != end && chunkAt(offset) && !trackAt(offset)) {
            const qint64 next = offset + 8 + qint64(lengthAt(offset));
            if (next > end)
                return false;
            offset = next;
        }
        return offset == end || trackAt(offset);
    }
    quint32 lengthAt(qsizetype offset) const
    {
        quint32 value = 0;
        for (qsizetype i = offset + 4; i < offset + 8; ++i)
            value = value << 8 | quint8(bytes[i]);
        return value;
    }

private:
    const QByteArray &bytes;
    qsizetype pos;
    qsizetype end;
};

std::optional<quint32> varLen(Cursor &cursor)
{
    quint32 value = 0;
    for (;;) {
        const auto byte = cursor.next();
        if (!byte)
            return std::nullopt;
        value = (value << 7) | (*byte & 0x7F);
        if (!(*byte & 0x80))
            return value;
    }
}

// The standard kits, which a repair leaves alone.
bool standardKit(quint8 program)
{
    constexpr std::array<quint8, 26> kits = {0,  1,  2,  3,  4,  5,  6,  7,  8,  16, 24, 25, 26,
                                             27, 28, 29, 30, 32, 33, 40, 48, 49, 50, 53, 56, 127};
    return std::find(kits.begin(), kits.end(), program) != kits.end();
}

// The rhythm channels of a song: channel 10, and those of the GS parts that its System
// Exclusive messages (41 dd 42 12 40 1p aa vv ..., dd 10 or 00) switch to rhythm use, once the
// part's receive channel (address 02) is set, or its own until then.
struct Rhythm
{
    std::array<int, 16> partChannel{9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12, 13, 14, 15};
    std::array<bool, 16> channel{false, false, false, false, false, false, false, false,
                                 false, true,  false, false, false, false, false, false};

    void message(const QByteArray &data)
    {
        // Messages of 127 bytes or more are not looked at, nor ones too short for a value.
        if (data.size() < 8 || data.size() > 126 || quint8(data[0]) != 0x41 ||
            (data[1] != 0x10 && data[1] != 0x00) || data[2] != 0x42 || data[3] != 0x12 ||
            data[4] != 0x40 || (quint8(data[5]) & 0xF0) != 0x10)
            return;
        const int part = data[5] & 0x0F;
        const quint8 value = quint8(data[7]);
        if (data[6] == 0x02)
            partChannel[part] = value < 16 ? value : -1;
        else if (data[6] == 0x15 && value != 0 && partChannel[part] >= 0)
            channel[partChannel[part]] = true;
    }
};

enum class TrackEnd { Broken, EndOfTrack, DeclaredEnd };

// The offsets of one track's program bytes to repair: before its first data byte with the top
// bit set, and from that byte on (written only if the track proves the walk kept its alignment).
struct TrackPrograms
{
    QList<qsizetype> beforeOutOfRange;
    QList<qsizetype> fromOutOfRange;
    bool outOfRange = false;
};

// Walks the events of one track from the cursor, adding the offsets of its program bytes. A
// track without End of Track ends at its declared end when a track starts there or the song
// ends there, behind any chunks of other kinds.
TrackEnd walkEvents(Cursor &cursor, qsizetype declaredEnd, Rhythm &rhythm, TrackPrograms &programs)
{
    int runningStatus = -1; // each track starts without one
    for (;;) {
        const qsizetype here = cursor.position();
        if (here == declaredEnd && cursor.trackOrEndBehindChunks(here))
            return TrackEnd::DeclaredEnd;
        for (int i = 0; i < 5; ++i) { // the delta time: at most five bytes
            const auto byte = cursor.next();
            if (!byte)
                return TrackEnd::Broken;
            if (!(*byte & 0x80))
                break;
        }
        const auto first = cursor.next();
        if (!first)
            return TrackEnd::Broken;
        if (*first == 0xF0 || *first == 0xFF) {
            // System Exclusive (length, data) or meta (type, length, data)
            const auto type = *first == 0xFF ? cursor.next() : std::optional<quint8>(0);
            const auto length = type ? varLen(cursor) : std::nullopt;
            const auto data = length ? cursor.take(std::max(qint32(*length), 0)) : std::nullopt;
            if (!data)
                return TrackEnd::Broken;
            if (*first == 0xF0)
                rhythm.message(*data);
            if (*first == 0xFF && *type == 0x2F)
                return TrackEnd::EndOfTrack;
            continue;
        }
        if (*first > 0xF0)
            return TrackEnd::Broken;

        // A channel event, with its own status or under the running status.
        const bool runningData = *first < 0x80;
        if (runningData && runningStatus < 0)
            return TrackEnd::Broken;
        if (!runningData)
            runningStatus = *first;
        const bool programChange = (runningStatus & 0xF0) == 0xC0;
        const int dataCount = programChange || (runningStatus & 0xF0) == 0xD0 ? 1 : 2;
        for (int i = 0; i < dataCount; ++i) {
            const auto data = i == 0 && runningData ? first : cursor.next();
            if (!data)
                return TrackEnd::Broken;
            programs.outOfRange = programs.outOfRange || *data >= 0x80;
            if (programChange && rhythm.channel[runningStatus & 0x0F] && !standardKit(*data))
                (programs.outOfRange ? programs.fromOutOfRange : programs.beforeOutOfRange)
                    .append(cursor.position() - 1);
        }
    }
}

// From the cursor, reads past chunks that are not tracks up to the next MTrk chunk and its
// events; false where the file fails. A track with an out-of-range data byte must end with a
// chunk or the song's end right after it.
bool walkTrack(Cursor &cursor, Rhythm &rhythm, QList<qsizetype> &positions)
{
    qsizetype start = cursor.position();
    while (cursor.chunkAt(start) && !cursor.trackAt(start)) {
        const qint64 end = start + 8 + qint64(cursor.lengthAt(start));
        if (end > cursor.songEnd())
            return false;
        start = end;
    }
    if (!cursor.trackAt(start))
        return false;
    const qint64 declaredEnd = start + 8 + qint64(cursor.lengthAt(start));
    cursor.moveTo(start + 8);
    TrackPrograms programs;
    const TrackEnd end = walkEvents(cursor, declaredEnd, rhythm, programs);
    positions += programs.beforeOutOfRange;
    if (end == TrackEnd::Broken)
        return false;
    // Stray bytes after End of Track: on at the declared end when a chunk or the song's end
    // is there.
    const qsizetype after = cursor.position();
    if (end == TrackEnd::EndOfTrack && !cursor.chunkAt(after) && declaredEnd > after &&
        (declaredEnd == cursor.songEnd() || cursor.chunkAt(declaredEnd)))
        cursor.moveTo(declaredEnd);
    if (!programs.outOfRange)
        return true;
    const qsizetype next = cursor.position();
    if (next != cursor.songEnd() && !cursor.chunkAt(next))
        return false;
    positions += programs.fromOutOfRange;
    return true;
}

quint32 littleEndian32(const QByteArray &bytes, qsizetype at)
{
    return quint8(bytes[at]) | quint8(bytes[at + 1]) << 8 | quint8(bytes[at + 2]) << 16 |
           quint32(quint8(bytes[at + 3])) << 24;
}

} // namespace

SongWalk walkSong(const QByteArray &file)
{
    SongWalk walk;
    qsizetype start = 0;
    qsizetype end = file.size();
    // RMID: the song is the first "data" chunk of a RIFF file of that form.
    if (file.startsWith("RIFF") && file.mid(8, 4) == "RMID") {
        qint64 at = 12;
        while (at + 8 <= file.size() && file.mid(at, 4) != "data") {
            const quint32 size = littleEndian32(file, at + 4);
            at += 8 + qint64(size) + (size & 1);
        }
        if (at + 8 > file.size())
            return walk; // no "data": fails
        start = at + 8;
        end =
            qsizetype(std::min<qint64>(file.size(), start + qint64(littleEndian32(file, at + 4))));
    } else if (file.isEmpty()) {
        walk.walks = true;
        return walk;
    }
    if (file.mid(start, std::min<qsizetype>(4, end - start)) != "MThd")
        return walk;
    // Header bytes past the song's end read as 0.
    const auto headerByte = [&](qsizetype i) {
        return i < end - start ? quint8(file[start + i]) : quint8(0);
    };
    const int tracks = headerByte(10) * 256 + headerByte(11);

    Cursor cursor(file, start, end);
    // The first chunk: at 14 when MTrk is there, else where the header's length puts it when a
    // chunk is there, else at 14.
    qint64 first = start + 14;
    const quint32 headerLength =
        quint32(headerByte(4)) << 24 | headerByte(5) << 16 | headerByte(6) << 8 | headerByte(7);
    const qint64 declared = start + 8 + qint64(headerLength);
    if (!cursor.trackAt(first) && cursor.chunkAt(declared))
        first = declared;
    if (tracks > 0 && first > end)
        return walk;
    cursor.moveTo(std::min<qint64>(first, end));
    Rhythm rhythm;
    for (int track = 0; track < tracks; ++track) {
        if (!walkTrack(cursor, rhythm, walk.repairBytes))
            return walk;
    }
    walk.walks = true;
    return walk;
}

namespace {

struct RepairRun
{
    QByteArray bytes;
    SongBatch::Outcome outcome;
};

// One run of the batch's repair over a copy of the song in memory, reading blockSize bytes at
// a time.
RepairRun repair(const QByteArray &song, qsizetype blockSize = SongReader::defaultBlockSize)
{
    RepairRun run{song, {}};
    QBuffer device(&run.bytes);
    device.open(QIODevice::ReadWrite);
    SongBatch::SongWork work;
    work.listConversions = true;
    work.blockSize = blockSize;
    run.outcome = SongBatch::repairSong(device, run.bytes.size(), work);
    return run;
}

} // namespace

QString repairFaults(const QByteArray &song)
{
    const RepairRun first = repair(song);
    const QByteArray &repaired = first.bytes;
    if (repaired.size() != song.size())
        return QStringLiteral("the size went from %1 to %2").arg(song.size()).arg(repaired.size());

    // Exactly the bytes the check's own walk finds are changed, each to kit 0.
    const SongWalk walk = walkSong(song);
    int changed = 0;
    for (qsizetype i = 0; i < song.size(); ++i) {
        const bool expected = walk.repairBytes.contains(i);
        if (repaired[i] == song[i] && !expected)
            continue;
        if (repaired[i] == song[i])
            return QStringLiteral("program byte %1 (kit %2) is not repaired")
                .arg(i)
                .arg(quint8(song[i]));
        ++changed;
        if (!expected)
            return QStringLiteral("byte %1 changed and is no program byte a repair must write")
                .arg(i);
        if (repaired[i] != 0)
            return QStringLiteral("program byte %1 went from %2 to %3")
                .arg(i)
                .arg(quint8(song[i]))
                .arg(quint8(repaired[i]));
    }
    const auto expected = walk.walks ? SongBatch::Result::Walked : SongBatch::Result::Failed;
    if (first.outcome.result != expected)
        return QStringLiteral("the repair's walk %1, the check's %2")
            .arg(first.outcome.result == SongBatch::Result::Walked ? "ends" : "fails")
            .arg(walk.walks ? "ends" : "fails");
    if (changed != first.outcome.conversions)
        return QStringLiteral("%1 bytes changed for %2 conversions")
            .arg(changed)
            .arg(first.outcome.conversions);

    const RepairRun second = repair(repaired);
    if (second.bytes != repaired || second.outcome.conversions != 0)
        return QStringLiteral("a second run changed the file again");
    if (second.outcome.result != first.outcome.result)
        return QStringLiteral("a second run ended differently");

    // Where the blocks of the file end must not matter: a few bytes at a time, and blocks that
    // end inside and across the eight bytes that the walk reads at once, the walk repairs the
    // same bytes, lists the same conversions and stops at the same place.
    for (const qsizetype blockSize : {1 + song.size() % 7, 8 + song.size() % 57}) {
        const RepairRun other = repair(song, blockSize);
        if (other.bytes != repaired || other.outcome.result != first.outcome.result ||
            other.outcome.conversions != first.outcome.conversions ||
            other.outcome.conversionList != first.outcome.conversionList)
            return QStringLiteral("with blocks of %1 bytes the repair differs").arg(blockSize);
        if (other.outcome.stopOffset != first.outcome.stopOffset)
            return QStringLiteral("with blocks of %1 bytes the walk stops at %2, not %3")
                .arg(blockSize)
                .arg(other.outcome.stopOffset)
                .arg(first.outcome.stopOffset);
    }
    return {};
}
