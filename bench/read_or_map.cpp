// kadenzo-read-or-map ROUNDS FILE...: reads every byte of the files given in two ways, as the
// engine could: through 64 KiB blocks read from the file (a copy), and straight from the
// file mapped into memory with QFile::map (no copy, but the pages are mapped one fault at a
// time and unmapped again). Prints the fastest round of each, taken in turns.
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

namespace {

quint64 sumOf(const uchar *bytes, qint64 count)
{
    quint64 sum = 0;
    for (qint64 i = 0; i < count; ++i)
        sum += bytes[i];
    return sum;
}

// Each file opened for reading and writing, as a repair opens it; the sum of its bytes.
quint64 readBlocks(const std::vector<QString> &paths, std::vector<char> &block)
{
    quint64 sum = 0;
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
            continue;
        qint64 length = 0;
        while ((length = file.read(block.data(), qint64(block.size()))) > 0)
            sum += sumOf(reinterpret_cast<const uchar *>(block.data()), length);
    }
    return sum;
}

quint64 mapWhole(const std::vector<QString> &paths)
{
    quint64 sum = 0;
    for (const QString &path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
            continue;
        const qint64 size = file.size();
        if (uchar *bytes = file.map(0, size)) {
            sum += sumOf(bytes, size);
            file.unmap(bytes);
        }
    }
    return sum;
}

} // namespace

int main(int argc, char *argv[])
{
    const int rounds = argc > 2 ? std::atoi(argv[1]) : 0;
    if (rounds < 1) {
        std::fprintf(stderr, "usage: kadenzo-read-or-map ROUNDS FILE...\n");
        return 2;
    }
    std::vector<QString> paths;
    for (int i = 2; i < argc; ++i)
        paths.push_back(QString::fromLocal8Bit(argv[i]));
    std::vector<char> block(64 * 1024);
    qint64 fastestRead = std::numeric_limits<qint64>::max();
    qint64 fastestMap = fastestRead;
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        const quint64 readSum = readBlocks(paths, block);
        fastestRead = qMin(fastestRead, timer.nsecsElapsed());
        timer.restart();
        const quint64 mapSum = mapWhole(paths);
        fastestMap = qMin(fastestMap, timer.nsecsElapsed());
        if (readSum != mapSum) {
            std::fprintf(stderr, "kadenzo-read-or-map: the two ways read different bytes\n");
            return 1;
        }
    }
    std::printf("%lld files, fastest of %d rounds: read in blocks %.1f ms, mapped %.1f ms\n",
                static_cast<long long>(paths.size()), rounds, double(fastestRead) / 1e6,
                double(fastestMap) / 1e6);
    return 0;
}
