// The headless batch driver, run as a process: what it prints and how it exits.
#include "midibytes.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {
struct Run
{
    int exitCode = -1;
    QStringList out;
    QStringList err;
};

Run runBatch(const QStringList &paths)
{
    QProcess process;
    process.start(QStringLiteral(KADENZO_BATCH), paths);
    Run run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    run.err = QString::fromUtf8(process.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    return run;
}
} // namespace

class BatchTest : public QObject
{
    Q_OBJECT

private slots:
    void withoutPathsPrintsUsage();
    void reportsErrorsAndCountsTheFilesOpened();
};

void BatchTest::withoutPathsPrintsUsage()
{
    const Run run = runBatch({});
    QCOMPARE(run.exitCode, 2);
    QVERIFY(run.out.isEmpty());
    QCOMPARE(run.err.size(), 1);
    QVERIFY(run.err.first().startsWith("usage: kadenzo-batch"));
}

// One drum kit to repair. Skipped without a word: a missing path (which must not be created), a
// folder, a file that cannot be opened for writing. Counted: the rest, the empty file and the
// failing ones too.
void BatchTest::reportsErrorsAndCountsTheFilesOpened()
{
    QTemporaryDir dir;
    const QString good = dir.filePath("good.mid");
    const QString bad = dir.filePath("bad è.kar");
    const QString notMidi = dir.filePath("notes.mid");
    const QString empty = dir.filePath("empty.mid");
    const QString missing = dir.filePath("missing.mid");
    const QByteArray goodBytes = smfHeader(1) + smfTrack("00 C9 11 00 C0 09 00 FF 2F 00");
    QVERIFY(writeFile(good, goodBytes));
    QVERIFY(writeFile(bad, smfHeader(1) + smfTrack("00 F7 00")));
    QVERIFY(writeFile(notMidi, "some notes"));
    QVERIFY(writeFile(empty, {}));

    QStringList paths = {good, bad, missing, dir.path(), notMidi, empty, good};
    const QString unwritable = unwritableFile();
    if (!unwritable.isEmpty())
        paths.append(unwritable);
    const Run run = runBatch(paths);

    QCOMPARE(run.exitCode, 0);
    const QString error = QStringLiteral("Attenzione! E' stato trovato un errore nel file ");
    QCOMPARE(run.err, QStringList({error + bad, error + notMidi}));
    // The second time through, the good song has nothing left to repair.
    QCOMPARE(run.out.last(), QStringLiteral("Files trovati: 5, numero Conversioni: 1"));
    QVERIFY(!QFile::exists(missing));
    QCOMPARE(readFile(good), smfHeader(1) + smfTrack("00 C9 00 00 C0 09 00 FF 2F 00"));
}

QTEST_GUILESS_MAIN(BatchTest)
#include "tst_batch.moc"
