#pragma once
// Builds byte-exact Standard MIDI Files for the tests, from hex text such as "00 C9 19".

#include <QByteArray>
#include <QFile>
#include <QString>

inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text); // spaces are skipped
}

// The 14-byte header chunk: format 0 or 1, the track count, 96 ticks per quarter note.
inline QByteArray smfHeader(int tracks)
{
    QByteArray header = hex("4D546864 00000006 0001 0000 0060");
    header[10] = char(tracks >> 8);
    header[11] = char(tracks & 0xFF);
    return header;
}

// A track chunk holding the given events, with its true length.
inline QByteArray smfTrack(const QByteArray &events)
{
    QByteArray chunk = hex("4D54726B");
    const auto length = quint32(events.size());
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk.append(char((length >> shift) & 0xFF));
    return chunk + events;
}

inline QByteArray smfTrack(const char *events)
{
    return smfTrack(hex(events));
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A path that exists as a file but cannot be opened for writing even by root: a read-only
// kernel attribute. Empty where there is none (the tests that need it skip).
QString unwritableFile();
// Makes `path` a file that cannot be opened for writing: on Windows a file with the read-only
// attribute (which holds for every user there); elsewhere a link to unwritableFile(), since
// root may write to any file whatever its permissions. False where neither can be made.
bool makeUnwritableFile(const QString &path);
