#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <functional>
#include <vector>

class QFile;
class QIODevice;

// Repairs the drum kits of Standard MIDI Files in place.
//
// A file is walked once, track by track and event by event, while the engine follows which
// MIDI channels carry drums: channel 10 always, and those that the song's GS messages make
// rhythm parts (gsrhythm.cpp). A Program Change on such a channel selects a drum kit; one
// whose kit is not in drumKitTable (drumkits.h) is rewritten to kit 0.
//
// Songs are taken as they are found: an RMID file (a RIFF file) holds its song in a "data"
// chunk, chunks of other kinds (vendor and karaoke data) sit among the tracks, and a track's
// chunk length and its End of Track event can disagree. Where they do, the walk trusts End of
// Track, and the length only where the bytes there show it to be right (scanFile, scanTrack).
//
// Every byte read comes from a fixed block buffer refilled from the file, so memory does not
// grow with the file; a rewrite goes straight to the file at the offset of the byte just
// read. A file that ends early, or holds an event the walk does not accept, fails: the walk
// stops there and nothing more is written to it.
//
// Some editors write out-of-range values into channel events: a data byte with its top bit
// set (a program 0xFF, a velocity 0x81). Such a byte is taken as the event's data, but the
// walk may as well have lost its way there, so the track's repairs from that byte on are held
// back until the track ends with a chunk or the song's end right after it; if it does not,
// the file fails at that byte and the held-back repairs are never written.
class ConversionEngine
{
public:
    enum class FileResult {
        NotOpened, // missing, or not openable for reading and writing: skipped, not counted
        Walked,    // every declared track was walked to its end
        Failed,    // counted, but a track (or the header) was not accepted
        // Counted; the walk stopped before a repair that could not be recorded beforehand
        // (setBeforeRewrite): the file holds the repairs recorded so far.
        NotRecorded,
    };

    // What a batch adds up from the files' walks (SongBatch).
    struct Totals
    {
        int filesFound = 0;
        int conversions = 0;
    };

    // One rewritten Program Change: where its program byte is in the file, on which channel
    // (0..15) it was, and the kit it selected before it became 0.
    struct Conversion
    {
        qint64 offset = 0;
        int channel = 0;
        int formerKit = 0;
        friend bool operator==(const Conversion &, const Conversion &) = default;
    };

    static constexpr qsizetype defaultBlockSize = 64 * 1024;
    // blockSize: how many bytes of the file are read at a time. Any size walks the same way;
    // the tests use tiny ones to put block boundaries everywhere.
    explicit ConversionEngine(qsizetype blockSize = defaultBlockSize);

    // Opens an existing file for reading and writing and walks it; never creates a file.
    FileResult processFile(const QString &path);
    // Opens a song as processFile does; false, with the file's error, when it cannot.
    static bool openForRepair(QFile &file);
    // Walks a device that is already open for reading and writing, from its start.
    FileResult walkFile(QIODevice &file);
    // The same, for a caller that already knows the file's size (from the system, as it
    // identified the open file): one question to the system fewer per song.
    FileResult walkFile(QIODevice &file, qint64 size);

    // When on, each walk lists its conversions (off by default: a batch that only counts them
    // keeps no list, however many there are).
    void setRecordConversions(bool on) { recordConversions = on; }
    // Called before each program byte is written, with the repair about to be made; when it
    // returns false the byte is left as it is and the walk stops (FileResult::NotRecorded).
    // This is how a journal records each repair before it is made.
    void setBeforeRewrite(std::function<bool(const Conversion &)> hook)
    {
        beforeRewrite = std::move(hook);
    }
    // Called for every Program Change the walk meets, on any channel, with the offset of its
    // program byte in the file (`formerKit` holds the program as the walk read it).
    void setProgramObserver(std::function<void(const Conversion &)> observer)
    {
        programObserver = std::move(observer);
    }
    // How many program bytes the last walk rewrote.
    int fileConversionCount() const { return conversions; }
    // The conversions of the last file walked, in file order; offsets are in the whole file
    // (in an RMID file too).
    const std::vector<Conversion> &fileConversions() const { return conversionList; }
    // After a walk that failed: how many bytes of the file the walk had read when it stopped
    // (in a track that did not prove an out-of-range data byte, just past that byte).
    qint64 stopOffset() const { return outOfRangeEnd >= 0 ? outOfRangeEnd : filePos(); }

    // The bytes of the current (after a walk: the last) event, as the walk stored them.
    const std::array<quint8, 256> &eventBuffer() const { return eventBuf; }

    // The per-file error message and the batch summary; plain texts, never translated.
    static QString errorMessage(const QString &path);
    static QString summaryMessage(Totals totals);

private:
    // How a track ended: at its End of Track event, or (without one) at its chunk's end.
    enum class TrackEnd { NotAccepted, EndOfTrack, ChunkEnd };
    // What the eight bytes at an offset say about a chunk there.
    struct ChunkHeader
    {
        bool found = false; // eight bytes before the song ends, the tag printable ASCII
        bool isTrack = false;
        quint32 length = 0;
    };

    FileResult scanFile();
    bool findRmidSong();
    bool findFirstChunk(qint64 &offset);
    bool findTrack();
    TrackEnd scanTrack();
    bool trackEndsAtChunkEnd(bool &ends);
    bool chunkAfterEndOfTrack(qint64 &next);
    bool peekChunk(qint64 offset, ChunkHeader &chunk);
    static ChunkHeader chunkHeader(const quint8 *bytes);
    bool readSystemExclusive();
    bool skipMetaEvent(bool &endOfTrack);
    bool bufferStartsWith(const char (&tag)[5]) const;
    void noteOutOfRangeData(const char *after);
    bool writeHeldBackRepairs(qint64 next);
    bool rewriteProgramByte(const Conversion &conversion);
    void applyGsMessage(qint32 dataLength);
    static std::array<int, 16> defaultPartChannels();

    // The readers that take `at` read from and move that position instead of `cursor`;
    // unchecked (`checked` false), they leave out the look for the end of the block.
    const char *walkTwoDataByteEvents(const char *at);
    static const char *walkEightBytesAtATime(const char *at, const char *end, quint32 &running,
                                             const char *&retryAt);
    template <bool checked> bool readEventHead(const char *&at, quint8 &status);
    bool readByte(quint8 &byte);
    bool readBytes(quint8 *bytes, std::size_t count);
    template <bool checked> bool readByte(const char *&at, quint8 &byte);
    template <bool checked> bool readDataByte(const char *&at, quint8 &byte);
    bool readVarLen(qint32 &value);
    template <bool checked> bool readDeltaTime(const char *&at);
    bool skipBytes(qint64 count);
    bool seekTo(qint64 offset);
    bool restartAt(qint64 offset);
    bool refillBlock();
    void placeLimits();
    qint64 filePos() const { return blockStart + (cursor - block.data()); }

    int conversions = 0; // in the current (after a walk: the last) file
    std::array<quint8, 256> eventBuf{};
    std::array<int, 16> drumChannel{};
    // The channel each GS part receives on, by the part's address nibble; noChannel for "off".
    std::array<int, 16> partChannel{};
    static constexpr int noChannel = -1;
    // Low byte: the last channel status byte seen in the current track; -1 while there is none.
    int runningStatus = -1;

    bool recordConversions = false;
    std::function<bool(const Conversion &)> beforeRewrite;
    bool rewriteRefused = false; // by beforeRewrite, in the current walk
    std::function<void(const Conversion &)> programObserver;
    std::vector<Conversion> conversionList;
    // Just past the current track's first data byte with its top bit set; -1 while there is
    // none. From that byte on, the track's repairs wait in heldBack for the track's end.
    qint64 outOfRangeEnd = -1;
    std::vector<Conversion> heldBack;

    QIODevice *file = nullptr;
    // The song within the file: all of it, or an RMID file's "data" chunk. Reads stop at its end.
    qint64 songStart = 0;
    qint64 songEnd = 0;
    // The end the current track's chunk length declares, and where that is in the block while
    // the block holds it (else null), so that the walk can see it at a glance between events.
    qint64 trackEnd = -1;
    const char *trackEndInBlock = nullptr;
    const char *fastEnd = nullptr; // see placeLimits
    std::vector<char> block;
    qint64 blockStart = 0;          // file offset of block[0]
    const char *cursor = nullptr;   // the next byte to walk
    const char *blockEnd = nullptr; // past the last byte read into the block
};
