// kadenzo-batch run as a process, as a user runs it: what it prints on each stream, how it
// exits, and what it leaves in the files.
#include "journal.h"
#include "midibytes.h"
#include "songbatch.h"
#include "songfile.h"
#include "texts.h"

#include <QDir>
#include <QDirIterator>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <tuple>

#ifdef Q_OS_UNIX
#include <fstream>
#include <sys/stat.h>
#endif

namespace {
struct Run
{
    int exitCode = -1;
    QStringList out;
    QStringList err;
    friend bool operator==(const Run &, const Run &) = default;
};

// Lines without their end, which is "\r\n" on Windows.
QStringList lines(const QByteArray &text)
{
    QStringList result = QString::fromUtf8(text).split(u'\n');
    if (result.last().isEmpty())
        result.removeLast();
    for (QString &line : result) {
        if (line.endsWith(u'\r'))
            line.chop(1);
    }
    return result;
}

Run runBatch(const QStringList &arguments, const QString &workingDirectory = {})
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    QString program = QStringLiteral(KADENZO_BATCH);
    QStringList programArguments = arguments;
#ifdef Q_OS_UNIX
    // A name in bytes that are not UTF-8 (Latin-1 "caf\xe9.mid") is no QString, and QProcess hands
    // over only QStrings: an argument with a backslash is written as printf's %b reads it
    // ("caf\\0351.mid"), and a shell hands kadenzo-batch the bytes that printf writes.
    if (arguments.join(QString()).contains(u'\\')) {
        const QString script = QStringLiteral("n=$#; for a in \"$@\"; do set -- \"$@\" "
                                              "\"$(printf %b \"$a\")\"; done; shift $n; "
                                              "exec \"$0\" \"$@\"");
        programArguments = QStringList{QStringLiteral("-c"), script, program} + arguments;
        program = QStringLiteral("/bin/sh");
    }
#endif
    process.start(program, programArguments);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = lines(process.readAllStandardOutput());
    run.err = lines(process.readAllStandardError());
    return run;
}

// Every file under `root` (symbolic links as links, pipes left out), by path relative to it,
// with its bytes.
QMap<QString, QByteArray> filesUnder(const QString &root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (!it.fileInfo().isSymLink() && it.fileInfo().isFile())
            files.insert(QDir(root).relativeFilePath(path), readFile(path));
    }
    return files;
}

// A song whose writes fail after the first `limit`, as on a disk that has just failed.
class WriteFailingFile : public QFile
{
public:
    WriteFailingFile(const QString &path, int limit)
        : QFile(path)
        , limit(limit)
    {
    }

protected:
    qint64 writeData(const char *data, qint64 size) override
    {
        return writes++ < limit ? QFile::writeData(data, size) : -1;
    }

private:
    int limit;
    int writes = 0;
};

QString summary(int files, int conversions)
{
    return QStringLiteral("Files trovati: %1, numero Conversioni: %2").arg(files).arg(conversions);
}

QString walkError(const QString &path)
{
    return QStringLiteral("Attenzione! E' stato trovato un errore nel file ") + path;
}

QString openError(const QString &path, const QString &problem)
{
    return QStringLiteral("Attenzione! Impossibile aprire %1: %2").arg(path, problem);
}

// A one-track song with the given events after the track header; a drum kit to repair in
// its first event puts the program byte at offset 24 (14 of header, 8 of track header, 2).
QByteArray song(const char *events)
{
    return smfHeader(1) + smfTrack(QByteArray(hex(events)) + hex("00 FF 2F 00"));
}

// The collection the interface table runs over, with its songs before and after a repair.
// Kits: 17, 9, 19, 21 are not standard ones; 0 is.
struct Fixture
{
    QString path;
    QByteArray before;
    QByteArray after;
};

const QList<Fixture> &fixtures()
{
    static const QList<Fixture> list = {
        {"single.mid", song("00 C9 11"), song("00 C9 00")},
        {"broken.mid", smfHeader(1) + smfTrack("00 F7 00"), {}},
        {"notes.txt", "some notes", {}},
        // Two conversions under running status, at 24 and 26.
        {"songs/a.kar", song("00 C9 11 00 14"), song("00 C9 00 00 00")},
        {"songs/B.MID", song("00 C9 09"), song("00 C9 00")},
        {"songs/c.mid", song("00 C9 00"), {}},
        {"songs/notes.txt", song("00 C9 11"), song("00 C9 00")}, // not a song by its name
        {"songs/folder.mid/inner.mid", song("00 C9 13"), song("00 C9 00")},
        {"songs/Sub/d.MID", song("00 C9 15"), song("00 C9 00")},
        {"songs/Sub/deeper/e.mid", smfHeader(1) + smfTrack("00 C0 05 00 F1"), {}},
        // A velocity out of range (0x81): the kit behind it, at 28, waits for the track's end,
        // which a stray byte spoils in unproven.mid.
        {"held.mid", song("00 99 24 81 00 C9 11"), song("00 99 24 81 00 C9 00")},
        {"unproven.mid", song("00 99 24 81 00 C9 11") + hex("F7"), {}},
        {"links/.hidden.mid", song("00 C9 11"), {}},
        // Beside a song and a folder named in Latin-1 bytes (makeFixtures), a name that holds
        // U+FFFD in UTF-8, as a name may: a song like any other.
        {"latin1/real\uFFFD.mid", song("00 C9 11"), song("00 C9 00")},
    };
    return list;
}

#ifdef Q_OS_UNIX
// A song and a folder named in Latin-1 bytes, as old CDs and Windows copies carry them: not UTF-8,
// so no QString names them, and Qt shows them with U+FFFD, "caf\uFFFD.mid" and "caf\uFFFD".
const char *const latin1Song = "latin1/caf\xe9.mid";
const char *const latin1Folder = "latin1/caf\xe9";

bool writeBytes(const QByteArray &path, const QByteArray &bytes)
{
    std::ofstream file(path.constData(), std::ios::binary);
    file.write(bytes.constData(), bytes.size());
    file.close();
    return !file.fail();
}

QByteArray readBytes(const QByteArray &path)
{
    std::ifstream file(path.constData(), std::ios::binary);
    return QByteArray::fromStdString({std::istreambuf_iterator<char>(file), {}});
}
#endif

bool makeFixtures(const QString &root)
{
    for (const Fixture &fixture : fixtures()) {
        const QString path = root + u'/' + fixture.path;
        if (!QDir().mkpath(QFileInfo(path).path()) || !writeFile(path, fixture.before))
            return false;
    }
#ifdef Q_OS_UNIX
    // In links/: a link to a song, one that leads nowhere, and a pipe, which no walk may wait on.
    const QByteArray pipe = QFile::encodeName(root + QStringLiteral("/links/pipe.mid"));
    const QByteArray rootBytes = QFile::encodeName(root) + '/';
    // A link to a folder, which -r must not follow: it would reach d.MID again.
    return QFile::link(QStringLiteral("../single.mid"), root + QStringLiteral("/links/a.mid")) &&
           QFile::link(QStringLiteral("nowhere.mid"), root + QStringLiteral("/links/gone.mid")) &&
           mkfifo(pipe.constData(), 0600) == 0 &&
           QFile::link(QStringLiteral("Sub"), root + QStringLiteral("/songs/zlink")) &&
           writeBytes(rootBytes + latin1Song, song("00 C9 11")) &&
           mkdir((rootBytes + latin1Folder).constData(), 0700) == 0;
#else
    return true;
#endif
}

// The journals in the journal folder, oldest first.
QStringList journals()
{
    const QDir folder(Journal::folder());
    QStringList paths;
    for (const QString &name : folder.entryList({"*.tsv"}, QDir::Files, QDir::Name))
        paths.append(folder.filePath(name));
    return paths;
}

// The journal that a run wrote, if one: the newest that was not there before.
QString newJournal(const QStringList &before)
{
    const QStringList after = journals();
    return after.size() > before.size() && !before.contains(after.last()) ? after.last()
                                                                          : QString();
}

const QString usageHint = QStringLiteral("Per l'aiuto, scrivete: kadenzo-batch --help");
} // namespace

class BatchTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void interface_data();
    void interface();
    void helpAndManualPageNameTheSameOptions();
    void unwritableFileIsReportedAndLeftAlone();
    void aSongThatBecameAPipeIsReportedNotWaitedOn();
    void jobsAndDryRunChangeNothingInTheOutput();
    void manySongsInFlight_data();
    void manySongsInFlight();
    void restoreGivesBackEveryByte_data();
    void restoreGivesBackEveryByte();
    void aBatchStoppedAnywhereCanBeRestored();
    void journalLinesReachTheDiskBeforeTheirBytes();

private:
    QTemporaryDir dataHome; // the user's data folder, where the journals go
};

void BatchTest::initTestCase()
{
    // The journals go under $XDG_DATA_HOME on Linux; under Wine, to the prefix's own
    // %LOCALAPPDATA%, which the test looks at through the same call.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
}

void BatchTest::interface_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("out");
    QTest::addColumn<QStringList>("err");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("repaired"); // the fixtures changed; every other stays

    const QStringList folderList = {"songs/a.kar\t24\t10\t17", "songs/a.kar\t26\t10\t20",
                                    "songs/B.MID\t24\t10\t9"};
    // Own songs first, then subfolders by name ignoring case: folder.mid before Sub.
    const QStringList recursiveList =
        folderList +
        QStringList{"songs/folder.mid/inner.mid\t24\t10\t19", "songs/Sub/d.MID\t24\t10\t21"};
    const QStringList folderRepaired = {"songs/a.kar", "songs/B.MID"};
    const QStringList recursiveRepaired =
        folderRepaired + QStringList{"songs/folder.mid/inner.mid", "songs/Sub/d.MID"};
    const QString eBroken = walkError("songs/Sub/deeper/e.mid");

    QTest::newRow("a file") << QStringList{"single.mid"} << QStringList{summary(1, 1)}
                            << QStringList{} << 0 << QStringList{"single.mid"};
    QTest::newRow("a file, --list") << QStringList{"--list", "single.mid"}
                                    << QStringList{"single.mid\t24\t10\t17", summary(1, 1)}
                                    << QStringList{} << 0 << QStringList{"single.mid"};
    QTest::newRow("a file that is no song, given by name")
        << QStringList{"notes.txt"} << QStringList{summary(1, 0)}
        << QStringList{walkError("notes.txt")} << 1 << QStringList{};
    QTest::newRow("a broken file among good ones")
        << QStringList{"-l", "broken.mid", "single.mid"}
        << QStringList{"single.mid\t24\t10\t17", summary(2, 1)}
        << QStringList{walkError("broken.mid")} << 1 << QStringList{"single.mid"};
    QTest::newRow("a held-back repair is listed once written, a repair never written not at all")
        << QStringList{"-l", "unproven.mid", "held.mid"}
        << QStringList{"held.mid\t28\t10\t17", summary(2, 1)}
        << QStringList{walkError("unproven.mid")} << 1 << QStringList{"held.mid"};
    QTest::newRow("the same in a dry run")
        << QStringList{"-n", "-l", "unproven.mid", "held.mid"}
        << QStringList{"held.mid\t28\t10\t17", summary(2, 1)}
        << QStringList{walkError("unproven.mid")} << 1 << QStringList{};
    QTest::newRow("a folder: its songs in name order ignoring case, no subfolder")
        << QStringList{"songs"} << QStringList{summary(3, 3)} << QStringList{} << 0
        << folderRepaired;
    QTest::newRow("a folder written with its slash")
        << QStringList{"-l", "songs/"} << folderList + QStringList{summary(3, 3)} << QStringList{}
        << 0 << folderRepaired;
    QTest::newRow("a folder named folder.mid")
        << QStringList{"-l", "songs/folder.mid"}
        << QStringList{"songs/folder.mid/inner.mid\t24\t10\t19", summary(1, 1)} << QStringList{}
        << 0 << QStringList{"songs/folder.mid/inner.mid"};
    QTest::newRow("-r: subfolders too, links to folders not followed")
        << QStringList{"-r", "-l", "songs"} << recursiveList + QStringList{summary(6, 5)}
        << QStringList{eBroken} << 1 << recursiveRepaired;
    QTest::newRow("--recursive") << QStringList{"--recursive", "songs/Sub"}
                                 << QStringList{summary(2, 1)} << QStringList{eBroken} << 1
                                 << QStringList{"songs/Sub/d.MID"};
    QTest::newRow("--dry-run writes nothing and prints what a run prints")
        << QStringList{"--dry-run", "-r", "-l", "songs"}
        << recursiveList + QStringList{summary(6, 5)} << QStringList{eBroken} << 1 << QStringList{};
    QTest::newRow("-n, a file twice: the second walk sees the first one's repair")
        << QStringList{"-n", "-l", "single.mid", "single.mid"}
        << QStringList{"single.mid\t24\t10\t17", summary(2, 1)} << QStringList{} << 0
        << QStringList{};
    QTest::newRow("a file three times, by two paths: repaired once")
        << QStringList{"-l", "single.mid", "./single.mid", "single.mid"}
        << QStringList{"single.mid\t24\t10\t17", summary(3, 1)} << QStringList{} << 0
        << QStringList{"single.mid"};
    QTest::newRow("a folder and a song in it: the song twice")
        << QStringList{"-l", "songs", "songs/B.MID"} << folderList + QStringList{summary(4, 3)}
        << QStringList{} << 0 << folderRepaired;
    QTest::newRow("a missing path is reported, not created")
        << QStringList{"-l", "single.mid", "missing.mid", "songs/c.mid"}
        << QStringList{"single.mid\t24\t10\t17", summary(2, 1)}
        << QStringList{openError("missing.mid", "non esiste")} << 1 << QStringList{"single.mid"};
    QTest::newRow("-j 3, all options")
        << QStringList{"-j", "3", "-r", "-l", "songs", "single.mid"}
        << recursiveList + QStringList{"single.mid\t24\t10\t17", summary(7, 6)}
        << QStringList{eBroken} << 1 << recursiveRepaired + QStringList{"single.mid"};
    QTest::newRow("short options together, --jobs=1")
        << QStringList{"-rnl", "--jobs=1", "songs"} << recursiveList + QStringList{summary(6, 5)}
        << QStringList{eBroken} << 1 << QStringList{};
    QTest::newRow("-j with more jobs than songs")
        << QStringList{"-lj64", "single.mid"}
        << QStringList{"single.mid\t24\t10\t17", summary(1, 1)} << QStringList{} << 0
        << QStringList{"single.mid"};
#ifdef Q_OS_UNIX
    QTest::newRow(
        "a folder's songs: a link to a song, not a link to nowhere, a pipe, a hidden song")
        << QStringList{"-l", "links"} << QStringList{"links/a.mid\t24\t10\t17", summary(1, 1)}
        << QStringList{} << 0 << QStringList{"single.mid"};
    QTest::newRow("neither a file nor a folder")
        << QStringList{"/dev/null"} << QStringList{summary(0, 0)}
        << QStringList{openError("/dev/null", "non è un file né una cartella")} << 1
        << QStringList{};
    const QString notText = Texts::nameNotText();
    QTest::newRow("-r: a song and a folder named in Latin-1 bytes are reported, left alone")
        << QStringList{"-r", "-l", "latin1"}
        << QStringList{"latin1/real\uFFFD.mid\t24\t10\t17", summary(1, 1)}
        << QStringList{openError("latin1/caf\uFFFD.mid", notText),
                       openError("latin1/caf\uFFFD", notText)}
        << 1 << QStringList{"latin1/real\uFFFD.mid"};
    QTest::newRow("the song named in Latin-1 bytes, given by its bytes")
        << QStringList{"-l", "latin1/caf\\0351.mid", "latin1/real\uFFFD.mid"}
        << QStringList{"latin1/real\uFFFD.mid\t24\t10\t17", summary(1, 1)}
        << QStringList{openError("latin1/caf\uFFFD.mid", notText)} << 1
        << QStringList{"latin1/real\uFFFD.mid"};
#endif
#ifdef Q_OS_WIN
    QTest::newRow("a folder written with backslashes")
        << QStringList{"-l", "songs\\Sub"}
        << QStringList{"songs\\Sub\\d.MID\t24\t10\t21", summary(1, 1)} << QStringList{} << 0
        << QStringList{"songs/Sub/d.MID"};
#endif

    // Usage errors: nothing is read or written, and the message ends with the hint.
    const auto usage = [&](const char *name, const QStringList &arguments, const QString &message) {
        QTest::newRow(name) << arguments << QStringList{}
                            << QStringList{"kadenzo-batch: " + message, usageHint} << 2
                            << QStringList{};
    };
    const QString noPath = "manca il PERCORSO: indicate almeno una canzone o una cartella.";
    usage("no path", {}, noPath);
    usage("options but no path", {"-r", "-l"}, noPath);
    usage("--restore without a journal", {"--restore"},
          "manca il registro delle modifiche da ripristinare: indicate almeno un registro.");
    usage("an unknown option, as typed", {"-q", "single.mid"}, "opzione sconosciuta: -q");
    usage("an unknown long option", {"single.mid", "--fast"}, "opzione sconosciuta: --fast");
    usage("two unknown options", {"-lq", "--fast", "single.mid"},
          "opzioni sconosciute: -q, --fast");
    usage("-j without a number", {"single.mid", "-j"}, "manca il valore di -j");
    const QString badJobs = "--jobs richiede un numero da 1 a 1024, non '%1'.";
    usage("--jobs 0", {"--jobs", "0", "single.mid"}, badJobs.arg("0"));
    usage("--jobs of words", {"--jobs", "tanti", "single.mid"}, badJobs.arg("tanti"));
    usage("-j -1", {"-j", "-1", "single.mid"}, badJobs.arg("-1"));
    usage("a value for a switch", {"--list=yes", "single.mid"},
          "l'opzione --list non accetta un valore");

    QTest::newRow("-v") << QStringList{"-v"} << QStringList{"kadenzo-batch 1.1"} << QStringList{}
                        << 0 << QStringList{};
}

void BatchTest::interface()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, out);
    QFETCH(QStringList, err);
    QFETCH(int, exitCode);
    QFETCH(QStringList, repaired);

    QTemporaryDir dir;
#ifdef Q_OS_UNIX
    // QTemporaryDir removes only what a QString names, not the names in Latin-1 bytes:
    // std::filesystem, which names by bytes, removes the folder first.
    const auto removeEverything = qScopeGuard([&] {
        std::error_code error;
        std::filesystem::remove_all(QFile::encodeName(dir.path()).toStdString(), error);
    });
#endif
    QVERIFY(makeFixtures(dir.path()));
    const Run run = runBatch(arguments, dir.path());
    QCOMPARE(run.out, out);
    QCOMPARE(run.err, err);
    QCOMPARE(run.exitCode, exitCode);

    QMap<QString, QByteArray> expected;
    for (const Fixture &fixture : fixtures())
        expected.insert(fixture.path,
                        repaired.contains(fixture.path) ? fixture.after : fixture.before);
    QCOMPARE(filesUnder(dir.path()), expected);
#ifdef Q_OS_UNIX
    // One that filesUnder cannot open by its name.
    QCOMPARE(readBytes(QFile::encodeName(dir.path()) + '/' + latin1Song), song("00 C9 11"));
#endif
}

// The options a text names: "-j, --jobs <N>" names -j and --jobs.
QStringList optionNames(const QString &text)
{
    static const QRegularExpression option(QStringLiteral("(?<![\\w-])--?[a-z][a-z-]*"));
    QStringList names;
    for (const QRegularExpressionMatch &match : option.globalMatch(text))
        names.append(match.captured());
    return names;
}

// The help names the options and the exit statuses that the manual page describes, no more and
// no fewer, says where the journals are, and comes out in UTF-8 on every system.
void BatchTest::helpAndManualPageNameTheSameOptions()
{
    const Run run = runBatch({"--help"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.err.isEmpty());
    QVERIFY2(run.out.first().startsWith("Uso: ") &&
                 run.out.first().endsWith(" [OPZIONI] PERCORSO..."),
             qPrintable(run.out.first()));
    QVERIFY(run.out.contains("  " + QDir::toNativeSeparators(Journal::folder())));
    QStringList inHelp;
    QStringList statusesInHelp;
    static const QRegularExpression status(QStringLiteral("^  ([0-9])  \\S"));
    for (const QString &line : run.out) {
        if (line.startsWith(QLatin1String("  -"))) // "  -r, --recursive   Elabora..."
            inHelp += optionNames(line.trimmed().section(QStringLiteral("  "), 0, 0));
        if (const QRegularExpressionMatch match = status.match(line); match.hasMatch())
            statusesInHelp.append(match.captured(1)); // "  1  una canzone ha un errore..."
    }

    // In the manual page, each option is the line after a .TP in the OPZIONI section.
    QString page = QString::fromUtf8(readFile(QStringLiteral(KADENZO_BATCH_MANUAL)));
    page.remove(QRegularExpression(QStringLiteral("\\\\f[BIRP]")))
        .replace(QStringLiteral("\\-"), QStringLiteral("-"));
    const QString options =
        page.section(QStringLiteral(".SH OPZIONI\n"), 1).section(QStringLiteral("\n.SH "), 0, 0);
    QStringList inManual;
    for (const QString &entry : options.split(QStringLiteral(".TP\n")).mid(1))
        inManual += optionNames(entry.section(u'\n', 0, 0));

    inHelp.sort();
    inManual.sort();
    QVERIFY(!inHelp.isEmpty());
    QCOMPARE(inHelp, inManual);

    // Each exit status is a ".B N" after a .TP in the STATO DI USCITA section.
    const QString statuses = page.section(QStringLiteral(".SH \"STATO DI USCITA\"\n"), 1)
                                 .section(QStringLiteral("\n.SH "), 0, 0);
    QStringList statusesInManual;
    for (const QString &entry : statuses.split(QStringLiteral(".TP\n")).mid(1))
        statusesInManual.append(entry.section(u'\n', 0, 0).remove(QStringLiteral(".B ")));
    QCOMPARE(statusesInHelp, QStringList({"0", "1", "2"}));
    QCOMPARE(statusesInHelp, statusesInManual);
    QVERIFY(page.contains(QStringLiteral(".SH \"REGISTRO DELLE MODIFICHE\"")));
}

// Cannot be opened for writing: reported and left alone, by a run. A dry run judges by the
// file's permissions, which this file (refused by the kernel) does not show.
void BatchTest::unwritableFileIsReportedAndLeftAlone()
{
    const QString unwritable = unwritableFile();
    if (unwritable.isEmpty())
        QSKIP("no file here refuses to be opened for writing");
    const QByteArray before = readFile(unwritable);
    const Run run = runBatch({unwritable});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.out, QStringList{summary(0, 0)});
    QCOMPARE(run.err.size(), 1);
    QVERIFY2(run.err.first().startsWith(openError(unwritable, {})), qPrintable(run.err.first()));
    QCOMPARE(readFile(unwritable), before);
}

// A collection with many conversions, broken songs and songs given more than once: several
// jobs print what one job prints and leave the same bytes; a dry run prints it too and
// changes nothing.
// Between the listing and the open, a song's path may come to name a pipe, whose read would
// wait for a writer for ever.
void BatchTest::aSongThatBecameAPipeIsReportedNotWaitedOn()
{
#ifdef Q_OS_UNIX
    QTemporaryDir dir;
    const QString path = dir.filePath("song.mid");
    QVERIFY(writeFile(path, song("00 C9 11")));
    SongBatch::Options options;
    options.songStarted = [](const QString &started) {
        QFile::remove(started);
        mkfifo(QFile::encodeName(started).constData(), 0600);
    };
    QStringList problems;
    SongBatch::run({{path, {}}}, options,
                   [&](const SongBatch::Outcome &outcome) { problems.append(outcome.problem); });
    QCOMPARE(problems, QStringList{Texts::notOpenedReason(Texts::NotOpened::NotFileOrFolder)});
#endif
}

void BatchTest::jobsAndDryRunChangeNothingInTheOutput()
{
    QTemporaryDir oneJob;
    QTemporaryDir severalJobs;
    QRandomGenerator random(7);
    for (int i = 0; i < 60; ++i) {
        QByteArray events;
        // s05 is long enough for walks of it to overlap if they could.
        const int programs = i == 5 ? 50000 : int(random.bounded(1, 40));
        for (int p = 0; p < programs; ++p) {
            const char status = random.bounded(4) == 0 ? char(0xC0) : char(0xC9); // channel 1 or 10
            events += QByteArray::fromRawData("\x00", 1) + status + char(random.bounded(128));
        }
        // Every seventh song breaks after its programs; the repairs before stay.
        events += i % 7 == 3 ? hex("00 F4") : hex("00 FF 2F 00");
        const QByteArray bytes = smfHeader(1) + smfTrack(events);
        const QString name = QStringLiteral("c/s%1.mid").arg(i, 2, 10, QLatin1Char('0'));
        for (const QTemporaryDir *dir : {&oneJob, &severalJobs}) {
            QVERIFY(QDir().mkpath(dir->filePath("c")));
            QVERIFY(writeFile(dir->filePath(name), bytes));
        }
    }
    // A hard link is another name for the same file, which only the system can tell.
    for (const QTemporaryDir *dir : {&oneJob, &severalJobs}) {
        std::error_code error;
        std::filesystem::create_hard_link(dir->filePath("c/s05.mid").toStdWString(),
                                          dir->filePath("hard-s05.mid").toStdWString(), error);
        QVERIFY2(!error, error.message().c_str());
    }
    // s05 first, four times in a row by three names: the walks must wait for each other. The
    // folder three times: more paths (188) than two jobs keep pending at once (128).
    const QStringList paths = {"c/s05.mid",  "hard-s05.mid", "c/s05.mid", "./c/s05.mid", "c",
                               "gone.mid",   "c/s10.mid",    "c",         "c/s03.mid",   "c",
                               "./c/s41.mid"};

    const Run reference = runBatch(QStringList{"-l", "-j", "1"} + paths, oneJob.path());
    QCOMPARE(reference.exitCode, 1);
    QVERIFY(reference.out.size() > 500);
    QCOMPARE(reference.err.size(), 1 + 9 * 3 + 2); // gone.mid; nine broken songs 3 times; two more

    const QMap<QString, QByteArray> pristine = filesUnder(severalJobs.path());
    const Run dryRun = runBatch(QStringList{"-n", "-l", "-j", "4"} + paths, severalJobs.path());
    QCOMPARE(filesUnder(severalJobs.path()), pristine);
    QCOMPARE(dryRun, reference);

    const Run parallel = runBatch(QStringList{"-l", "-j", "2"} + paths, severalJobs.path());
    QCOMPARE(parallel, reference);
    QCOMPARE(filesUnder(severalJobs.path()), filesUnder(oneJob.path()));
    QVERIFY(filesUnder(severalJobs.path()) != pristine);
}

// Many songs in flight whatever the jobs, on the test's own slow device: each song's open
// waits 10 ms, as on a share where each open waits on the network. The batch then keeps 16
// songs in flight (started, not yet reported), and opens no more than 16 at once. A folder of 80
// songs, then its song s03 twice more by other paths: the outcomes come in that order, and s03 is
// walked each time after the walk before (the later walks find nothing to repair). A song may
// vanish between its listing and its open; a stop lets the songs started finish whole and starts no
// other.
void BatchTest::manySongsInFlight_data()
{
    QTest::addColumn<int>("jobs");
    QTest::addColumn<QString>("vanishing"); // removed once started, before its open
    QTest::addColumn<int>("stopAt");        // the batch is stopped as this many have started
    QTest::newRow("one job") << 1 << QString() << 0;
    QTest::newRow("two jobs, a song that vanishes before its open") << 2 << "s07.mid" << 0;
    QTest::newRow("a stop with songs in flight") << 1 << QString() << 20;
}

void BatchTest::manySongsInFlight()
{
    QFETCH(int, jobs);
    QFETCH(QString, vanishing);
    QFETCH(int, stopAt);
    QTemporaryDir dir;
    constexpr int songs = 80;
    QStringList expectedPaths;
    for (int i = 0; i < songs; ++i) {
        expectedPaths.append(dir.filePath(QStringLiteral("s%1.mid").arg(i, 2, 10, QChar(u'0'))));
        QVERIFY(writeFile(expectedPaths.constLast(), song("00 C9 11")));
    }
    const QStringList again = {dir.filePath("./s03.mid"),
                               dir.path() + "/../" + QDir(dir.path()).dirName() + "/s03.mid"};
    expectedPaths += again;

    SongBatch::Control control;
    std::mutex mutex;
    QStringList started;
    int opening = 0;
    int mostOpening = 0;
    qsizetype mostInFlight = 0;
    QList<SongBatch::Outcome> outcomes;
    SongBatch::Options options;
    options.jobs = jobs;
    options.songStarted = [&](const QString &path) {
        {
            const std::lock_guard lock(mutex);
            started.append(path);
            if (started.size() == stopAt)
                control.stop();
            if (QFileInfo(path).fileName() == vanishing)
                QFile::remove(path);
            mostOpening = std::max(mostOpening, ++opening);
            mostInFlight = std::max(mostInFlight, started.size() - outcomes.size());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::lock_guard lock(mutex);
        --opening;
    };
    const auto report = [&](const SongBatch::Outcome &outcome) {
        const std::lock_guard lock(mutex);
        outcomes.append(outcome);
    };
    SongBatch::run(QStringList{dir.path()} + again, false, options, report, &control);

    // Taken in order: the songs started are the first ones, and every one is walked whole.
    const qsizetype walked = started.size();
    if (stopAt) {
        QVERIFY(walked >= stopAt && walked < songs);
    } else {
        QCOMPARE(walked, expectedPaths.size());
        QVERIFY2(mostInFlight >= 16, qPrintable(QString::number(mostInFlight)));
    }
    QVERIFY2(mostOpening <= 16, qPrintable(QString::number(mostOpening)));
    QCOMPARE(outcomes.size(), walked);
    for (qsizetype i = 0; i < outcomes.size(); ++i) {
        const SongBatch::Outcome &outcome = outcomes[i];
        QCOMPARE(outcome.path, expectedPaths[i]);
        const bool gone = QFileInfo(outcome.path).fileName() == vanishing;
        QCOMPARE(outcome.problem,
                 gone ? Texts::notOpenedReason(Texts::NotOpened::Missing) : QString());
        QCOMPARE(outcome.conversions, gone || i >= songs ? 0 : 1);
    }
    for (qsizetype i = 0; i < songs; ++i) {
        if (QFileInfo(expectedPaths[i]).fileName() != vanishing)
            QCOMPARE(readFile(expectedPaths[i]), song(i < walked ? "00 C9 00" : "00 C9 11"));
    }
}

// A batch, something that happens to the song afterwards, then --restore of the batch's
// journal: every kit the journal names comes back where the song still holds kit 0 there.
void BatchTest::restoreGivesBackEveryByte_data()
{
    QTest::addColumn<QByteArray>("song");
    QTest::addColumn<QStringList>("arguments"); // of the batch; s.mid is the song
    QTest::addColumn<QString>("afterwards");
    QTest::addColumn<QStringList>("err"); // of the restore; %1 is the song's resolved path
    QTest::addColumn<QString>("summary");

    // Channel 10 selects kit 17 and, under running status, kit 10; a GS message makes part 1
    // (channel 1) a rhythm part, which selects kit 20; channel 2, a piano, selects program 0.
    const QByteArray kits =
        song("00 C9 11 00 0A 00 F0 0A 41 10 42 12 40 11 15 01 19 F7 00 C0 14 00 C1 00");
    QByteArray rmid = "RMID" + QByteArray("data") + QByteArray(4, '\0') + kits;
    qToLittleEndian<quint32>(quint32(kits.size()), rmid.data() + 8);
    rmid = "RIFF" + QByteArray(4, '\0') + rmid;
    qToLittleEndian<quint32>(quint32(rmid.size() - 8), rmid.data() + 4);

    const QString allBack = "Kit ripristinati: 3, non ripristinati: 0";
    const QString leftAlone = "Attenzione! Kit non ripristinato in %1, posizione %2: %3";
    // Every line of the batch's journal left alone for one reason, last to first.
    const auto everyLine = [&](const QString &reason) {
        return QStringList{leftAlone.arg("%1", "42 (canale 1, kit 20)", reason),
                           leftAlone.arg("%1", "26 (canale 10, kit 10)", reason),
                           leftAlone.arg("%1", "24 (canale 10, kit 17)", reason)};
    };
    QTest::newRow("several rhythm channels")
        << kits << QStringList{"s.mid"} << "" << QStringList{} << allBack;
    QTest::newRow("an RMID song") << rmid << QStringList{"s.mid"} << "" << QStringList{} << allBack;
    QTest::newRow("a song given twice, by two paths")
        << kits << QStringList{"s.mid", "./s.mid", "-j", "2"} << "" << QStringList{} << allBack;
#ifdef Q_OS_UNIX
    // base/link leads to sub, so base/link/../s.mid is s.mid for the system; as text it would
    // be base/s.mid, a copy that must stay as it is.
    QTest::newRow("a path through a link and ..")
        << kits << QStringList{"base/link/../s.mid"} << "" << QStringList{} << allBack;
    QTest::newRow("a song that became a pipe")
        << kits << QStringList{"s.mid"} << "pipe" << everyLine("non è un file né una cartella")
        << "Kit ripristinati: 0, non ripristinati: 3";
#endif
    QTest::newRow("a byte changed since")
        << kits << QStringList{"s.mid"} << "kit 5 at 24"
        << QStringList{leftAlone.arg("%1", "24 (canale 10, kit 17)",
                                     "in quella posizione c'è il kit 5, non il kit 0")}
        << "Kit ripristinati: 2, non ripristinati: 1";
    QTest::newRow("a byte that holds its original kit already")
        << kits << QStringList{"s.mid"} << "kit 17 at 24" << QStringList{}
        << "Kit ripristinati: 2, non ripristinati: 0";
    QTest::newRow("a song gone") << kits << QStringList{"s.mid"} << "gone"
                                 << everyLine("non esiste")
                                 << "Kit ripristinati: 0, non ripristinati: 3";
    QTest::newRow("a song of another size")
        << kits << QStringList{"s.mid"} << "a byte appended" << everyLine("%2")
        << "Kit ripristinati: 0, non ripristinati: 3";
    // The journal's last line lost its last two characters, the end of the kit and the line
    // feed, as a full disk or a crash leaves it.
    QTest::newRow("a line cut short")
        << kits << QStringList{"s.mid"} << "the last line cut"
        << QStringList{"Attenzione! Kit non ripristinato, riga 4 del registro: riga incompleta"}
        << "Kit ripristinati: 2, non ripristinati: 1";
    // Lines written by hand, restored first: kit 255 for the piano's program 0 at 45, and the
    // standard kit 16 at 24, which no batch would have changed.
    QTest::newRow("lines no batch could have written")
        << kits << QStringList{"s.mid"} << "lines added"
        << QStringList{leftAlone.arg("%1", "45 (canale 2, kit 255)",
                                     "in quella posizione il canale 2 non è un canale di "
                                     "batteria"),
                       leftAlone.arg("%1", "24 (canale 10, kit 16)",
                                     "il kit 16 è un kit standard, che nessuna elaborazione "
                                     "converte")}
        << "Kit ripristinati: 3, non ripristinati: 2";
    // After the batch, another program sets kit 10 at 24, and a second batch makes it 0: given
    // oldest first, the journals are restored newest first, and the kit 10 stays.
    QTest::newRow("two journals given oldest first")
        << kits << QStringList{"s.mid"} << "kit 10 at 24, then a second batch"
        << QStringList{leftAlone.arg("%1", "24 (canale 10, kit 17)",
                                     "in quella posizione c'è il kit 10, non il kit 0")}
        << "Kit ripristinati: 3, non ripristinati: 1";
    QTest::newRow("--no-journal") << kits << QStringList{"--no-journal", "s.mid"} << "no journal"
                                  << QStringList{} << "";
    QTest::newRow("a dry run writes no journal")
        << kits << QStringList{"-n", "s.mid"} << "no journal" << QStringList{} << "";
    // kadenzo-batch creates its journal as it starts, before it knows of any change.
    QTest::newRow("a batch that changes nothing keeps no journal")
        << song("00 C9 10") << QStringList{"s.mid"} << "no journal" << QStringList{} << "";
}

void BatchTest::restoreGivesBackEveryByte()
{
    QFETCH(QByteArray, song);
    QFETCH(QStringList, arguments);
    QFETCH(QString, afterwards);
    QFETCH(QStringList, err);
    QFETCH(QString, summary);

    QTemporaryDir dir;
    const QString path = dir.filePath("s.mid");
    QVERIFY(writeFile(path, song));
    const QString copy = dir.filePath("base/s.mid");
    if (arguments.contains("base/link/../s.mid")) {
        QVERIFY(QDir(dir.path()).mkpath("sub") && QDir(dir.path()).mkpath("base"));
        QVERIFY(QFile::link("../sub", dir.filePath("base/link")));
        QVERIFY(writeFile(copy, song));
    }
    const QStringList before = journals();
    const Run batch = runBatch(arguments, dir.path());
    QCOMPARE(batch.exitCode, 0);
    QStringList journalsToRestore = {newJournal(before)};
    const QString journal = journalsToRestore.first();
    if (afterwards == "no journal") {
        QVERIFY(journal.isEmpty());
        return;
    }
    QVERIFY(!journal.isEmpty());
    QVERIFY(readFile(path) != song);

    QByteArray expected = song;
    const QString resolved = QDir::toNativeSeparators(QFileInfo(path).canonicalFilePath());
    if (afterwards == "gone") {
        QVERIFY(QFile::remove(path));
    } else if (afterwards == "pipe") {
#ifdef Q_OS_UNIX
        QVERIFY(QFile::remove(path));
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
#endif
    } else if (afterwards == "a byte appended") {
        expected = readFile(path) + 'x';
        QVERIFY(writeFile(path, expected));
        const QString sizes = Texts::sizeChanged(expected.size(), song.size());
        for (QString &line : err)
            line = line.arg("%1", sizes);
    } else if (afterwards == "the last line cut") {
        QByteArray lines = readFile(journal);
        QVERIFY(lines.endsWith('\n'));
        lines.chop(2);
        QVERIFY(writeFile(journal, lines));
        expected[42] = 0; // its kit 20 stays 0
    } else if (afterwards == "lines added") {
        QFile lines(journal);
        QVERIFY(lines.open(QIODevice::Append));
        for (const auto &[offset, channel, kit] : {std::tuple{24, 9, 16}, {45, 1, 255}})
            lines.write(journalLineBytes({resolved, offset, channel, kit, song.size()}) + '\n');
    } else if (afterwards.startsWith("kit ")) {
        // "kit K at OFFSET": the byte is changed by hand; where K is its original kit, the
        // song is as a batch stopped between the journal line and the byte leaves it.
        const QStringList words = afterwards.split(QRegularExpression("[ ,]+"));
        QByteArray bytes = readFile(path);
        bytes[words[3].toInt()] = char(words[1].toInt());
        QVERIFY(writeFile(path, bytes));
        expected[words[3].toInt()] = char(words[1].toInt());
        if (afterwards.endsWith("then a second batch")) {
            const QStringList beforeSecond = journals();
            const Run second = runBatch(arguments, dir.path());
            QVERIFY2(second.exitCode == 0, qPrintable(second.err.join('\n')));
            journalsToRestore.append(newJournal(beforeSecond)); // oldest first
            QVERIFY(!journalsToRestore.last().isEmpty());
        }
    }
    for (QString &line : err)
        line = line.arg(resolved);

    // A dry run of the restore says what the restore does, and writes nothing.
    const QByteArray beforeRestore = afterwards == "pipe" ? QByteArray() : readFile(path);
    const Run dryRun = runBatch(QStringList{"--restore", "--dry-run"} + journalsToRestore);
    if (afterwards != "pipe")
        QCOMPARE(readFile(path), beforeRestore);
    const Run restore = runBatch(QStringList{"--restore"} + journalsToRestore);
    QCOMPARE(restore.err, err);
    QCOMPARE(restore.out, QStringList{summary});
    QCOMPARE(restore.exitCode, err.isEmpty() ? 0 : 1);
    QCOMPARE(dryRun, restore);
    if (afterwards != "gone" && afterwards != "pipe")
        QCOMPARE(readFile(path), expected);
    if (QFileInfo::exists(copy))
        QCOMPARE(readFile(copy), song);
    // Once restored, a second restore has nothing to do.
    if (err.isEmpty())
        QCOMPARE(runBatch({"--restore", journal}).out,
                 QStringList{"Kit ripristinati: 0, non ripristinati: 0"});
}

// However a batch ends, its journal covers every byte it changed: stopped after each number
// of repairs (between a journal line and its byte), killed at random moments, or unable to
// write its journal at all. --restore then gives back every song byte for byte.
void BatchTest::aBatchStoppedAnywhereCanBeRestored()
{
    QTemporaryDir dir;
    QStringList songs;
    QRandomGenerator random(11);
    for (int i = 0; i < 40; ++i) {
        QByteArray events;
        for (int p = 0; p < (i == 0 ? 20000 : 30); ++p)
            events += hex("00 C9") + char(random.bounded(128)) + hex("00 99 24 40");
        songs.append(dir.filePath(QStringLiteral("s%1.mid").arg(i, 2, 10, QLatin1Char('0'))));
        QVERIFY(writeFile(songs.constLast(), song(events.toHex(' ').constData())));
    }
    QMap<QString, QByteArray> pristine = filesUnder(dir.path());
    // A kill in the middle of the journal's write of a group leaves its last line cut short,
    // which the restore names and leaves alone: none of that group's bytes was written.
    const auto restoreAndCompare = [&](const QString &journal, const char *when) {
        if (!journal.isEmpty()) {
            const Run restore = runBatch({"--restore", journal});
            const qsizetype lastLine = readFile(journal).count('\n') + 1;
            const QStringList cutShort = {
                QStringLiteral("Attenzione! Kit non ripristinato, riga %1 del registro: riga "
                               "incompleta")
                    .arg(lastLine)};
            QVERIFY2(restore.exitCode == 0 || (restore.exitCode == 1 && restore.err == cutShort),
                     qPrintable(when + (u'\n' + restore.err.join(u'\n'))));
        }
        QVERIFY2(filesUnder(dir.path()) == pristine, when);
    };

    // Stopped after n repairs, as a disk that fails: the lines of the repairs found so far
    // are in the journal, and only the first n bytes are written.
    for (int stopAfter : {0, 1, 2, 7, 300}) {
        Journal journal("tst_batch", "0");
        WriteFailingFile file(songs[0], stopAfter);
        QVERIFY(openSongForRepair(file));
        SongBatch::SongWork work;
        work.journal = &journal;
        work.journalName = [&] { return songs[0]; };
        const SongBatch::Outcome outcome = SongBatch::repairSong(file, file.size(), work);
        QCOMPARE(outcome.result, SongBatch::Result::Failed);
        QCOMPARE(outcome.conversions, stopAfter);
        file.close();
        restoreAndCompare(journal.path(), "stopped between a line and its byte");
    }

#ifdef Q_OS_UNIX
    // Killed: s00 is long, so the kills fall in the middle of the batch.
    for (int delay : {5, 20, 60, 150}) {
        const QStringList before = journals();
        QProcess process;
        process.start(QStringLiteral(KADENZO_BATCH), {"-j", "2", dir.path()});
        QVERIFY(process.waitForStarted());
        QThread::msleep(delay);
        process.kill();
        process.waitForFinished();
        restoreAndCompare(newJournal(before), "killed");
    }
#endif

    // No journal, no change: the journal folder is a file.
    const QString folder = Journal::folder();
    QVERIFY(QDir().mkpath(QFileInfo(folder).path()));
    QDir(folder).removeRecursively();
    QVERIFY(writeFile(folder, "not a folder"));
    const Run refused = runBatch({dir.path()});
    QVERIFY(QFile::remove(folder));
    QCOMPARE(refused.exitCode, 1);
    // The songs in flight when the journal failed are counted; none is changed.
    QCOMPARE(refused.out.size(), 1);
    QVERIFY2(refused.out.first().endsWith(", numero Conversioni: 0"), qPrintable(refused.out[0]));
    QCOMPARE(refused.err.size(), 1);
    QVERIFY2(refused.err.first().startsWith(
                 "Attenzione! Impossibile scrivere il registro delle modifiche: "),
             qPrintable(refused.err.first()));
    QVERIFY(filesUnder(dir.path()) == pristine);
}

// The system calls of a batch, traced: no byte of a song is written before a flush of the
// journal that follows the lines naming it. One job, so that the writes come in one order.
void BatchTest::journalLinesReachTheDiskBeforeTheirBytes()
{
#ifdef Q_OS_LINUX
    const QString strace = QStandardPaths::findExecutable(QStringLiteral("strace"));
    if (strace.isEmpty())
        QSKIP("strace is not installed (scripts/setup.sh test installs it)");
    QTemporaryDir dir;
    for (int i = 0; i < 12; ++i)
        QVERIFY(writeFile(dir.filePath(QStringLiteral("s%1.mid").arg(i)),
                          song(i % 3 ? "00 C9 11 00 C9 12" : "00 C9 05")));
    const QString trace = dir.filePath(QStringLiteral("trace.txt"));
    QProcess process;
    // LeakSanitizer, in the sanitized build, stops the program's threads with ptrace, which the
    // tracer already holds: it would fail the run.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    process.setProcessEnvironment(environment);
    process.start(strace, {"-f", "-s", "65536", "-e", "trace=openat,write,fdatasync,close", "-o",
                           trace, QStringLiteral(KADENZO_BATCH), "-j", "1", dir.path()});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);

    // openat(AT_FDCWD, "PATH", ...) = HANDLE, write(HANDLE, "BYTES", N) = N, fdatasync(HANDLE),
    // close(HANDLE)
    static const QRegularExpression call(QStringLiteral(
        R"re(^(?:\d+ +)?(openat|write|fdatasync|close)\((?:AT_FDCWD, "([^"]*)"[^)]*\) += (\d+)|(\d+)(?:, "(.*)", \d+)?\) += \d+))re"));
    QHash<QString, QString> pathOfHandle;
    QString journalHandle;
    QSet<QString> written; // songs whose lines the journal was given
    QSet<QString> onDisk;  // and of those, the songs whose lines were flushed since
    int songWrites = 0;
    // A call that another thread's call cut in two ("PID CALL(... <unfinished ...>", then
    // "PID <... CALL resumed>...) = N") is put back together.
    QHash<QString, QString> unfinished;
    for (QString line : QString::fromUtf8(readFile(trace)).split(u'\n')) {
        const QString pid = line.section(u' ', 0, 0);
        if (line.endsWith(QStringLiteral(" <unfinished ...>"))) {
            unfinished[pid] = line.chopped(17);
            continue;
        }
        if (const qsizetype resumed = line.indexOf(QStringLiteral(" resumed>")); resumed > 0)
            line = unfinished.take(pid) + line.mid(resumed + 9);
        const QRegularExpressionMatch match = call.match(line);
        if (!match.hasMatch())
            continue;
        if (match.captured(1) == "openat") {
            pathOfHandle[match.captured(3)] = match.captured(2);
            if (match.captured(2).endsWith(".tsv"))
                journalHandle = match.captured(3);
            continue;
        }
        const QString handle = match.captured(4);
        if (match.captured(1) == "close") {
            pathOfHandle.remove(handle); // the number may come back for anything
        } else if (match.captured(1) == "fdatasync" && handle == journalHandle) {
            onDisk += written;
        } else if (handle == journalHandle) {
            for (const QString &journalLine : match.captured(5).split(QStringLiteral("\\n")))
                written += journalLine.section(QStringLiteral("\\t"), 0, 0);
        } else if (pathOfHandle.value(handle).endsWith(".mid")) {
            ++songWrites;
            QVERIFY2(onDisk.contains(pathOfHandle[handle]), qPrintable(line));
        }
    }
    QCOMPARE(songWrites, 16); // eight songs with two kits to repair
#else
    QSKIP("the system calls are traced on Linux");
#endif
}

QTEST_GUILESS_MAIN(BatchTest)
#include "tst_batch.moc"
