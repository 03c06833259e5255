#pragma once
// Checks, for any bytes at all, the promises a repair keeps: it reads and writes only inside
// the file, keeps its size, writes 0 over rejected program bytes and nothing else, and leaves
// nothing for a second run to do. The fuzzer and the regression tests share it.

#include <QByteArray>
#include <QList>
#include <QString>

// A walk of its own over the whole file in memory, by the same rules as the engine's: whether
// the song walks to its end, and the offsets of the program bytes of Program Changes (on any
// channel) that a repair may write: as far as it is walked, but none from an out-of-range data
// byte on in a track that does not end cleanly after it.
struct SongWalk
{
    bool walks = false;
    QList<qsizetype> programBytes;
};
SongWalk walkSong(const QByteArray &file);

// Repairs a copy of the song twice, in memory, and returns what went wrong: empty when every
// promise holds.
QString repairFaults(const QByteArray &song);
