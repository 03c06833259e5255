// Writes the songs of the layout table (songlayouts.cpp) as seed files for the fuzzer, so that
// it starts from RMID files, chunks of other kinds and disagreeing lengths, not only from
// well-formed generated songs.
#include "songlayouts.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: layout_seeds DIR\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "layout_seeds: cannot make %s\n", argv[1]);
        return 1;
    }
    const QList<SongCase> cases = songLayoutCases();
    for (qsizetype i = 0; i < cases.size(); ++i) {
        QFile seed(dir.filePath(QStringLiteral("layout%1.mid").arg(i, 3, 10, QLatin1Char('0'))));
        if (!seed.open(QIODevice::WriteOnly) || seed.write(cases[i].file) != cases[i].file.size()) {
            std::fprintf(stderr, "layout_seeds: %s\n", qPrintable(seed.errorString()));
            return 1;
        }
    }
    return 0;
}
