#pragma once

#include <QtGlobal>

#include <array>
#include <map>
#include <memory>

class QIODevice;

// Reads a Standard MIDI File and yields, in file order, the events that the drum-kit repair
// cares about: Program Changes (with the offset of their program byte in the file), System
// Exclusive messages, and the end of each track that held out-of-range data (below). It never
// writes: finding what to change is this reader's job (with RepairFinder on top), changing it
// is SongBatch's.
//
// Songs are taken as they are found: an RMID file (a RIFF file) holds its song in a "data"
// chunk, chunks of other kinds (vendor and karaoke data) sit among the tracks, and a track's
// chunk length and its End of Track event can disagree. Where they do, the walk trusts End of
// Track, and the length only where the bytes there show it to be right (chunks.cpp).
//
// Every byte comes from a fixed block buffer refilled from the device, so memory does not grow
// with the file. The device may be written between two calls of next() (SongBatch writes the
// repairs found so far): the reader seeks back to where it reads whenever the device has moved.
// A song that ends early, or holds an event the walk does not accept, fails: next() then
// returns false, and stopOffset() says how far the walk had read.
//
// Some editors write out-of-range values into channel events: a data byte with its top bit
// set (a program 0xFF, a velocity 0x81). Such a byte is taken as the event's data, but the walk
// may as well have lost its way there. So the Program Changes of a track from that byte on come
// marked `held`: they hold only once the track has ended with a chunk or the song's end right
// after it (its HeldProven event); if it does not, the song fails at that byte.
class SongReader
{
public:
    static constexpr qsizetype defaultBlockSize = 64 * 1024;

    // Bytes at offsets of the file to read instead of the file's own: in a dry run, what an
    // earlier walk of the same file would have written.
    using Overlay = std::map<qint64, quint8>;

    struct Event
    {
        enum class Kind {
            ProgramChange,   // `offset`, `channel` and `program`
            SystemExclusive, // `length` data bytes, stored in eventBuffer() (readSystemExclusive)
            HeldProven,      // a track that held out-of-range data has ended and proved it
        };
        Kind kind = Kind::HeldProven;
        qint64 offset = 0; // of the program byte, in the whole file (in an RMID file too)
        int channel = 0;   // 0..15
        quint8 program = 0;
        bool held = false; // after an out-of-range data byte of its track: see the class comment
        qint32 length = 0;
    };

    // blockSize: how many bytes of the file are read at a time. Any size walks the same way;
    // the tests use tiny ones to put block boundaries everywhere.
    SongReader(QIODevice &song, qint64 size, qsizetype blockSize = defaultBlockSize,
               const Overlay *overlay = nullptr);
    SongReader(const SongReader &) = delete;
    SongReader &operator=(const SongReader &) = delete;
    ~SongReader();

    // The next event; false once the walk has ended, walked to its end or failed.
    bool next(Event &event);
    // The channels whose Program Changes are yielded, a bit for each (bit 9: channel 10); all
    // until set. The others are walked past without a word, as notes are: the finder asks only
    // for the rhythm channels, and most of a song's Program Changes are on others.
    void setProgramChannels(quint16 channels) { programChannels = channels; }
    // After next() has returned false: whether every declared track was walked to its end.
    bool walked() const { return stage == Stage::Walked; }
    // After a walk that failed: how many bytes of the file it had read when it stopped (in a
    // track that did not prove an out-of-range data byte, just past that byte).
    qint64 stopOffset() const { return stoppedAt; }

    // The bytes of the current (after a walk: the last) event, as the walk stored them: the
    // effective status at index 0, a channel event's data from index 1, a System Exclusive
    // message's data from index 2 + length/127. A meta event stores only its status; the
    // buffer starts each song with zeros and the song's header, and each track with its chunk
    // header in indices 0..7.
    const std::array<quint8, 256> &eventBuffer() const { return eventBuf; }

private:
    enum class Stage { Start, NextTrack, InTrack, Walked, Failed };
    // Where the walk of a track stopped: at an event to yield, or at the track's end (its End
    // of Track event, or without one its chunk's end), or at bytes it does not accept.
    enum class TrackEnd { NotAccepted, EndOfTrack, ChunkEnd, ProgramChange, SystemExclusive };
    // What the eight bytes at an offset say about a chunk there.
    struct ChunkHeader
    {
        bool found = false; // eight bytes before the song ends, the tag printable ASCII
        bool isTrack = false;
        quint32 length = 0;
    };

    bool fail();
    bool startSong();
    bool endTrack(TrackEnd end);

    // The chunks (chunks.cpp).
    bool findRmidSong();
    bool findFirstChunk(qint64 &offset);
    bool findTrack();
    bool trackEndsAtChunkEnd(bool &ends);
    bool chunkAfterEndOfTrack(qint64 &next);
    bool heldDataProven(qint64 next);
    bool peekChunk(qint64 offset, ChunkHeader &chunk);
    static ChunkHeader chunkHeader(const quint8 *bytes);
    bool bufferStartsWith(const char (&tag)[5]) const;

    // The events of a track (eventwalk.cpp). The readers that take `at` read from and move
    // that position instead of `cursor`; unchecked (`checked` false), they leave out the look
    // for the end of the block.
    TrackEnd walkToEvent();
    const char *walkTwoDataByteEvents(const char *at);
    static const char *walkEightBytesAtATime(const char *at, const char *end, quint32 &running,
                                             const char *&retryAt);
    template <bool checked> bool readEventHead(const char *&at, quint8 &status);
    bool readSystemExclusive(qint32 &length);
    bool skipMetaEvent(bool &endOfTrack);
    template <bool checked> bool readByte(const char *&at, quint8 &byte);
    template <bool checked> bool readDataByte(const char *&at, quint8 &byte);
    template <bool checked> bool readDeltaTime(const char *&at);
    void noteOutOfRangeData(const char *after);

    // The blocks (songreader.cpp).
    bool readByte(quint8 &byte);
    bool readBytes(quint8 *bytes, std::size_t count);
    bool readVarLen(qint32 &value);
    bool skipBytes(qint64 count);
    bool seekTo(qint64 offset);
    bool restartAt(qint64 offset);
    bool refillBlock();
    void placeLimits();
    qint64 filePos() const { return blockStart + (cursor - block.get()); }

    // The fields the walk reads and moves at every event come first, so that they share a cache
    // line or two, and the event buffer last: laid out as they came, with the buffer among
    // them, the walk alone was 1 to 2.5 per cent slower on the benchmark's songs.
    const char *cursor = nullptr;   // the next byte to walk
    const char *blockEnd = nullptr; // past the last byte read into the block
    const char *fastEnd = nullptr;  // see placeLimits
    Stage stage = Stage::Start;
    int trackCount = 0;
    int track = 0;        // the track being walked, or next to be, from 0
    qint64 nextChunk = 0; // where the next track is looked for
    qint64 stoppedAt = 0; // once failed
    // Low byte: the last channel status byte seen in the current track; -1 while there is none.
    int runningStatus = -1;
    // Just past the current track's first data byte with its top bit set; -1 while there is
    // none. From that byte on, the track's Program Changes come `held`.
    qint64 outOfRangeEnd = -1;
    qint32 systemExclusiveLength = 0; // of the last one
    quint16 programChannels = 0xFFFF;

    QIODevice &file;
    const Overlay *overlay;
    // The song within the file: all of it, or an RMID file's "data" chunk. Reads stop at its end.
    qint64 songStart = 0;
    qint64 songEnd = 0;
    // The end the current track's chunk length declares, and where that is in the block while
    // the block holds it (else null), so that the walk can see it at a glance between events.
    qint64 trackEnd = -1;
    const char *trackEndInBlock = nullptr;
    qsizetype blockCapacity;
    // Not cleared when made: only the bytes read into it are ever read.
    std::unique_ptr<char[]> block;
    qint64 blockStart = 0;              // file offset of block[0]
    std::array<quint8, 256> eventBuf{}; // last: see the fields' first comment
};
