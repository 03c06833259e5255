#include "conversionengine.h"
#include "drumkits.h"

#include <QFile>

#include <algorithm>

namespace {
constexpr int headerSize = 14;     // "MThd", length 6, format, track count, division
constexpr int chunkHeaderSize = 8; // tag and length
constexpr int noRunningStatus = -1;
constexpr int rhythmChannel10 = 9;  // MIDI channel 10, counted from 0
constexpr int longestDeltaTime = 5; // bytes; the value does not matter to the repair
// The longest delta time, a status and two data bytes.
constexpr qint64 longestEventHead = longestDeltaTime + 3;
} // namespace

ConversionEngine::ConversionEngine(qsizetype blockSize)
    : block(std::size_t(qMax(blockSize, qsizetype(1))))
{
}

void ConversionEngine::startBatch()
{
    filesFound = 0;
    conversions = 0;
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
    // ExistingOnly: a path that has gone away must not come back as an empty file.
    if (!midiFile.open(QIODevice::ReadWrite | QIODevice::ExistingOnly | QIODevice::Unbuffered))
        return FileResult::NotOpened;
    return walkFile(midiFile);
}

ConversionEngine::FileResult ConversionEngine::walkFile(QIODevice &device)
{
    ++filesFound;
    file = &device;
    blockStart = 0;
    cursor = blockEnd = block.data();
    conversionList.clear();
    const FileResult result = file->seek(0) ? scanFile() : FileResult::Failed;
    stoppedAt = result == FileResult::Failed ? filePos() : 0;
    file = nullptr;
    return result;
}

ConversionEngine::FileResult ConversionEngine::scanFile()
{
    eventBuf.fill(0);
    int headerRead = 0;
    while (headerRead < headerSize && readByte(eventBuf[headerRead]))
        ++headerRead;
    if (headerRead == 0)
        return FileResult::Walked; // an empty file has nothing to repair
    // Only the tag is checked: the header length is taken to be 6 (the first track follows
    // at offset 14), and the format and the division do not matter to the repair.
    if (headerRead < 4 || !bufferStartsWith("MThd"))
        return FileResult::Failed;
    const int trackCount = eventBuf[10] * 256 + eventBuf[11];

    partChannel = defaultPartChannels();
    drumChannel.fill(0);
    drumChannel[rhythmChannel10] = 1;
    runningStatus = noRunningStatus;

    for (int track = 0; track < trackCount; ++track) {
        if (!scanTrack())
            return FileResult::Failed;
    }
    return FileResult::Walked;
}

bool ConversionEngine::bufferStartsWith(const char (&tag)[5]) const
{
    return std::equal(tag, tag + 4, eventBuf.begin());
}

// Walks one MTrk chunk up to its End of Track meta event. The chunk length is not used:
// the events themselves say where the track ends. Returns false for a track the walk does
// not accept, including one that runs past the end of the file.
bool ConversionEngine::scanTrack()
{
    for (int i = 0; i < chunkHeaderSize; ++i) {
        if (!readByte(eventBuf[i]))
            return false;
    }
    if (!bufferStartsWith("MTrk"))
        return false;

    for (;;) {
        // The event's first bytes are read through a local copy of the cursor, which the
        // compiler can keep in a register; when they are surely all in the block, without
        // looking for its end at each byte. Most of a song is short channel events.
        const char *at = cursor;
        quint8 status = 0;
        const bool headRead = blockEnd - at >= longestEventHead ? readEventHead<false>(at, status)
                                                                : readEventHead<true>(at, status);
        if (!headRead)
            return false;
        cursor = at;

        if (status < 0xF0) {
            // Program Change: on a rhythm channel the program selects a drum kit.
            const int program = eventBuf[1];
            if ((status & 0xF0) == 0xC0 && drumChannel[status & 0x0F] &&
                fixProgramChange(eventBuf)) {
                if (!rewriteProgramByte())
                    return false;
                ++conversions;
                if (recordConversions)
                    conversionList.push_back({filePos() - 1, status & 0x0F, program});
            }
        } else if (status == 0xF0) {
            if (!readSystemExclusive())
                return false;
        } else if (status == 0xFF) {
            bool endOfTrack = false;
            if (!skipMetaEvent(endOfTrack))
                return false;
            if (endOfTrack)
                return true;
        } else {
            return false; // 0xF1..0xFE, the 0xF7 escape among them
        }
    }
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

// A data byte of a channel event has its top bit clear. One with the top bit set is a status
// byte: the file is damaged or the walk has lost its way, and going on would take later bytes
// for programs that are not.
template <bool checked>
Q_ALWAYS_INLINE bool ConversionEngine::readDataByte(const char *&at, quint8 &byte)
{
    return readByte<checked>(at, byte) && byte < 0x80;
}

// The program byte is the byte just read. It is written straight to the file, past the block
// buffer (whose copy of it has already been walked); then the file is put back where the next
// block starts.
bool ConversionEngine::rewriteProgramByte()
{
    const qint64 nextBlock = blockStart + (blockEnd - block.data());
    const bool written = file->seek(filePos() - 1) && file->putChar(char(eventBuf[1]));
    return file->seek(nextBlock) && written;
}

// Reads the byte at `at` and moves past it. Checked, it first refills the block when `at` has
// reached its end.
template <bool checked>
Q_ALWAYS_INLINE bool ConversionEngine::readByte(const char *&at, quint8 &byte)
{
    if (checked && at >= blockEnd) { // >=: never past the block, even if a caller miscounts
        if (!refillBlock())
            return false;
        at = cursor;
    }
    byte = quint8(*at++);
    return true;
}

bool ConversionEngine::readByte(quint8 &byte)
{
    return readByte<true>(cursor, byte);
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

bool ConversionEngine::refillBlock()
{
    blockStart += blockEnd - block.data();
    const qint64 length = file->read(block.data(), qint64(block.size()));
    cursor = blockEnd = block.data();
    if (length <= 0)
        return false;
    blockEnd += length;
    return true;
}
