// kadenzo-walk-speed ROUNDS FILE...: finds the repairs of the songs given, held in memory,
// ROUNDS times, and prints the fastest round: the walk alone, without opening files, writing
// or starting the program, to compare versions of the walk on a machine that other work shares.
#include "repairfinder.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <limits>
#include <vector>

int main(int argc, char *argv[])
{
    const int rounds = argc > 2 ? std::atoi(argv[1]) : 0;
    if (rounds < 1) {
        std::fprintf(stderr, "usage: kadenzo-walk-speed ROUNDS FILE...\n");
        return 2;
    }
    std::vector<QByteArray> songs;
    qint64 bytes = 0;
    for (int i = 2; i < argc; ++i) {
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "kadenzo-walk-speed: cannot read %s\n", argv[i]);
            return 1;
        }
        songs.push_back(file.readAll());
        bytes += songs.back().size();
    }
    qint64 fastest = std::numeric_limits<qint64>::max();
    long long repairs = 0; // used, so that no round can be left out
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (QByteArray &song : songs) {
            QBuffer buffer(&song);
            buffer.open(QIODevice::ReadOnly);
            RepairFinder finder(buffer, song.size());
            Repair repair;
            while (finder.next(repair))
                ++repairs;
        }
        fastest = qMin(fastest, timer.nsecsElapsed());
    }
    std::printf("%lld songs, %lld bytes, %lld repairs a round: fastest of %d rounds %.3f ms, "
                "%.3f ns a byte\n",
                static_cast<long long>(songs.size()), static_cast<long long>(bytes),
                repairs / rounds, rounds, double(fastest) / 1e6, double(fastest) / double(bytes));
    return 0;
}
