#pragma once

#include "repairfinder.h"

#include <QFile>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <span>

// A batch's journal: a text file with a line for each program byte the batch rewrites, written
// and flushed to the disk before the byte itself (a write-ahead log), so that however a batch
// ends (killed, or the machine losing its power), every byte it changed is in its journal and
// can be put back (restore.h). A crash between a line and its byte leaves a line whose byte
// still holds its original kit, which a restore finds nothing to do for.
//
// The journals are in "kadenzo/registro" under the user's data folder ($XDG_DATA_HOME or
// ~/.local/share on Linux, %LOCALAPPDATA% on Windows), one per batch that changes something,
// named by the time the journal was created (UTC), so that they sort by time. The first
// line, starting with "#", says which program wrote it and when, and names the columns; then
// one line per repair, as kadenzo-batch --list prints it but with the song's path as the system
// resolves it (links and ".." followed): path, offset of the program byte, channel (1-16),
// original kit, then the song's size in bytes when it was changed, separated by tabs and ended
// by a line feed. A "%", a line feed or a carriage return in a path is written as %25, %0A or
// %0D, so that a line is always one repair. Journals written before the size was added have
// four columns, which their first line names.
class Journal
{
public:
    // `program` and `version`: who writes it, for its first line and its name.
    Journal(const QString &program, const QString &version);
    // A journal created ahead that never got a line is removed: its batch changed nothing.
    ~Journal();
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

    // Where the journals are kept.
    static QString folder();

    // Creates the journal and puts it and its name on the disk, before any write: a new
    // journal's first flush costs about twice a later one, and made while songs are walked it
    // slowed the walks. Where that fails, nothing is kept, and the first write tries again and
    // reports why. Not while another thread uses the journal.
    void createAhead();
    // Writes the lines of repairs of the song at `songPath` (as the lines give it), of `songSize`
    // bytes, in one write, and returns their ticket for commit(); 0 once the journal could not
    // be created or written (a folder in the way, a full disk): then no further repair may be
    // made. The journal is created at the first call, and its folder flushed at the first
    // commit.
    quint64 write(const QString &songPath, qint64 songSize, std::span<const Repair> repairs);
    // Returns once the lines of `ticket` are on the disk: flushes the journal, or waits for a
    // flush under way that covers them, so that songs in flight on several threads share
    // flushes. False once the journal could not be written or flushed.
    bool commit(quint64 ticket);
    // Both, for one song's group of repairs.
    bool record(const QString &songPath, qint64 songSize, std::span<const Repair> repairs)
    {
        const quint64 ticket = write(songPath, songSize, repairs);
        return ticket != 0 && commit(ticket);
    }

    // The journal's path once it holds lines, or could not be written; else empty.
    QString path() const;
    // Why it could not be created or written; empty while all is well.
    QString problem() const;

private:
    bool create();

    QString program;
    QString version;
    mutable std::mutex mutex;
    std::condition_variable flushed;
    QFile file;
    QString failure;
    quint64 written = 0;   // tickets of the writes so far
    quint64 committed = 0; // the last ticket on the disk
    bool flushing = false;
    bool folderFlushed = false;
    bool holdsLines = false;
};

// One repair as a journal line holds it.
struct JournalLine
{
    QString path;
    qint64 offset = 0;
    int channel = 0; // 0..15
    int formerKit = 0;
    qint64 size = -1; // of the song when it was changed; -1 in journals without sizes
};

// The journal line of a repair, without its line feed; the same shape as a --list line.
QString journalLineText(const JournalLine &line);
QByteArray journalLineBytes(const JournalLine &line); // the same, in UTF-8

// A journal line read back, without its line feed, from a journal whose lines have `columns`
// columns (4 or 5: see the class comment): false when it is not one.
bool parseJournalLine(const QString &text, int columns, JournalLine &line);

// The message for a journal that could not be written: the batch stopped there.
QString journalFailedMessage(const Journal &journal);
