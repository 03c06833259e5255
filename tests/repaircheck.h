#pragma once
// Checks, for any bytes at all, the promises a repair keeps: it reads and writes only inside
// the file, keeps its size, writes 0 over rejected program bytes and nothing else, and leaves
// nothing for a second run to do. The fuzzer and the regression tests share it.

#include <QByteArray>
#include <QList>
#include <QString>

// The offsets of the program bytes of Program Changes (on any channel), found by a walk of
// its own over the whole file in memory, as far as the file stays well formed.
QList<qsizetype> programBytePositions(const QByteArray &song);

// Repairs a copy of the song twice, in memory, and returns what went wrong: empty when every
// promise holds.
QString repairFaults(const QByteArray &song);
