// The engine over byte-exact files: what the walk accepts, what fails a file, which drum kits
// are repaired on which channels, and that no other byte of a file ever changes.
#include "midibytes.h"
#include "repaircheck.h"
#include "songbatch.h"
#include "songfile.h"
#include "songlayouts.h"

#include <QBuffer>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using FileResult = SongBatch::Result;
Q_DECLARE_METATYPE(FileResult)

namespace {
// A song repaired as a batch repairs it, its conversions listed.
SongBatch::Outcome repairDevice(QIODevice &song)
{
    SongBatch::SongWork work;
    work.listConversions = true;
    return SongBatch::repairSong(song, song.size(), work);
}

SongBatch::Outcome repairFile(const QString &path)
{
    QFile file(path);
    if (!openSongForRepair(file))
        return {};
    return repairDevice(file);
}

// The song at `path` as a batch opens it: NotOpened, with the reason, when it cannot.
SongBatch::Outcome runBatchOn(const QString &path)
{
    SongBatch::Outcome outcome;
    SongBatch::run({SongPath{path, {}}}, {}, [&](const SongBatch::Outcome &o) { outcome = o; });
    return outcome;
}

const QByteArray endOfTrack = hex("00 FF 2F 00");

QByteArray oneTrackFile(const char *events)
{
    return smfHeader(1) + smfTrack(hex(events) + endOfTrack);
}

// GS parameter messages to the part block, device 0x10, with checksum and F7.
const char *const part1OnChannel11 = "00 F0 0A 41 10 42 12 40 11 02 0A 23 F7";
const char *const part1Rhythm = "00 F0 0A 41 10 42 12 40 11 15 01 19 F7";

QByteArray allProgramsOnChannel10()
{
    QByteArray events;
    for (int program = 0; program < 128; ++program)
        events += hex("00 C9") + char(program);
    return events;
}
} // namespace

class EngineTest : public QObject
{
    Q_OBJECT

private slots:
    void walk_data();
    void walk();
    void failedRewriteFailsTheFileAndIsNotCounted();
    void stopOffsetIsInTheWholeFile_data();
    void stopOffsetIsInTheWholeFile();
    void systemExclusiveIsStoredFurtherInWhenLong_data();
    void systemExclusiveIsStoredFurtherInWhenLong();
    void missingOrUnwritableFileIsSkipped();
    void eachFileStartsAfresh();
    void fuzzRegressions_data();
    void fuzzRegressions();

private:
    QTemporaryDir dir;
};

void EngineTest::walk_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<FileResult>("result");
    QTest::addColumn<QByteArray>("repaired");
    QTest::addColumn<int>("conversions");

    const auto walked = FileResult::Walked;
    const auto failed = FileResult::Failed;
    const auto repaired = [](const char *name, const QByteArray &file, FileResult result,
                             const QByteArray &repairedFile, int conversions) {
        QTest::newRow(name) << file << result << repairedFile << conversions;
    };
    const auto unchanged = [&](const char *name, const QByteArray &file, FileResult result) {
        repaired(name, file, result, file, 0);
    };

    // Files the walk accepts.
    unchanged("one empty track", oneTrackFile(""), walked);
    unchanged("empty file", QByteArray(), walked);
    unchanged("10-byte header, no track count", hex("4D546864 00000006 0001"), walked);
    unchanged("track count 0", smfHeader(0), walked);
    unchanged("every channel event with its data",
              oneTrackFile("00 80 3C 40 00 90 3C 40 00 A0 3C 10 00 B0 00 01 00 C0 05"
                           " 00 D0 40 00 E0 00 40 00 C9 05"),
              walked);
    unchanged("running status across a tempo meta event",
              oneTrackFile("00 90 3C 40 00 FF 51 03 07 A1 20 00 3E 40"), walked);
    unchanged("running status does not carry into the next track",
              smfHeader(2) + smfTrack(hex("00 90 3C 40") + endOfTrack) +
                  smfTrack(hex("00 3E 40") + endOfTrack),
              failed);
    unchanged("running status survives System Exclusive",
              oneTrackFile("00 90 3C 40 00 F0 03 7E 7F F7 00 3E 40"), walked);
    unchanged(
        "meta events of length 0 and 200",
        oneTrackFile(("00 FF 06 00 00 FF 01 81 48" + QByteArray(200, 'a').toHex()).constData()),
        walked);
    unchanged("five-byte delta time, the fifth with its top bit set",
              smfHeader(1) + smfTrack("80 80 80 80 80 FF 2F 00"), walked);
    unchanged("System Exclusive longer than the buffer",
              oneTrackFile(("00 F0 82 2C" + QByteArray(299, '\x11').toHex() + "F7").constData()),
              walked);
    unchanged("zero-length System Exclusive", oneTrackFile("00 F0 00"), walked);
    unchanged("chunk length is not used", smfHeader(1) + hex("4D54726B 00000000 00 FF 2F 00"),
              walked);
    unchanged("bytes after the last track are not read", oneTrackFile("") + hex("F7 F7 F7"),
              walked);
    unchanged("Bank Select and Channel Pressure on channel 10 are not examined",
              oneTrackFile("00 B9 00 09 00 D9 09"), walked);
    unchanged("track count lower than the chunks present",
              smfHeader(1) + smfTrack(endOfTrack) + smfTrack("00 F7 00"), walked);

    // Events the walk does not accept.
    unchanged("F7 escape", oneTrackFile("00 F7 01 00"), failed);
    unchanged("F1", oneTrackFile("00 F1 00"), failed);
    unchanged("FE", oneTrackFile("00 FE"), failed);
    unchanged("data byte with no running status", oneTrackFile("00 3C 40"), failed);
    // A byte with its top bit set where data belongs is taken as data; here the walk it leads
    // to ends at End of Track, so its repairs are written: kit 0x90, then kit 0x40 under
    // running status.
    repaired("status byte where a program is expected", oneTrackFile("00 C9 90 3C 40"), walked,
             oneTrackFile("00 C9 00 3C 00"), 2);
    unchanged("status byte as a second data byte", oneTrackFile("00 99 24 80"), walked);
    unchanged("second of three tracks fails",
              smfHeader(3) + smfTrack(endOfTrack) + smfTrack(hex("00 F7 00") + endOfTrack) +
                  smfTrack(endOfTrack),
              failed);

    // Files that are not MIDI files or are cut short.
    unchanged("not MThd", hex("52494646 00000006 0001 0001 0060"), failed);
    unchanged("3 bytes", hex("4D5468"), failed);
    unchanged("header cut after the track count", hex("4D546864 00000006 0001 0001"), failed);
    unchanged("declared track missing", smfHeader(2) + smfTrack(endOfTrack), failed);
    unchanged("chunk other than MTrk", smfHeader(1) + hex("4D54726C 00000004 00FF2F00"), failed);
    unchanged("chunk header cut", smfHeader(1) + hex("4D54726B 0000"), failed);
    unchanged("no End of Track, the song ends at the track's end",
              smfHeader(1) + smfTrack("00 90 3C 40"), walked);
    unchanged("cut in a delta time", smfHeader(1) + smfTrack("00 90 3C 40 81"), failed);
    unchanged("cut in a channel event", smfHeader(1) + smfTrack("00 90 3C"), failed);
    unchanged("cut in a Program Change", smfHeader(1) + smfTrack("00 C9"), failed);
    // The longest event start, a five-byte delta time, a status and two data bytes, is 8
    // bytes: here the file ends one byte short of it.
    unchanged("cut after a five-byte delta time",
              smfHeader(1) + smfTrack("00 90 3C 40 FF FF FF FF 7F 90 3C"), failed);
    repaired("a repair, then a cut after a five-byte delta time",
             smfHeader(1) + smfTrack("00 C9 09 FF FF FF FF 7F 99 24"), failed,
             smfHeader(1) + smfTrack("00 C9 00 FF FF FF FF 7F 99 24"), 1);
    unchanged("cut in a meta type", smfHeader(1) + smfTrack("00 FF"), failed);
    unchanged("cut in a meta length", smfHeader(1) + smfTrack("00 FF 01 81"), failed);
    unchanged("meta data past the end", smfHeader(1) + smfTrack("00 FF 01 05 41 42"), failed);
    unchanged("End of Track data past the end", smfHeader(1) + smfTrack("00 FF 2F 01"), failed);
    unchanged("huge meta length", smfHeader(1) + smfTrack("00 FF 01 87 FF FF FF 7F 00"), failed);
    unchanged("System Exclusive data past the end", smfHeader(1) + smfTrack("00 F0 05 41 10 42"),
              failed);
    unchanged("huge System Exclusive length", smfHeader(1) + smfTrack("00 F0 87 FF FF FF 7F 41"),
              failed);

    // Drum kits to repair: the file comes out with exactly these program bytes rewritten.
    repaired("C9 09 becomes C9 00", oneTrackFile("00 C9 09"), walked, oneTrackFile("00 C9 00"), 1);
    const QByteArray song = hex("4D546864 00000006 0000 0001 0060 4D54726B 0000000A"
                                " 00C919 00C911 00FF2F00");
    QByteArray songRepaired = song;
    songRepaired[27] = 0;
    repaired("32-byte song: only offset 27 changes", song, walked, songRepaired, 1);
    repaired("under running status only the program bytes change", oneTrackFile("00 C9 09 00 0A"),
             walked, oneTrackFile("00 C9 00 00 00"), 2);

    // The standard kits: 0-8, 16, 24-30, 32, 33, 40, 48-50, 53, 56 and 127 stay.
    QByteArray everyKitRepaired = allProgramsOnChannel10();
    for (int program = 0; program < 128; ++program) {
        const bool standard = program <= 8 || program == 16 || (program >= 24 && program <= 30) ||
                              program == 32 || program == 33 || program == 40 ||
                              (program >= 48 && program <= 50) || program == 53 || program == 56 ||
                              program == 127;
        if (!standard)
            everyKitRepaired[3 * program + 2] = 0;
    }
    repaired("every program on channel 10",
             smfHeader(1) + smfTrack(allProgramsOnChannel10() + endOfTrack), walked,
             smfHeader(1) + smfTrack(everyKitRepaired + endOfTrack), 128 - 26);

    repaired("repairs before a failing track stay; the next track is not read",
             smfHeader(3) + smfTrack(hex("00 C9 09") + endOfTrack) + smfTrack("00 F7 00") +
                 smfTrack(hex("00 C9 09") + endOfTrack),
             failed,
             smfHeader(3) + smfTrack(hex("00 C9 00") + endOfTrack) + smfTrack("00 F7 00") +
                 smfTrack(hex("00 C9 09") + endOfTrack),
             1);

    // Channels made rhythm parts by GS messages, from the message on, in every later track.
    repaired("part 1 on channel 11 as a rhythm part",
             smfHeader(2) +
                 smfTrack(hex("00 CA 09") + hex(part1OnChannel11) + hex(part1Rhythm) +
                          hex("00 CA 09") + endOfTrack) +
                 smfTrack(hex("00 CA 11 00 C0 11") + endOfTrack),
             walked,
             smfHeader(2) +
                 smfTrack(hex("00 CA 09") + hex(part1OnChannel11) + hex(part1Rhythm) +
                          hex("00 CA 00") + endOfTrack) +
                 smfTrack(hex("00 CA 00 00 C0 11") + endOfTrack),
             2);
    repaired("device 0x00 acts as 0x10",
             oneTrackFile("00 F0 0A 41 00 42 12 40 11 02 0A 33 F7"
                          " 00 F0 0A 41 00 42 12 40 11 15 01 29 F7 00 CA 09"),
             walked,
             oneTrackFile("00 F0 0A 41 00 42 12 40 11 02 0A 33 F7"
                          " 00 F0 0A 41 00 42 12 40 11 15 01 29 F7 00 CA 00"),
             1);
    repaired("part 2 without a receive channel: channel 2",
             oneTrackFile("00 F0 0A 41 10 42 12 40 12 15 02 17 F7 00 C1 09 00 C0 09"), walked,
             oneTrackFile("00 F0 0A 41 10 42 12 40 12 15 02 17 F7 00 C1 00 00 C0 09"), 1);
    repaired("part A without a receive channel: channel 11",
             oneTrackFile("00 F0 0A 41 10 42 12 40 1A 15 01 10 F7 00 CA 09 00 C0 09"), walked,
             oneTrackFile("00 F0 0A 41 10 42 12 40 1A 15 01 10 F7 00 CA 00 00 C0 09"), 1);

    // The file is read in 64 KiB blocks: program bytes and statuses on either side of a block
    // boundary, behind a text event that pushes them there, and events longer than a block.
    for (int textLength = 65500; textLength <= 65510; ++textLength) {
        QByteArray text = hex("00 FF 01") + char(0x80 | (textLength >> 14)) +
                          char(0x80 | ((textLength >> 7) & 0x7F)) + char(textLength & 0x7F) +
                          QByteArray(textLength, 't');
        const QByteArray programs = hex("00 C9 09 00 C9 0A 00 0B 00 0C 00 C9 0D");
        const QByteArray name =
            "around a block boundary, text of " + QByteArray::number(textLength);
        repaired(name.constData(), smfHeader(1) + smfTrack(text + programs + endOfTrack), walked,
                 smfHeader(1) +
                     smfTrack(text + hex("00 C9 00 00 C9 00 00 00 00 00 00 C9 00") + endOfTrack),
                 5);
    }
    repaired("meta event and System Exclusive longer than a block",
             smfHeader(1) + smfTrack(hex("00 FF 01 8C 9A 40") + QByteArray(200000, 't') +
                                     hex("00 C9 09 00 F0 8C 9A 40") + QByteArray(200000, 's') +
                                     hex("00 C9 09") + endOfTrack),
             walked,
             smfHeader(1) + smfTrack(hex("00 FF 01 8C 9A 40") + QByteArray(200000, 't') +
                                     hex("00 C9 00 00 F0 8C 9A 40") + QByteArray(200000, 's') +
                                     hex("00 C9 00") + endOfTrack),
             2);

    // Out-of-range data bytes (top bit set), as some editors write them: the repairs behind
    // one wait for the track's end and are written only when a chunk or the song's end follows
    // it; otherwise the file fails at that byte, and the repairs before it stay. First in each
    // kind of channel event with its own status, then under running status (where only a
    // second data byte can be out of range: a first one would be a status).
    const QByteArrayList outOfRangeEvents =
        QByteArray("00 89 24 81|00 99 81 40|00 A9 24 9A|00 B9 07 9A|00 C1 FF|00 D9 81|00 E9 00 C0|"
                   "00 99 24 40 00 26 81|00 A9 24 40 00 26 FF|00 B9 07 40 00 0A 9A|"
                   "00 E9 00 40 00 00 FF")
            .split('|');
    for (const QByteArray &event : outOfRangeEvents) {
        const QByteArray name = "out-of-range data in " + event;
        repaired(name.constData(), oneTrackFile((event + " 00 C9 09").constData()), walked,
                 oneTrackFile((event + " 00 C9 00").constData()), 1);
    }
    repaired("kit 0xFF on channel 10", oneTrackFile("00 C9 FF 00 C9 7F"), walked,
             oneTrackFile("00 C9 00 00 C9 7F"), 1);
    repaired("out-of-range data, the song ends at the track's end without End of Track",
             smfHeader(1) + smfTrack("00 99 24 81 00 C9 09"), walked,
             smfHeader(1) + smfTrack("00 99 24 81 00 C9 00"), 1);
    repaired("out-of-range data, stray bytes up to the track's declared end",
             smfHeader(1) + smfTrack(hex("00 C9 FF") + endOfTrack + hex("F7 F7")), walked,
             smfHeader(1) + smfTrack(hex("00 C9 00") + endOfTrack + hex("F7 F7")), 1);
    unchanged("out-of-range data, stray bytes after the last track",
              oneTrackFile("00 C9 FF") + hex("F7 F7 F7"), failed);
    repaired("a repair before out-of-range data stays when the track fails later",
             oneTrackFile("00 C9 09 00 99 24 81 00 C9 0A 00 F1"), failed,
             oneTrackFile("00 C9 00 00 99 24 81 00 C9 0A 00 F1"), 1);
    const QByteArray beforeAndAfter = hex("00 C9 09 00 99 24 81 00 C9 0A") + endOfTrack;
    repaired("repairs before and after out-of-range data, and in the next track",
             smfHeader(2) + smfTrack(beforeAndAfter) + smfTrack(hex("00 C9 0B") + endOfTrack),
             walked,
             smfHeader(2) + smfTrack(hex("00 C9 00 00 99 24 81 00 C9 00") + endOfTrack) +
                 smfTrack(hex("00 C9 00") + endOfTrack),
             3);
    repaired("out-of-range data, stray bytes before the next track",
             smfHeader(2) + smfTrack(beforeAndAfter) + hex("F7") +
                 smfTrack(hex("00 C9 0B") + endOfTrack),
             failed,
             smfHeader(2) + smfTrack(hex("00 C9 00 00 99 24 81 00 C9 0A") + endOfTrack) +
                 hex("F7") + smfTrack(hex("00 C9 0B") + endOfTrack),
             1);
    // The fuzzer's input program-byte-with-top-bit.mid: taken as kit 0xC9, the walk goes on
    // out of step (0A 00 is a program under running status, C9 0A a delta time) and ends
    // exactly at the song's end, which proves it.
    repaired("program byte with its top bit set, then the song's end",
             smfHeader(1) + smfTrack("00 C9 C9 0A 00 C9 0A 00 FF 2F 00"), walked,
             smfHeader(1) + smfTrack("00 C9 00 0A 00 C9 0A 00 FF 2F 00"), 1);

    unchanged("accepted kits 16, 127 and 0 stay", oneTrackFile("00 C9 10 00 C9 7F 00 C9 00"),
              walked);
    unchanged("channel 1 is not a rhythm channel", oneTrackFile("00 C0 09"), walked);
    unchanged("device 0x7F is not listened to",
              oneTrackFile("00 F0 0A 41 7F 42 12 40 11 02 0A 23 F7"
                           " 00 F0 0A 41 7F 42 12 40 11 15 01 19 F7 00 CA 09 00 C0 09"),
              walked);
    unchanged("rhythm switch off",
              oneTrackFile("00 F0 0A 41 10 42 12 40 11 02 0A 23 F7"
                           " 00 F0 0A 41 10 42 12 40 11 15 00 1A F7 00 CA 09"),
              walked);
    unchanged("GS reset", oneTrackFile("00 F0 0A 41 10 42 12 40 00 7F 00 41 F7 00 C0 09 00 CA 09"),
              walked);
    unchanged("address high byte other than 0x40",
              oneTrackFile("00 F0 0A 41 10 42 12 41 11 15 01 18 F7 00 C0 09"), walked);
    unchanged("a parameter of block 40 2x is no rhythm switch",
              oneTrackFile("00 F0 0A 41 10 42 12 40 21 15 01 09 F7 00 C0 14"), walked);
    repaired("a setting of block 40 4x does not move part 1",
             oneTrackFile("00 F0 0A 41 10 42 12 40 41 02 05 78 F7 00 F0 0A 41 10 42 12 40 11 15 01"
                          " 19 F7 00 C0 14 00 C5 14"),
             walked,
             oneTrackFile("00 F0 0A 41 10 42 12 40 41 02 05 78 F7 00 F0 0A 41 10 42 12 40 11 15 01"
                          " 19 F7 00 C0 00 00 C5 14"),
             1);
    unchanged("a part that receives on no channel marks none",
              oneTrackFile("00 F0 0A 41 10 42 12 40 11 02 10 1D F7"
                           " 00 F0 0A 41 10 42 12 40 11 15 01 19 F7 00 C0 09 00 CA 09"),
              walked);
    // A message is judged on its own bytes, not on what earlier events left in the buffer:
    // here index 9 still holds 01 from the first message when the second, 7 bytes long, ends.
    unchanged("a short message is not completed by older bytes",
              oneTrackFile("00 F0 0A 7E 7F 09 01 00 00 00 01 00 F7"
                           " 00 F0 07 41 10 42 12 40 11 15 00 C0 09"),
              walked);
    // 127 data bytes are stored from index 3, behind the 41 an earlier message left at 2.
    unchanged("a long message is not read across older bytes",
              oneTrackFile(("00 F0 0A 41 10 42 12 40 15 02 04 25 F7 00 F0 7F 10 42 12 40 1A 15 01" +
                            QByteArray(120, '\0').toHex() + " 00 CA 09 00 C0 09")
                               .constData()),
              walked);

    // Songs as real collections hold them (songlayouts.cpp).
    for (const SongCase &layout : songLayoutCases())
        repaired(layout.name.constData(), layout.file, layout.result, layout.repaired,
                 layout.conversions);
}

// The file comes out with exactly the expected program bytes rewritten, and those are
// counted and listed at their offsets in the file; a second run finds nothing more to repair.
void EngineTest::walk()
{
    QFETCH(QByteArray, file);
    QFETCH(FileResult, result);
    QFETCH(QByteArray, repaired);
    QFETCH(int, conversions);

    const QString path = dir.filePath(QStringLiteral("song.mid"));
    QVERIFY(writeFile(path, file));
    const SongBatch::Outcome first = repairFile(path);
    QCOMPARE(first.result, result);
    QCOMPARE(readFile(path).toHex(' '), repaired.toHex(' '));
    QCOMPARE(first.conversions, conversions);
    QCOMPARE(qsizetype(first.conversionList.size()), qsizetype(conversions));
    for (const Repair &repair : first.conversionList) {
        QCOMPARE(quint8(file[repair.offset]), quint8(repair.formerKit));
        QCOMPARE(repaired[repair.offset], '\0');
    }
    if (result == FileResult::Failed)
        QVERIFY(first.stopOffset <= file.size());

    // A second walk finds nothing more to repair.
    const SongBatch::Outcome second = repairFile(path);
    QCOMPARE(second.result, result);
    QCOMPARE(second.conversions, 0);
    QCOMPARE(readFile(path), repaired);

    // The fuzzer's own check agrees on every case here.
    QCOMPARE(repairFaults(file), QString());
}

// A device that takes no write, like a file on a disk that has just failed.
class WriteFailingBuffer : public QBuffer
{
protected:
    qint64 writeData(const char *, qint64) override { return -1; }
};

void EngineTest::failedRewriteFailsTheFileAndIsNotCounted()
{
    QByteArray bytes = oneTrackFile("00 C9 09 00 C9 0A");
    const QByteArray original = bytes;
    WriteFailingBuffer device;
    device.setBuffer(&bytes);
    QVERIFY(device.open(QIODevice::ReadWrite));

    const SongBatch::Outcome outcome = repairDevice(device);
    QCOMPARE(outcome.result, FileResult::Failed);
    QCOMPARE(outcome.conversions, 0);
    QCOMPARE(outcome.stopOffset, 25); // just past the program byte that was not written
    QCOMPARE(bytes, original);
}

void EngineTest::stopOffsetIsInTheWholeFile_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<qint64>("stopOffset");

    // The F7 escape at offset 23 is not accepted; the walk has read it.
    const QByteArray escape = oneTrackFile("00 F7 01 00");
    QTest::newRow("after the event it does not accept") << escape << qint64(24);
    // The same song in an RMID file starts at offset 20.
    QTest::newRow("in an RMID file, in the whole file")
        << hex("52494646 2A000000 524D4944 64617461 1E000000") + escape << qint64(44);
    QTest::newRow("after a chunk header whose length overruns the song")
        << smfHeader(1) + hex("58464948 0000000D 41424344") << qint64(22);
    QTest::newRow("at the end of a song cut short")
        << smfHeader(1) + smfTrack("00 C9 09 00 90") << qint64(27);
    // A track that does not prove its out-of-range data byte (0x81 at offset 25) fails there.
    QTest::newRow("past out-of-range data, the track failing later")
        << oneTrackFile("00 99 24 81 00 C9 0A 00 F1") << qint64(26);
    QTest::newRow("past out-of-range data, stray bytes after the track")
        << oneTrackFile("00 99 24 81 00 C9 0A") + hex("F7 F7 F7") << qint64(26);
    QTest::newRow("past out-of-range data, in an RMID file")
        << hex("52494646 2C000000 524D4944 64617461 20000000") + oneTrackFile("00 99 24 81 00 F1")
        << qint64(46);
}

void EngineTest::stopOffsetIsInTheWholeFile()
{
    QFETCH(QByteArray, file);
    QFETCH(qint64, stopOffset);

    QBuffer device(&file);
    QVERIFY(device.open(QIODevice::ReadWrite));
    const SongBatch::Outcome outcome = repairDevice(device);
    QCOMPARE(outcome.result, FileResult::Failed);
    QCOMPARE(outcome.stopOffset, stopOffset);
}

void EngineTest::systemExclusiveIsStoredFurtherInWhenLong_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("firstIndex");

    QTest::newRow("10 bytes") << 10 << 2;
    QTest::newRow("126 bytes") << 126 << 2;
    QTest::newRow("127 bytes") << 127 << 3;
    QTest::newRow("130 bytes") << 130 << 3;
    QTest::newRow("253 bytes") << 253 << 3;
    QTest::newRow("254 bytes") << 254 << 4;
    QTest::newRow("1000 bytes, mostly past the buffer") << 1000 << 9;
}

// Byte i of a message of L data bytes lands at 2 + L/127 + i; what lies beyond the buffer's
// 256 bytes is read and dropped.
void EngineTest::systemExclusiveIsStoredFurtherInWhenLong()
{
    QFETCH(int, length);
    QFETCH(int, firstIndex);

    QByteArray data;
    for (int i = 0; i < length; ++i)
        data.append(char(1 + i % 100));
    QByteArray lengthBytes;
    if (length >= 128)
        lengthBytes.append(char(0x80 | (length >> 7)));
    lengthBytes.append(char(length & 0x7F));
    const QByteArray file = smfHeader(1) + smfTrack(hex("00 F0") + lengthBytes + data + endOfTrack);

    QByteArray bytes = file;
    QBuffer device(&bytes);
    QVERIFY(device.open(QIODevice::ReadOnly));
    SongReader reader(device, bytes.size());
    SongReader::Event event;
    while (reader.next(event)) {
    }
    QVERIFY(reader.walked());

    const auto &buffer = reader.eventBuffer();
    QCOMPARE(buffer[0], quint8(0xFF)); // the End of Track meta event leaves only its status
    // Below the message lie what the track's chunk header and the file header left there.
    const QByteArray headers = file.mid(14, 8) + file.mid(8, 6);
    for (int index = 2; index < firstIndex; ++index)
        QCOMPARE(buffer[index], quint8(headers[index]));
    for (int index = firstIndex; index < 256 && index - firstIndex < length; ++index)
        QCOMPARE(buffer[index], quint8(data[index - firstIndex]));
}

void EngineTest::missingOrUnwritableFileIsSkipped()
{
    const QString missing = dir.filePath(QStringLiteral("gone.mid"));
    QCOMPARE(runBatchOn(missing).result, FileResult::NotOpened);
    QVERIFY(!QFile::exists(missing));
    QCOMPARE(runBatchOn(dir.path()).result, FileResult::NotOpened); // a folder
    const QString unwritable = unwritableFile();
    if (!unwritable.isEmpty())
        QCOMPARE(runBatchOn(unwritable).result, FileResult::NotOpened);
}

// Nothing a file sets carries into the next one: not the running status, not the rhythm
// channels of its GS messages.
void EngineTest::eachFileStartsAfresh()
{
    const QString first = dir.filePath(QStringLiteral("first.mid"));
    const QString second = dir.filePath(QStringLiteral("second.mid"));
    const QString third = dir.filePath(QStringLiteral("third.mid"));
    const QByteArray part1OnChannel1Rhythm =
        hex("00 F0 0A 41 10 42 12 40 11 02 00 2D F7") + hex(part1Rhythm);
    QVERIFY(writeFile(first, smfHeader(1) + smfTrack(part1OnChannel1Rhythm +
                                                     hex("00 C0 09 00 99 24 40") + endOfTrack)));
    QVERIFY(writeFile(second, oneTrackFile("00 24 40")));
    QVERIFY(writeFile(third, oneTrackFile("00 C0 09")));

    QList<SongBatch::Outcome> outcomes;
    SongBatch::run({{first, {}}, {second, {}}, {third, {}}}, {},
                   [&](const SongBatch::Outcome &outcome) { outcomes.append(outcome); });
    QCOMPARE(outcomes.size(), 3);
    QCOMPARE(outcomes[0].conversions, 1);
    QCOMPARE(outcomes[1].result, FileResult::Failed);
    QCOMPARE(outcomes[2].result, FileResult::Walked);
    QCOMPARE(outcomes[2].conversions, 0);
    QCOMPARE(readFile(third), oneTrackFile("00 C0 09"));
}

// Inputs with which the fuzzer (or a person) once broke a promise of the repair.
void EngineTest::fuzzRegressions_data()
{
    QTest::addColumn<QByteArray>("song");
    const QDir regressions(QStringLiteral(KADENZO_FUZZ_REGRESSIONS));
    const QStringList names = regressions.entryList(QDir::Files);
    QVERIFY(!names.isEmpty());
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << readFile(regressions.filePath(name));
}

void EngineTest::fuzzRegressions()
{
    QFETCH(QByteArray, song);
    QVERIFY(!song.isEmpty());
    QCOMPARE(repairFaults(song), QString());
}

QTEST_GUILESS_MAIN(EngineTest)
#include "tst_engine.moc"
