#include "songlayouts.h"

#include "midibytes.h"

namespace {

const QByteArray endOfTrack = hex("00 FF 2F 00");
// A drum kit to repair on channel 10, and the same event repaired.
const QByteArray kit9 = hex("00 C9 09");
const QByteArray kit0 = hex("00 C9 00");

QByteArray bigEndian(quint32 value)
{
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
    return bytes;
}

QByteArray littleEndian(quint32 value)
{
    QByteArray bytes;
    for (int shift = 0; shift <= 24; shift += 8)
        bytes.append(char((value >> shift) & 0xFF));
    return bytes;
}

// A chunk of a Standard MIDI File whose length may say anything.
QByteArray chunk(const char *tag, quint32 length, const QByteArray &data)
{
    return QByteArray(tag) + bigEndian(length) + data;
}

QByteArray chunk(const char *tag, const QByteArray &data)
{
    return chunk(tag, quint32(data.size()), data);
}

QByteArray header(quint32 length, int tracks, const QByteArray &extra = {})
{
    return chunk("MThd", length, smfHeader(tracks).mid(8) + extra);
}

// A RIFF chunk: little-endian size, data padded to an even size.
QByteArray riffChunk(const char *id, const QByteArray &data, quint32 size)
{
    return QByteArray(id) + littleEndian(size) + data + QByteArray(data.size() % 2, '\0');
}

QByteArray riffChunk(const char *id, const QByteArray &data)
{
    return riffChunk(id, data, quint32(data.size()));
}

QByteArray riff(const char *form, const QByteArray &chunks)
{
    return "RIFF" + littleEndian(quint32(4 + chunks.size())) + form + chunks;
}

} // namespace

QList<SongCase> songLayoutCases()
{
    QList<SongCase> cases;
    const auto walked = SongBatch::Result::Walked;
    const auto failed = SongBatch::Result::Failed;
    const auto add = [&](const char *name, const QByteArray &file, SongBatch::Result result,
                         const QByteArray &repaired, int conversions) {
        cases.append({name, file, result, repaired, conversions});
    };
    const auto unchanged = [&](const char *name, const QByteArray &file, SongBatch::Result result) {
        add(name, file, result, file, 0);
    };
    const QByteArray song = smfHeader(1) + smfTrack(kit9 + endOfTrack);
    const QByteArray songRepaired = smfHeader(1) + smfTrack(kit0 + endOfTrack);
    const QByteArray info = riffChunk("LIST", "INFOISFT" + littleEndian(3) + "ab");

    // RMID: the song is the first "data" chunk, at its offsets in the whole file.
    add("RMID", riff("RMID", riffChunk("data", song)), walked,
        riff("RMID", riffChunk("data", songRepaired)), 1);
    add("RMID: an odd-sized chunk before data",
        riff("RMID", riffChunk("odd ", "xyz") + riffChunk("data", song)), walked,
        riff("RMID", riffChunk("odd ", "xyz") + riffChunk("data", songRepaired)), 1);
    add("RMID: only the first data chunk",
        riff("RMID", riffChunk("data", song) + riffChunk("data", song)), walked,
        riff("RMID", riffChunk("data", songRepaired) + riffChunk("data", song)), 1);
    // The track has no End of Track: it ends where the song does, at the end of "data".
    add("RMID: the song ends where data ends",
        riff("RMID", riffChunk("data", smfHeader(1) + smfTrack(kit9)) + info), walked,
        riff("RMID", riffChunk("data", smfHeader(1) + smfTrack(kit0)) + info), 1);
    add("RMID: a data size past the end of the file", riff("RMID", riffChunk("data", song, 5000)),
        walked, riff("RMID", riffChunk("data", songRepaired, 5000)), 1);
    add("RMID: a data size that cuts the song short",
        riff("RMID", riffChunk("data", song, quint32(song.size() - 1)) + info), failed,
        riff("RMID", riffChunk("data", songRepaired, quint32(song.size() - 1)) + info), 1);
    // A track with an out-of-range data byte: the song's end, where data ends, proves it.
    const QByteArray outOfRange = hex("00 99 24 81");
    add("RMID: out-of-range data, then the end of data",
        riff("RMID",
             riffChunk("data", smfHeader(1) + smfTrack(outOfRange + kit9 + endOfTrack)) + info),
        walked,
        riff("RMID",
             riffChunk("data", smfHeader(1) + smfTrack(outOfRange + kit0 + endOfTrack)) + info),
        1);
    unchanged("RMID: out-of-range data, then a stray byte in data",
              riff("RMID",
                   riffChunk("data",
                             smfHeader(1) + smfTrack(outOfRange + kit9 + endOfTrack) + hex("F7")) +
                       info),
              failed);
    unchanged("RMID without data", riff("RMID", info), failed);
    unchanged("RMID whose data is no MThd", riff("RMID", riffChunk("data", "MTrk" + song)), failed);
    unchanged("RMID with empty data", riff("RMID", riffChunk("data", {}) + info), failed);
    unchanged("RMID whose data chunk is only its header",
              riff("RMID", riffChunk("data", {}, 0xFFFFFFFF)), failed);
    unchanged("RMID with a chunk before data whose size runs past the end",
              riff("RMID", riffChunk("LIST", "ab", 0xFFFFFFF0) + riffChunk("data", song)), failed);
    unchanged("RIFF of another form", riff("WAVE", riffChunk("data", song)), failed);
    unchanged("RIFF cut in the form type", hex("52494646 04000000 524D"), failed);

    // The first chunk: at 14 when MTrk is there, else where the header's length puts it.
    add("header length 0", header(0, 1) + smfTrack(kit9 + endOfTrack), walked,
        header(0, 1) + smfTrack(kit0 + endOfTrack), 1);
    add("header length 10 with 4 more bytes",
        header(10, 1, hex("01020304")) + smfTrack(kit9 + endOfTrack), walked,
        header(10, 1, hex("01020304")) + smfTrack(kit0 + endOfTrack), 1);
    add("header length 10, but MTrk at 14", header(10, 1) + smfTrack(kit9 + endOfTrack), walked,
        header(10, 1) + smfTrack(kit0 + endOfTrack), 1);
    add("header length 22", header(22, 1, QByteArray(16, 'h')) + smfTrack(kit9 + endOfTrack),
        walked, header(22, 1, QByteArray(16, 'h')) + smfTrack(kit0 + endOfTrack), 1);
    add("huge header length", header(0xFFFFFFF0, 1) + smfTrack(kit9 + endOfTrack), walked,
        header(0xFFFFFFF0, 1) + smfTrack(kit0 + endOfTrack), 1);
    unchanged("header length 10, and no chunk at 14 or 18",
              header(10, 1, hex("01020304")) + hex("00") + smfTrack(endOfTrack), failed);

    // Chunks of other kinds are read past, and not counted as tracks.
    const QByteArray vendor = chunk("XFIH", hex("0001 0203"));
    add("a vendor chunk first", smfHeader(1) + vendor + smfTrack(kit9 + endOfTrack), walked,
        smfHeader(1) + vendor + smfTrack(kit0 + endOfTrack), 1);
    add("vendor chunks between tracks",
        smfHeader(2) + smfTrack(kit9 + endOfTrack) + vendor + chunk("XFKM", {}) +
            smfTrack(kit9 + endOfTrack),
        walked,
        smfHeader(2) + smfTrack(kit0 + endOfTrack) + vendor + chunk("XFKM", {}) +
            smfTrack(kit0 + endOfTrack),
        2);
    add("a vendor chunk last", song + vendor, walked, songRepaired + vendor, 1);
    add("a last vendor chunk whose length overruns the song is not read",
        song + chunk("XFKM", 100, "abc"), walked, songRepaired + chunk("XFKM", 100, "abc"), 1);
    unchanged("a vendor chunk whose length overruns the song",
              smfHeader(1) + chunk("XFIH", 13, "abcd") + smfTrack(kit9 + endOfTrack), failed);
    unchanged("a vendor chunk in place of the only track", smfHeader(1) + vendor, failed);
    unchanged("a tag that is not printable", smfHeader(1) + chunk("MTr\x7F", {}) + song.mid(14),
              failed);

    // Stray bytes after End of Track: on at the declared end when a chunk or the end is there.
    const QByteArray stray = hex("00 C9 0A");
    add("stray bytes after End of Track, a track at the declared end",
        smfHeader(2) + smfTrack(kit9 + endOfTrack + stray) + smfTrack(kit9 + endOfTrack), walked,
        smfHeader(2) + smfTrack(kit0 + endOfTrack + stray) + smfTrack(kit0 + endOfTrack), 2);
    add("stray bytes after End of Track, a vendor chunk at the declared end",
        smfHeader(2) + smfTrack(kit9 + endOfTrack + stray) + vendor + smfTrack(kit9 + endOfTrack),
        walked,
        smfHeader(2) + smfTrack(kit0 + endOfTrack + stray) + vendor + smfTrack(kit0 + endOfTrack),
        2);
    add("stray bytes after the last End of Track",
        smfHeader(1) + smfTrack(kit9 + endOfTrack + stray), walked,
        smfHeader(1) + smfTrack(kit0 + endOfTrack + stray), 1);
    add("stray bytes after End of Track, the declared end inside the next chunk",
        smfHeader(2) + chunk("MTrk", 12, kit9 + endOfTrack + stray) + smfTrack(kit9 + endOfTrack),
        failed,
        smfHeader(2) + chunk("MTrk", 12, kit0 + endOfTrack + stray) + smfTrack(kit9 + endOfTrack),
        1);
    add("stray bytes after End of Track, the declared end past the song",
        smfHeader(2) + chunk("MTrk", 99, kit9 + endOfTrack + stray) + smfTrack(kit9 + endOfTrack),
        failed,
        smfHeader(2) + chunk("MTrk", 99, kit0 + endOfTrack + stray) + smfTrack(kit9 + endOfTrack),
        1);
    add("a track length past the song, with End of Track",
        smfHeader(1) + chunk("MTrk", 1000, kit9 + endOfTrack), walked,
        smfHeader(1) + chunk("MTrk", 1000, kit0 + endOfTrack), 1);
    add("a track length that ends inside an event is ignored",
        smfHeader(1) + chunk("MTrk", 2, kit9 + endOfTrack), walked,
        smfHeader(1) + chunk("MTrk", 2, kit0 + endOfTrack), 1);

    // No End of Track: the track ends at its declared end when MTrk or the song's end is there.
    add("no End of Track at the end of the file", smfHeader(1) + smfTrack(kit9), walked,
        smfHeader(1) + smfTrack(kit0), 1);
    add("no End of Track before the next track",
        smfHeader(2) + smfTrack(kit9) + smfTrack(kit9 + endOfTrack), walked,
        smfHeader(2) + smfTrack(kit0) + smfTrack(kit0 + endOfTrack), 2);
    add("no End of Track, the length past the song", smfHeader(1) + chunk("MTrk", 9, kit9), failed,
        smfHeader(1) + chunk("MTrk", 9, kit0), 1);
    add("no End of Track, the length short of the song's end",
        smfHeader(1) + chunk("MTrk", 3, kit9 + hex("00")), failed,
        smfHeader(1) + chunk("MTrk", 3, kit0 + hex("00")), 1);
    // At the declared end the next events read "@<@A" and a length: a chunk, but not MTrk, so
    // the track goes on to its End of Track and its programs 3C and 41 are repaired too.
    add("a wrong length between events that look like a tag",
        smfHeader(1) + chunk("MTrk", 3, kit9 + hex("40 3C 40 41") + endOfTrack), walked,
        smfHeader(1) + chunk("MTrk", 3, kit0 + hex("40 00 40 00") + endOfTrack), 3);
    add("an empty track chunk", smfHeader(2) + chunk("MTrk", {}) + smfTrack(kit9 + endOfTrack),
        walked, smfHeader(2) + chunk("MTrk", {}) + smfTrack(kit0 + endOfTrack), 1);
    unchanged("an empty track chunk last", smfHeader(1) + chunk("MTrk", {}), walked);
    unchanged("an empty track chunk before a vendor chunk",
              smfHeader(1) + chunk("MTrk", {}) + vendor, walked);
    // Chunks of other kinds between the declared end and the next track (or the song's end)
    // are read past, and so never walked as events.
    add("no End of Track before vendor chunks and the next track",
        smfHeader(2) + smfTrack(kit9) + vendor + chunk("XFKM", {}) + smfTrack(kit9 + endOfTrack),
        walked,
        smfHeader(2) + smfTrack(kit0) + vendor + chunk("XFKM", {}) + smfTrack(kit0 + endOfTrack),
        2);
    add("no End of Track in the last track, a vendor chunk after it",
        smfHeader(1) + smfTrack(kit9) + vendor, walked, smfHeader(1) + smfTrack(kit0) + vendor, 1);
    // Here the chunk's length runs past the song: its bytes are walked as notes until the
    // song ends inside an event.
    const QByteArray notes = kit9 + hex("00 99 24 40");
    add("no End of Track, a vendor chunk whose length overruns the song",
        smfHeader(1) + smfTrack(notes) + chunk("XFIH", 99, "abcd"), failed,
        smfHeader(1) + smfTrack(kit0 + hex("00 99 24 40")) + chunk("XFIH", 99, "abcd"), 1);

    // Each track starts without running status: a first data byte is not a program.
    add("a track that starts with a data byte after a drum Program Change",
        smfHeader(2) + smfTrack(kit9 + endOfTrack) + smfTrack(hex("00 0A") + endOfTrack), failed,
        smfHeader(2) + smfTrack(kit0 + endOfTrack) + smfTrack(hex("00 0A") + endOfTrack), 1);
    return cases;
}
