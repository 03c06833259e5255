#pragma once
// Every text that Kadenzo's two programs show a user, in one place: the window's dialog
// captions and buttons, the messages of a batch and of a restore, and kadenzo-batch's help.
// The window's own labels and buttons are in its form (ui/mainwindow.ui).

#include <QString>
#include <QTranslator>
#include <QtGlobal>

namespace Texts {

// Shown by the window through Qt's translation, in the context of its form, "MainWindow".
inline constexpr const char *songsCaption =
    QT_TRANSLATE_NOOP("MainWindow", "Seleziona i file da importare");
inline constexpr const char *folderCaption = QT_TRANSLATE_NOOP("MainWindow", "Scegli cartella");
inline constexpr const char *ignoreTheRestButton =
    QT_TRANSLATE_NOOP("MainWindow", "Ignora i successivi");
inline constexpr const char *restoreButton = QT_TRANSLATE_NOOP("MainWindow", "&Ripristina i kit");
// The question before restoring a journal dropped on the window or given on its command line;
// its buttons are restoreButton, the default, and Qt's own Cancel button.
QString restoreQuestion(const QString &journalPath, int changes);
// Said instead of the question when the journal lists no change (its batch was stopped as it
// created it).
QString nothingToRestore(const QString &journalPath);
// Plain texts, never translated.
inline constexpr const char *songFilter = "Midifile (*.mid *.kar)";

// A song that holds an event the walk does not accept.
QString walkError(const QString &path);
// The totals of a batch.
QString summary(int filesFound, int conversions);
// The window's summary adds the songs not opened and those a stop left out, when there are some.
QString notOpenedCount(int notOpened);
QString stoppedCount(int notWalked);

// Why a path could not be opened, in the words that follow "Impossibile aprire PATH: ".
enum class NotOpened { Missing, AccessDenied, ReadOnly, InUse, Folder, NotFileOrFolder };
QString notOpenedReason(NotOpened reason);
QString notOpened(const QString &path, const QString &reason);
// A name that the system gives in bytes that are not text (a Latin-1 name on Linux, an unpaired
// surrogate on Windows): it cannot be named exactly, nor recorded in a journal.
QString nameNotText();

// The window's details line of a changed song: "PATH: canale 10: kit 17 → 0 (2 volte); ...".
QString changeOfKit(int channel, int formerKit, int times);
QString stoppedAfter(qint64 bytes);

// The journal.
QString journalHeader(const QString &program, const QString &version, const QString &time);
QString journalFolderIsAFile(const QString &folder);
QString journalFolderNotMade(const QString &folder);
QString journalFailed(const QString &journalPath, const QString &problem);
QString journalLine(const QString &journalPath);
QString notAJournal();
QString journalNotFlushed();
QString journalNotRead(const QString &journalPath, const QString &problem);

// A restore: why a journal line is left alone, the message for it, and the summary.
QString noProgramChangeThere();
QString programChangeOnChannel(int channel);
QString otherKitThere(int kit);
QString incompleteLine();
QString notRhythmChannelThere(int channel);
QString standardKitInLine(int kit);
QString sizeChanged(qint64 now, qint64 then);
QString leftAlone(int lineNumber, const QString &reason);
QString leftAlone(const QString &path, qint64 offset, int channel, int formerKit,
                  const QString &reason);
QString restoreSummary(int restored, int leftAlone);

// kadenzo-batch's help and its complaints about a command.
namespace Batch {
QString description(const QString &journalFolder);
QString pathArgument();
QString recursiveOption();
QString dryRunOption();
QString listOption();
QString jobsOption(int defaultJobs);
QString noJournalOption();
QString restoreOption();
QString badJobs(int maxJobs, const QString &given);
QString missingPath();
QString missingJournal();
// Unknown options, as typed ("-q", "--quiet").
QString unknownOptions(const QStringList &asTyped);
QString helpHint();
} // namespace Batch

// Italian for Qt's own texts, whatever the system's language: the buttons of Qt's dialogs and
// message boxes from Qt's Italian catalogue (qtbase_it.qm, from Qt's translations folder or
// "translations" beside the program), and the help and complaints of Qt's command-line parser
// in Kadenzo's own words.
class QtItalian : public QTranslator
{
public:
    // Loads the catalogue and installs this translator. Without the catalogue only the
    // parser's texts are Italian, and it returns false.
    bool install();
    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int n) const override;
    bool isEmpty() const override { return false; }
};

} // namespace Texts
