#pragma once

#include "repairfinder.h"

#include <QFile>
#include <QString>

#include <mutex>
#include <span>

// A batch's journal: a text file with a line for each program byte the batch rewrites,
// written and handed to the system before the byte itself, so that however a batch ends (even
// killed), every byte it changed is in its journal and can be put back (restoreJournal).
//
// The journals are in "kadenzo/registro" under the user's data folder ($XDG_DATA_HOME or
// ~/.local/share on Linux, %LOCALAPPDATA% on Windows), one per batch that changes something,
// named by the time the batch made its first change (UTC), so that they sort by time. The first
// line, starting with "#", says which program wrote it and when; then one line per repair, as
// kadenzo-batch --list prints it but with the song's absolute path: path, offset of the
// program byte, channel (1-16), former kit, separated by tabs. A "%", a line feed or a carriage
// return in a path is written as %25, %0A or %0D, so that a line is always one repair.
// restore.h puts a journal's kits back.
class Journal
{
public:
    // `program` and `version`: who writes it, for its first line and its name.
    Journal(const QString &program, const QString &version);

    // Where the journals are kept.
    static QString folder();

    // Records repairs of the song at `songPath` (absolute, as the lines give it) before they are
    // made, in one write. The journal is created at the first one. False, from then on, once it
    // could not be created or written (a folder in the way, a full disk): then no further
    // repair may be made. Safe from several threads.
    bool record(const QString &songPath, std::span<const Repair> repairs);

    // The journal's path once created; else empty.
    QString path() const;
    // Why it could not be created or written; empty while all is well.
    QString problem() const;

private:
    bool create();

    QString program;
    QString version;
    mutable std::mutex mutex;
    QFile file;
    QString failure;
};

// One repair as a journal line holds it.
struct JournalLine
{
    QString path;
    qint64 offset = 0;
    int channel = 0; // 0..15
    int formerKit = 0;
};

// The journal line of a repair, without its line feed; the same shape as a --list line.
QString journalLineText(const JournalLine &line);
QByteArray journalLineBytes(const JournalLine &line); // the same, in UTF-8

// A journal line read back: false when it is not one.
bool parseJournalLine(const QString &text, JournalLine &line);

// The message for a journal that could not be written: the batch stopped there.
QString journalFailedMessage(const Journal &journal);
