#include "songopen.h"
#include "texts.h"

#include <QFileInfo>

namespace SongBatch {

void OpenSong::describe()
{
    if (const std::optional<OpenFileFacts> facts = openFileFacts(*file)) {
        identity = facts->identity;
        size = facts->size;
        if (!facts->regular) // a read could wait for a writer for ever
            problem = Texts::notOpenedReason(Texts::NotOpened::NotFileOrFolder);
    }
}

OpenSong openSong(const SongPath &song, const Options &options)
{
    OpenSong open;
    if (!song.problem.isEmpty()) {
        open.problem = song.problem;
        return open;
    }
    open.file = std::make_unique<SongFile>(song.path);
    if (options.dryRun) {
        if (!openSongForReading(*open.file)) {
            open.problem = whyNotOpened(song.path, open.file->errorString());
        } else if (!QFileInfo(song.path).isWritable()) {
            // A real run opens the file for writing too: it must be allowed to.
            open.problem = whyNotOpened(song.path, QString());
        } else {
            open.describe();
        }
    } else if (openSongForRepair(*open.file)) {
        open.describe();
    } else {
        open.problem = whyNotOpened(song.path, open.file->errorString());
    }
    return open;
}

OpenSong lookAtSong(const SongPath &song, const Options &options)
{
    if (songFilesExcludeEachOther && song.problem.isEmpty()) {
        if (std::optional<FileIdentity> identity = identityOfPath(song.path)) {
            OpenSong later;
            later.identity = identity;
            later.openAfterWaiting = true;
            return later;
        }
    }
    return openSong(song, options);
}

} // namespace SongBatch
