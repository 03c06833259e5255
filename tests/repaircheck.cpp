#include "repaircheck.h"

#include "conversionengine.h"
#include "drumkits.h"

#include <QBuffer>

#include <algorithm>
#include <optional>

namespace {

// A read cursor over the whole song: every read says whether the byte was there.
class Cursor
{
public:
    explicit Cursor(const QByteArray &bytes)
        : bytes(bytes)
    {
    }
    std::optional<quint8> next()
    {
        if (pos >= bytes.size())
            return std::nullopt;
        return quint8(bytes[pos++]);
    }
    bool skip(qint64 count)
    {
        if (count > bytes.size() - pos)
            return false;
        pos += count;
        return true;
    }
    qsizetype position() const { return pos; }

private:
    const QByteArray &bytes;
    qsizetype pos = 0;
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

// Walks one track, adding the offsets of its program bytes; false where the track ends.
bool walkTrack(Cursor &cursor, int &runningStatus, QList<qsizetype> &positions)
{
    if (!cursor.skip(8)) // "MTrk" and the length; the End of Track event ends the track
        return false;
    for (;;) {
        for (int i = 0; i < 5; ++i) { // the delta time: at most five bytes
            const auto byte = cursor.next();
            if (!byte)
                return false;
            if (!(*byte & 0x80))
                break;
        }
        const auto first = cursor.next();
        if (!first)
            return false;
        if (*first == 0xF0 || *first == 0xFF) {
            // System Exclusive (length, data) or meta (type, length, data)
            const auto type = *first == 0xFF ? cursor.next() : std::optional<quint8>(0);
            const auto length = type ? varLen(cursor) : std::nullopt;
            if (!length || !cursor.skip(std::max(qint32(*length), 0)))
                return false;
            if (*first == 0xFF && *type == 0x2F)
                return true; // End of Track
            continue;
        }
        if (*first > 0xF0)
            return false;

        // A channel event, with its own status or under the running status.
        const bool runningData = *first < 0x80;
        if (runningData && runningStatus < 0)
            return false;
        if (!runningData)
            runningStatus = *first;
        const bool programChange = (runningStatus & 0xF0) == 0xC0;
        const int dataCount = programChange || (runningStatus & 0xF0) == 0xD0 ? 1 : 2;
        if (runningData && programChange)
            positions.append(cursor.position() - 1);
        for (int i = runningData ? 1 : 0; i < dataCount; ++i) {
            const auto data = cursor.next();
            if (!data || *data >= 0x80)
                return false;
            if (programChange)
                positions.append(cursor.position() - 1);
        }
    }
}

bool acceptedKit(quint8 program)
{
    return std::any_of(std::begin(drumKitTable), std::end(drumKitTable),
                       [program](const DrumKitEntry &kit) { return kit.program == program; });
}

} // namespace

QList<qsizetype> programBytePositions(const QByteArray &song)
{
    QList<qsizetype> positions;
    if (song.size() < 14 || !song.startsWith("MThd"))
        return positions;
    const int tracks = quint8(song[10]) * 256 + quint8(song[11]);
    Cursor cursor(song);
    cursor.skip(14);
    int runningStatus = -1;
    for (int track = 0; track < tracks; ++track) {
        if (!walkTrack(cursor, runningStatus, positions))
            break;
    }
    return positions;
}

namespace {

struct Repair
{
    QByteArray bytes;
    ConversionEngine::FileResult result;
    int conversions;
};

// One run of the engine over a copy of the song in memory, reading blockSize bytes at a time.
Repair repair(const QByteArray &song, qsizetype blockSize = ConversionEngine::defaultBlockSize)
{
    Repair run{song, ConversionEngine::FileResult::NotOpened, 0};
    QBuffer device(&run.bytes);
    device.open(QIODevice::ReadWrite);
    ConversionEngine engine(blockSize);
    run.result = engine.walkFile(device);
    run.conversions = engine.totals().conversions;
    return run;
}

} // namespace

QString repairFaults(const QByteArray &song)
{
    const Repair first = repair(song);
    const QByteArray &repaired = first.bytes;
    if (repaired.size() != song.size())
        return QStringLiteral("the size went from %1 to %2").arg(song.size()).arg(repaired.size());

    const QList<qsizetype> programBytes = programBytePositions(song);
    int changed = 0;
    for (qsizetype i = 0; i < song.size(); ++i) {
        if (repaired[i] == song[i])
            continue;
        ++changed;
        if (!programBytes.contains(i))
            return QStringLiteral("byte %1 changed and is no program byte").arg(i);
        if (repaired[i] != 0 || acceptedKit(quint8(song[i])))
            return QStringLiteral("program byte %1 went from %2 to %3")
                .arg(i)
                .arg(quint8(song[i]))
                .arg(quint8(repaired[i]));
    }
    if (changed != first.conversions)
        return QStringLiteral("%1 bytes changed for %2 conversions")
            .arg(changed)
            .arg(first.conversions);

    const Repair second = repair(repaired);
    if (second.bytes != repaired || second.conversions != 0)
        return QStringLiteral("a second run changed the file again");
    if (second.result != first.result)
        return QStringLiteral("a second run ended differently");

    // Where the blocks of the file end must not matter: a few bytes at a time, the walk
    // repairs the same bytes and ends the same way.
    const qsizetype tinyBlock = 1 + song.size() % 7;
    const Repair tiny = repair(song, tinyBlock);
    if (tiny.bytes != repaired || tiny.result != first.result ||
        tiny.conversions != first.conversions)
        return QStringLiteral("with blocks of %1 bytes the repair differs").arg(tinyBlock);
    return {};
}
