// Times the engine over a generated collection: many songs of ordinary size, then one very
// large song. Usage: kadenzo-bench [SONGS] (default 2000).
#include "conversionengine.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

void appendBigEndian(QByteArray &bytes, quint32 value, int size)
{
    for (int shift = 8 * (size - 1); shift >= 0; shift -= 8)
        bytes.append(char((value >> shift) & 0xFF));
}

// A track of notes under running status, with controllers, a GS message, a text event
// and a drum-kit Program Change every so often.
QByteArray track(int channel, int events)
{
    QByteArray body;
    body.append(QByteArray::fromHex("00F00A4110421240 1015 0123F7"));
    body.append(QByteArray::fromHex("00FF0105") + "intro");
    for (int i = 0; i < events; ++i) {
        const char note = char(36 + i % 48);
        if (i % 500 == 0)
            body.append(QByteArray::fromHex("00") + char(0xC0 | channel) + char(i % 128));
        if (i % 64 == 0)
            body.append(QByteArray::fromHex("00") + char(0xB0 | channel) + char(7) + char(100));
        body.append(char(0x00) + QByteArray(1, char(0x90 | channel)) + note + char(100));
        body.append(QByteArray::fromHex("8360") + note + char(0)); // running status, delta 480
    }
    body.append(QByteArray::fromHex("00FF2F00"));
    QByteArray chunk("MTrk");
    appendBigEndian(chunk, quint32(body.size()), 4);
    return chunk + body;
}

// Writes a song track by track, so that the benchmark's own memory stays small too.
qint64 writeSong(const QString &path, int tracks, int eventsPerTrack)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return -1;
    QByteArray header("MThd");
    appendBigEndian(header, 6, 4);
    appendBigEndian(header, 1, 2);
    appendBigEndian(header, quint32(tracks), 2);
    appendBigEndian(header, 96, 2);
    qint64 written = file.write(header);
    for (int i = 0; i < tracks; ++i)
        written += file.write(track(i % 16, eventsPerTrack));
    return written;
}

void timeBatch(QTextStream &out, const QString &label, const QStringList &paths, qint64 bytes)
{
    ConversionEngine engine;
    engine.startBatch();
    QElapsedTimer timer;
    timer.start();
    for (const QString &path : paths)
        engine.processFile(path);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    const auto totals = engine.totals();
    out << label << ": " << totals.filesFound << " files, " << totals.conversions
        << " conversions, " << QString::number(seconds * 1000, 'f', 1) << " ms, "
        << QString::number(double(bytes) / seconds / 1e6, 'f', 0) << " MB/s\n";
}

} // namespace

int main(int argc, char *argv[])
{
    const int songs = argc > 1 ? QByteArray(argv[1]).toInt() : 2000;
    QTemporaryDir dir;
    QTextStream out(stdout);

    QStringList paths;
    qint64 collection = 0;
    for (int i = 0; i < songs; ++i) {
        paths.append(dir.filePath(QStringLiteral("song%1.mid").arg(i)));
        collection += writeSong(paths.last(), 16, 1000); // about 130 KB, a long song
    }
    out << songs << " songs, " << collection << " bytes\n";
    timeBatch(out, "first pass", paths, collection);
    timeBatch(out, "second pass", paths, collection);

    const QString large = dir.filePath(QStringLiteral("large.mid"));
    const qint64 largeSize = writeSong(large, 16, 400000);
    out << "one song of " << largeSize << " bytes\n";
    timeBatch(out, "large song", {large}, largeSize);
    return 0;
}
