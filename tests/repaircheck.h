#pragma once
// Checks, for any bytes at all, the promises a repair keeps: it reads and writes only inside
// the file, keeps its size, writes 0 over rejected program bytes and nothing else, and leaves
// nothing for a second run to do. The fuzzer and the regression tests share it.

#include <QByteArray>
#include <QList>
#include <QString>

// A walk of its own over the whole file in memory, by the same rules as the engine's: whether
// the song walks to its end, and the offsets of the program bytes that a repair must write:
// those of Program Changes on a rhythm channel (channel 10, or one the song's GS messages make
// a rhythm part) that select a kit that is not a standard one, as far as the song is walked,
// but none from an out-of-range data byte on in a track that does not end cleanly after it.
struct SongWalk
{
    bool walks = false;
    QList<qsizetype> repairBytes;
};
SongWalk walkSong(const QByteArray &file);

// Repairs a copy of the song twice, in memory, and returns what went wrong: empty when every
// promise holds. The song is read in blocks of several sizes, which end inside and across the
// events, and the repair must be the same with each.
QString repairFaults(const QByteArray &song);
