#pragma once

// How the batch opens a song (songbatch.cpp): for reading and writing, or in a dry run for
// reading only, and what it learns of the song's file meanwhile.
#include "songbatch.h"
#include "songfile.h"

#include <QFile>

#include <memory>
#include <optional>

namespace SongBatch {

// A song that the batch has taken for a plain file, and checks that it is one once open
// (OpenSong::describe). QFile asks the system on its first read whether the file is a
// sequential device, one more system call per song: the answer is known.
class SongFile : public QFile
{
public:
    explicit SongFile(const QString &path)
        : QFile(path)
        , givenPath(path)
    {
    }
    bool isSequential() const override { return false; }
    // A file opened from the system's handle no longer tells its name (QFile::fileName).
    const QString givenPath;
};

// A song of the batch, opened for its walk: for reading and writing, or in a dry run for
// reading only.
struct OpenSong
{
    std::unique_ptr<SongFile> file;
    std::optional<FileIdentity> identity;
    qint64 size = -1; // as the system gave it with the identity; else asked of the file
    QString problem;
    bool openAfterWaiting = false; // not opened yet: see lookAtSong

    // The facts of the open file; a file that is not a plain one is a problem.
    void describe();
};

// Opens a song once; what identifies its file comes from the open file, not from the path
// again.
OpenSong openSong(const SongPath &song, const Options &options);

// What a thread first learns of a song, before it may have to wait for an earlier walk of the
// same file: where an open song keeps others out (songFilesExcludeEachOther), only who its file
// is, and the song is opened once the wait is over; elsewhere the song is opened at once.
OpenSong lookAtSong(const SongPath &song, const Options &options);

} // namespace SongBatch
