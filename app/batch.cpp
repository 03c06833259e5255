// kadenzo-batch [OPTIONS] PATH...: repairs the drum kits of the songs given, and of the songs
// in the folders given, from a terminal or a script; the same engine and the same results as
// the window, on as many threads as the machine has cores.
#include "journal.h"
#include "songbatch.h"
#include "songfolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHash>
#include <QTextStream>
#include <QThread>
#include <QTranslator>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {
constexpr int exitFailedPath = 1;
constexpr int exitUsage = 2;
constexpr int maxJobs = 1024;

// Qt's command-line parser writes its help and its errors in English; Kadenzo speaks Italian.
class ParserTexts : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "QCommandLineParser") != 0)
            return {};
        static const QHash<QString, QString> italian = {
            {"Usage: %1", "Uso: %1"},
            {"[options]", "[OPZIONI]"},
            {"Options:", "Opzioni:"},
            {"Arguments:", "Argomenti:"},
            {"Displays help on commandline options.", "Mostra questo aiuto."},
            {"Displays help including Qt specific options.", "Come --help."},
            {"Displays version information.", "Mostra la versione."},
            {"Unknown option '%1'.", "opzione sconosciuta '%1'."},
            {"Unknown options: %1.", "opzioni sconosciute: %1."},
            {"Missing value after '%1'.", "manca il valore dopo '%1'."},
            {"Unexpected value after '%1'.", "valore inatteso dopo '%1'."},
        };
        return italian.value(QString::fromUtf8(sourceText));
    }
    bool isEmpty() const override { return false; }
};

// --restore: puts back the former kits of the journals given, in that order.
int restoreJournals(const QStringList &journals, bool dryRun, bool list)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    int restored = 0;
    int leftAlone = 0;
    bool everyJournalRead = true;
    for (const QString &journal : journals) {
        QString problem;
        const auto report = [&](const RestoredLine &line) {
            if (line.result == RestoredLine::Result::Restored) {
                ++restored;
                if (list)
                    out << journalLineText(line.line) << '\n';
            } else if (line.result == RestoredLine::Result::LeftAlone) {
                ++leftAlone;
                err << leftAloneMessage(line) << Qt::endl;
            }
        };
        if (!restoreJournal(journal, dryRun, report, problem)) {
            err << SongBatch::notOpenedMessage(journal, problem) << Qt::endl;
            everyJournalRead = false;
        }
    }
    out << restoreSummary(restored, leftAlone) << Qt::endl;
    return everyJournalRead && leftAlone == 0 ? 0 : exitFailedPath;
}
#ifdef Q_OS_WIN
// Windows' console shows bytes in its own code page, not in the UTF-8 that kadenzo-batch
// writes (accents, and paths in any script): it is switched to UTF-8 while the program runs.
struct Utf8Console
{
    const UINT previous = GetConsoleOutputCP();
    Utf8Console() { SetConsoleOutputCP(CP_UTF8); }
    ~Utf8Console()
    {
        if (previous != 0)
            SetConsoleOutputCP(previous);
    }
};
#endif

int usageError(const QString &message)
{
    QTextStream(stderr) << "kadenzo-batch: " << message << Qt::endl
                        << "Per l'aiuto: kadenzo-batch --help" << Qt::endl;
    return exitUsage;
}
} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    static const Utf8Console utf8Console; // static: put back also when Qt's --version exits
#endif
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kadenzo-batch"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KADENZO_VERSION));
    ParserTexts parserTexts;
    QCoreApplication::installTranslator(&parserTexts);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Converte il DrumKit dei Midifile (.mid, .kar) che utilizzano impostazioni non "
        "standard:\nogni kit di batteria non standard diventa kit 0, direttamente nei file, "
        "senza copia\ndi sicurezza.\n\n"
        "Alla fine stampa il riepilogo \"Files trovati: N, numero Conversioni: M\"; sullo "
        "standard\nerror una riga per ogni file con un errore e per ogni percorso che non si "
        "è potuto\naprire.\n\n"
        "Stato di uscita: 0 se ogni percorso è stato elaborato senza errori, 1 se un file\n"
        "ha un errore o un percorso non si può aprire, 2 se il comando è sbagliato."));
    parser.addPositionalArgument(
        QStringLiteral("PERCORSO"),
        QStringLiteral("Un Midifile, o una cartella: i suoi file .mid e .kar."),
        QStringLiteral("PERCORSO..."));
    const QCommandLineOption recursive(
        {QStringLiteral("r"), QStringLiteral("recursive")},
        QStringLiteral("Anche le sottocartelle delle cartelle (non i collegamenti simbolici)."));
    const QCommandLineOption dryRun(
        {QStringLiteral("n"), QStringLiteral("dry-run")},
        QStringLiteral("Non modifica nessun file: stampa il riepilogo (con -l anche ogni "
                       "conversione) che darebbe la riparazione."));
    const QCommandLineOption list(
        {QStringLiteral("l"), QStringLiteral("list")},
        QStringLiteral("Una riga per conversione: file, posizione, canale, kit sostituito."));
    const QCommandLineOption jobs(
        {QStringLiteral("j"), QStringLiteral("jobs")},
        QStringLiteral("Ripara fino a N file alla volta (predefinito: %1, uno per processore).")
            .arg(QThread::idealThreadCount()),
        QStringLiteral("N"));
    const QCommandLineOption noJournal(
        QStringLiteral("no-journal"),
        QStringLiteral("Non scrive il registro delle modifiche (per chi tiene copie proprie)."));
    const QCommandLineOption restore(
        QStringLiteral("restore"),
        QStringLiteral("Rimette i kit dei registri delle modifiche dati come PERCORSO, dall'ultima "
                       "riga alla prima."));
    parser.addOptions({recursive, dryRun, list, jobs, noJournal, restore});
    const QCommandLineOption help = parser.addHelpOption();
    parser.addVersionOption();

    // One list for both: each call of arguments() makes new strings of every path.
    const QStringList arguments = QCoreApplication::arguments();
    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    // Qt would print the help in the system's 8-bit code page, which on Windows is not UTF-8.
    // Its --help-all adds only a QML debugger's option, which kadenzo-batch has no use for.
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        QTextStream(stdout) << parser.helpText();
        return 0;
    }
    // Nothing more to fail: Qt's own handling of --version, which exits.
    parser.process(arguments);

    int jobCount = QThread::idealThreadCount();
    if (parser.isSet(jobs)) {
        bool isNumber = false;
        jobCount = parser.value(jobs).toInt(&isNumber);
        if (!isNumber || jobCount < 1 || jobCount > maxJobs)
            return usageError(QStringLiteral("--jobs vuole un numero da 1 a %1, non '%2'.")
                                  .arg(maxJobs)
                                  .arg(parser.value(jobs)));
    }
    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty())
        return usageError(QStringLiteral("manca il PERCORSO dei Midifile."));

    if (parser.isSet(restore))
        return restoreJournals(paths, parser.isSet(dryRun), parser.isSet(list));

    SongBatch::Options options;
    options.jobs = jobCount;
    options.dryRun = parser.isSet(dryRun);
    options.listConversions = parser.isSet(list);

    QTextStream out(stdout);
    QTextStream err(stderr);
    bool everyPathWalked = true;
    const auto report = [&](const SongBatch::Outcome &song) {
        if (!song.problem.isEmpty()) {
            err << SongBatch::notOpenedMessage(song.path, song.problem) << Qt::endl;
            everyPathWalked = false;
            return;
        }
        for (const ConversionEngine::Conversion &conversion : song.conversionList) {
            out << song.path << '\t' << conversion.offset << '\t' << conversion.channel + 1 << '\t'
                << conversion.formerKit << '\n';
        }
        if (song.result == ConversionEngine::FileResult::Failed) {
            err << ConversionEngine::errorMessage(song.path) << Qt::endl;
            everyPathWalked = false;
        }
    };
    Journal journal(QStringLiteral("kadenzo-batch"), QStringLiteral(KADENZO_VERSION));
    if (!parser.isSet(noJournal) && !options.dryRun)
        options.journal = &journal;
    const ConversionEngine::Totals totals =
        SongBatch::run(songsForPaths(paths, parser.isSet(recursive)), options, report);
    out << ConversionEngine::summaryMessage(totals) << Qt::endl;
    if (!journal.problem().isEmpty()) {
        err << journalFailedMessage(journal) << Qt::endl;
        return exitFailedPath;
    }
    return everyPathWalked ? 0 : exitFailedPath;
}
