// kadenzo-batch [OPTIONS] PATH...: repairs the drum kits of the songs given, and of the songs
// in the folders given, from a terminal or a script; the same engine and the same results as
// the window, on as many threads as the machine has cores.
#include "restore.h"
#include "songbatch.h"
#include "songfolder.h"
#include "texts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QTextStream>
#include <QThread>

#include <string_view>
#include <thread>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#endif

namespace {
constexpr int exitFailedPath = 1;
constexpr int exitUsage = 2;
constexpr int maxJobs = 1024;

// --restore: puts back the original kits of the journals given, newest first.
int restoreJournals(const QStringList &journals, bool dryRun, bool list)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    RestoreTotals totals;
    bool everyJournalRead = true;
    const auto report = [&](const RestoredLine &line) {
        totals.add(line);
        if (line.result == RestoredLine::Result::Restored && list)
            out << journalLineText(line.line) << '\n';
        else if (line.result == RestoredLine::Result::LeftAlone)
            err << leftAloneMessage(line) << Qt::endl;
    };
    const auto notRead = [&](const QString &journal, const QString &problem) {
        err << Texts::journalNotRead(journal, problem) << Qt::endl;
        everyJournalRead = false;
    };
    ::restoreJournals(journals, dryRun, report, notRead);
    out << Texts::restoreSummary(totals.restored, totals.leftAlone) << Qt::endl;
    return everyJournalRead && totals.leftAlone == 0 ? 0 : exitFailedPath;
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

// Whether the arguments ask for a batch that may change songs (paths, and no option that
// writes nothing), and so for a journal, guessed from the raw arguments before Qt starts: the
// journal is then created while the program starts, rather than at the first change, when its
// flushes slowed the walks. The parser decides; a wrong guess costs only time, and a journal
// that gets no line is removed.
bool journalLikely(int argc, char *argv[])
{
    using namespace std::literals;
    bool pathGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--"sv)
            return pathGiven || i + 1 < argc;
        if (argument == "--no-journal"sv || argument == "--dry-run"sv ||
            argument == "--restore"sv || argument.starts_with("--help"sv) ||
            argument == "--version"sv)
            return false;
        // Short options, alone or together ("-rn"): -n, -h, -? and -v.
        if (argument.size() > 1 && argument[0] == '-' && argument[1] != '-' &&
            argument.find_first_of("nh?v"sv) != std::string_view::npos)
            return false;
        pathGiven = pathGiven || !argument.starts_with('-');
    }
    return pathGiven;
}

int usageError(const QString &message)
{
    QTextStream(stderr) << "kadenzo-batch: " << message << Qt::endl
                        << Texts::Batch::helpHint() << Qt::endl;
    return exitUsage;
}
} // namespace

int main(int argc, char *argv[])
{
#ifdef Q_OS_WIN
    static const Utf8Console utf8Console; // static: put back also when Qt's --version exits
#endif
    // Started before the application object, whose making is most of the program's start: the
    // journal needs nothing of it, only files, the clock and the environment. Joined before
    // the batch, and on every way out.
    Journal journal(QStringLiteral("kadenzo-batch"), QStringLiteral(KADENZO_VERSION));
    std::jthread creatingJournal;
    if (journalLikely(argc, argv))
        creatingJournal = std::jthread([&journal] { journal.createAhead(); });
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kadenzo-batch"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KADENZO_VERSION));
    Texts::QtItalian qtItalian;
    qtItalian.install();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        Texts::Batch::description(QDir::toNativeSeparators(Journal::folder())));
    parser.addPositionalArgument(QStringLiteral("PERCORSO"), Texts::Batch::pathArgument(),
                                 QStringLiteral("PERCORSO..."));
    const QCommandLineOption recursive({QStringLiteral("r"), QStringLiteral("recursive")},
                                       Texts::Batch::recursiveOption());
    const QCommandLineOption dryRun({QStringLiteral("n"), QStringLiteral("dry-run")},
                                    Texts::Batch::dryRunOption());
    const QCommandLineOption list({QStringLiteral("l"), QStringLiteral("list")},
                                  Texts::Batch::listOption());
    const QCommandLineOption jobs({QStringLiteral("j"), QStringLiteral("jobs")},
                                  Texts::Batch::jobsOption(QThread::idealThreadCount()),
                                  QStringLiteral("N"));
    const QCommandLineOption noJournal(QStringLiteral("no-journal"),
                                       Texts::Batch::noJournalOption());
    const QCommandLineOption restore(QStringLiteral("restore"), Texts::Batch::restoreOption());
    parser.addOptions({recursive, dryRun, list, jobs, noJournal, restore});
    const QCommandLineOption help = parser.addHelpOption();
    parser.addVersionOption();

    // One list for both: each call of arguments() makes new strings of every path.
    const QStringList arguments = QCoreApplication::arguments();
    if (!parser.parse(arguments)) {
        // Qt names an unknown option without its dashes: it is shown as it was typed.
        QStringList unknown;
        for (const QString &name : parser.unknownOptionNames())
            unknown.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
        return usageError(unknown.isEmpty() ? parser.errorText()
                                            : Texts::Batch::unknownOptions(unknown));
    }
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
            return usageError(Texts::Batch::badJobs(maxJobs, parser.value(jobs)));
    }
    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty())
        return usageError(parser.isSet(restore) ? Texts::Batch::missingJournal()
                                                : Texts::Batch::missingPath());

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
            err << Texts::notOpened(song.path, song.problem) << Qt::endl;
            everyPathWalked = false;
            return;
        }
        for (const Repair &repair : song.conversionList) {
            out << song.path << '\t' << repair.offset << '\t' << repair.channel + 1 << '\t'
                << repair.formerKit << '\n';
        }
        if (song.result == SongBatch::Result::Failed) {
            err << Texts::walkError(song.path) << Qt::endl;
            everyPathWalked = false;
        }
    };
    if (!parser.isSet(noJournal) && !options.dryRun)
        options.journal = &journal;
    if (creatingJournal.joinable())
        creatingJournal.join();
    const SongBatch::Totals totals =
        SongBatch::run(paths, parser.isSet(recursive), options, report);
    out << Texts::summary(totals.filesFound, totals.conversions) << Qt::endl;
    if (!journal.problem().isEmpty()) {
        err << journalFailedMessage(journal) << Qt::endl;
        return exitFailedPath;
    }
    return everyPathWalked ? 0 : exitFailedPath;
}
