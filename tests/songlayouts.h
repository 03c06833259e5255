#pragma once
// Songs laid out as real collections hold them: RMID files, chunks of other kinds among the
// tracks, header and track lengths that disagree with what follows, tracks without End of
// Track. The engine tests check each byte for byte; the fuzzer starts from them.

#include "songbatch.h"

#include <QByteArray>
#include <QList>

struct SongCase
{
    QByteArray name;
    QByteArray file;
    SongBatch::Result result;
    QByteArray repaired; // the file after the repair
    int conversions;
};

QList<SongCase> songLayoutCases();
