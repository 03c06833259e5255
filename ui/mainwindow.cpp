#include "mainwindow.h"
#include "appfont.h"
#include "songfolder.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QThread>
#include <QUrl>

#include <vector>

namespace {

// The songs are repaired where they are, so a drop never asks its source to move them: a
// file manager would delete what it moved.
bool acceptWithoutMoving(QDropEvent &event)
{
    for (const Qt::DropAction action : {Qt::CopyAction, Qt::LinkAction}) {
        if (event.possibleActions() & action) {
            event.setDropAction(action);
            event.accept();
            return true;
        }
    }
    event.ignore();
    return false;
}

// One line of the summary's details for a song that was changed, failed or was not opened:
// its path, each different change once (in the order the file first makes it, with how many
// times when more than once), and where the walk stopped if it failed; or why it could not be
// opened, as kadenzo-batch says it. Appended in place, so that a batch of thousands of songs
// builds its details in one growing string.
void appendDetailsLine(QString &details, const SongBatch::Outcome &song)
{
    if (!song.problem.isEmpty()) {
        details += SongBatch::notOpenedMessage(song.path, song.problem);
        details += u'\n';
        return;
    }
    struct Change
    {
        int channel;
        int formerKit;
        int times;
    };
    std::vector<Change> changes;
    QHash<int, qsizetype> changeIndex; // by channel * 256 + former kit
    for (const ConversionEngine::Conversion &conversion : song.conversionList) {
        const int key = conversion.channel * 256 + conversion.formerKit;
        const auto found = changeIndex.constFind(key);
        if (found != changeIndex.constEnd()) {
            ++changes[size_t(*found)].times;
        } else {
            changeIndex.insert(key, qsizetype(changes.size()));
            changes.push_back({conversion.channel, conversion.formerKit, 1});
        }
    }

    details += song.path;
    details += u':';
    const char16_t *separator = u" ";
    for (const Change &change : changes) {
        details += separator;
        separator = u"; ";
        // Channels are counted from 1 for people, as MIDI devices show them.
        details += QLatin1String("canale ");
        details += QString::number(change.channel + 1);
        details += QLatin1String(": kit ");
        details += QString::number(change.formerKit);
        details += QStringView(u" → 0");
        if (change.times > 1) {
            details += QLatin1String(" (");
            details += QString::number(change.times);
            details += QLatin1String(" volte)");
        }
    }
    if (song.result == ConversionEngine::FileResult::Failed) {
        details += separator;
        details += QLatin1String("errore, lettura interrotta dopo ");
        details += QString::number(song.stopOffset);
        details += QLatin1String(" byte");
    }
    details += u'\n';
}

// The summary's text: the totals, then the songs not opened and the songs a stop left out,
// each only when there are some.
QString summaryText(const ConversionEngine::Totals &totals, int notOpened, int notWalked)
{
    QString text = ConversionEngine::summaryMessage(totals);
    if (notOpened > 0)
        text += QStringLiteral("\nFile non aperti: %1").arg(notOpened);
    if (notWalked > 0)
        text +=
            notWalked == 1
                ? QStringLiteral("\nConversione interrotta: 1 file non elaborato")
                : QStringLiteral("\nConversione interrotta: %1 file non elaborati").arg(notWalked);
    return text;
}

} // namespace

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new MainWindowForm)
    , lastDir(firstDirectory())
{
    ui->setupUi(this);
    // The warning keeps its bold 10 points unless the system's fonts are too tall for them.
    for (QLabel *label : {ui->label, ui->label_2})
        shrinkUntilItFits(*label);
    ui->progressBar->setVisible(false); // shown only while a batch runs
    ui->buttonStop->setVisible(false);  // likewise
    setAcceptDrops(true);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &MainWindow::stopBatch);
}

// Where the first dialog starts. On Windows "\" is the root of the current drive; elsewhere it
// would be taken for a file named "\", so the home folder is the start.
QString MainWindow::firstDirectory()
{
#ifdef Q_OS_WIN
    return QStringLiteral("\\");
#else
    return QDir::homePath();
#endif
}

QString MainWindow::programVersion()
{
    return QStringLiteral(KADENZO_VERSION);
}

MainWindow::~MainWindow()
{
    // A window destroyed during a batch (the program ends otherwise) lets the songs in flight
    // finish: none is left half-walked.
    if (batch && batch->thread.joinable()) {
        batch->control.stop();
        batch->thread.join();
    }
    delete ui;
}

void MainWindow::on_buttonFile_clicked()
{
    const QStringList files =
        QFileDialog::getOpenFileNames(this, tr("Seleziona i file da importare"), lastDir,
                                      QStringLiteral("Midifile (*.mid *.kar)"));
    if (files.isEmpty())
        return;
    setLastDirFromSong(files.first());
    runBatch(files);
}

void MainWindow::on_buttonFolder_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(this, tr("Scegli cartella"), lastDir,
                                                             QFileDialog::ShowDirsOnly |
                                                                 QFileDialog::DontResolveSymlinks);
    if (folder.isEmpty())
        return;
    lastDir = folder;
    runBatch({folder});
}

void MainWindow::on_buttonStop_clicked()
{
    stopBatch();
}

// The dialogs give "/" separators, so usually no backslash is found and the next dialog starts
// from the song itself, which opens its folder with it selected.
void MainWindow::setLastDirFromSong(const QString &firstSong)
{
    const qsizetype backslash = firstSong.lastIndexOf(QLatin1Char('\\'));
    lastDir = backslash < 0 ? firstSong : firstSong.left(backslash);
}

// The local files and folders of a drop, in the order dropped: the folders, and the files the
// song dialog would show. Other files and other kinds of address are left out.
QList<MainWindow::DroppedItem> MainWindow::droppedItems(const QDropEvent &event)
{
    QList<DroppedItem> items;
    if (!event.mimeData()->hasUrls())
        return items;
    for (const QUrl &url : event.mimeData()->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        const QFileInfo info(path);
        if (info.isDir())
            items.append({QDir::cleanPath(path), true}); // as the folder dialog gives it
        else if (info.isFile() && isSongName(info.fileName()))
            items.append({path, false});
    }
    return items;
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (batchRunning || droppedItems(*event).isEmpty())
        event->ignore();
    else
        acceptWithoutMoving(*event);
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QList<DroppedItem> items = batchRunning ? QList<DroppedItem>() : droppedItems(*event);
    if (items.isEmpty()) {
        event->ignore();
        return;
    }
    if (!acceptWithoutMoving(*event))
        return;
    // The source of the drag waits until this returns (on Windows, the file manager itself),
    // so the batch, with its message boxes, runs once control is back in the event loop.
    batchRunning = true;
    QMetaObject::invokeMethod(
        this, [this, items] { runItems(items); }, Qt::QueuedConnection);
}

void MainWindow::runFromCommandLine(const QStringList &paths)
{
    QList<DroppedItem> items;
    QStringList missing;
    for (const QString &path : paths) {
        const QFileInfo info(path);
        if (info.isDir())
            items.append({QDir::cleanPath(path), true});
        else if (info.isFile() && isSongName(info.fileName()))
            items.append({path, false});
        else if (!info.exists()) // a dangling link too: its song is gone
            missing.append(path);
    }
    if (items.isEmpty() && missing.isEmpty())
        return;
    batchRunning = true;
    QMetaObject::invokeMethod(
        this, [this, items, missing] { runItems(items, missing); }, Qt::QueuedConnection);
}

// One batch for the whole drop (or command line), in its order; the missing paths come after.
// The next dialog starts where the first song or folder is, as the button that chooses it
// would have left it.
void MainWindow::runItems(const QList<DroppedItem> &items, const QStringList &missing)
{
    QStringList paths;
    for (const DroppedItem &item : items)
        paths.append(item.path);
    if (!items.isEmpty()) {
        const DroppedItem &first = items.constFirst();
        if (first.folder)
            lastDir = first.path;
        else
            setLastDirFromSong(first.path);
    }
    runBatch(paths + missing);
}

bool MainWindow::reportFailure(const QString &path)
{
    QMessageBox error;
    error.setText(ConversionEngine::errorMessage(path));
    // OK stays the first button and the default: it goes on and shows the next failure too.
    QPushButton *ok = error.addButton(QMessageBox::Ok);
    QPushButton *ignore = error.addButton(tr("Ignora i successivi"), QMessageBox::ActionRole);
    error.setDefaultButton(ok);
    error.setEscapeButton(ok);
    error.exec();
    return error.clickedButton() != ignore;
}

// The songs are listed and walked on a thread of the batch's own, on every core; this thread
// only shows what comes back, so the window repaints, moves and answers the system throughout.
void MainWindow::runBatch(const QStringList &paths)
{
    batchRunning = true;
    batch = std::make_unique<Batch>();
    ui->buttonFile->setEnabled(false);
    ui->buttonFolder->setEnabled(false);
    ui->buttonStop->setEnabled(true);
    ui->buttonStop->setVisible(true);
    ui->progressBar->setVisible(true);
    ui->progressBar->setValue(0);
    ui->progressBar->setMaximum(0); // busy until the songs are counted

    Batch *running = batch.get();
    running->thread = std::thread([this, running, paths, songStarted = songStarted] {
        // A folder on a slow share can take long to list: that too is done here.
        const std::vector<SongPath> songs = songsForPaths(paths, false);
        QMetaObject::invokeMethod(
            this, [this, count = int(songs.size())] { songsListed(count); }, Qt::QueuedConnection);
        SongBatch::Options options;
        options.jobs = QThread::idealThreadCount();
        options.listConversions = true; // for the summary's details
        options.songStarted = songStarted;
        options.journal = &running->journal;
        const auto report = [this, running](const SongBatch::Outcome &outcome) {
            // No further song starts while the failure's message box waits for the user.
            if (outcome.result == ConversionEngine::FileResult::Failed &&
                running->holdAtFailures.load())
                running->control.pause();
            // The outcomes wait together for this window's thread: one event fetches all that
            // have come since the last, however many songs a second the batch walks.
            const std::lock_guard lock(running->incomingMutex);
            running->incoming.push_back(outcome);
            if (!std::exchange(running->fetchQueued, true))
                QMetaObject::invokeMethod(this, &MainWindow::fetchOutcomes, Qt::QueuedConnection);
        };
        SongBatch::run(songs, options, report, &running->control);
        QMetaObject::invokeMethod(this, &MainWindow::batchWalked, Qt::QueuedConnection);
    });
}

void MainWindow::songsListed(int count)
{
    batch->songs = count;
    ui->progressBar->setMaximum(count);
}

// Esc, "Interrompi", or closing the window: the songs being walked are finished, no further
// one is started.
void MainWindow::stopBatch()
{
    if (!batch || batch->walked || batch->stopped)
        return;
    batch->stopped = true;
    batch->control.stop();
    ui->buttonStop->setEnabled(false);
}

void MainWindow::fetchOutcomes()
{
    {
        const std::lock_guard lock(batch->incomingMutex);
        std::move(batch->incoming.begin(), batch->incoming.end(),
                  std::back_inserter(batch->arrived));
        batch->incoming.clear();
        batch->fetchQueued = false;
    }
    showArrivedOutcomes();
}

// Shows the outcomes in the songs' order. A failure's message box runs an event loop of its
// own, in which more outcomes arrive: they wait in `arrived` for the box to close, so that
// the boxes come one at a time, in order.
void MainWindow::showArrivedOutcomes()
{
    Batch &running = *batch;
    if (running.showing)
        return;
    running.showing = true;
    while (!running.arrived.empty()) {
        const SongBatch::Outcome song = std::move(running.arrived.front());
        running.arrived.pop_front();
        const bool failed = song.result == ConversionEngine::FileResult::Failed;
        if (!song.problem.isEmpty()) {
            ++running.notOpened;
        } else {
            ++running.totals.filesFound;
            running.totals.conversions += song.conversions;
        }
        if (failed || !song.problem.isEmpty() || !song.conversionList.empty())
            appendDetailsLine(running.details, song);
        if (failed) {
            // The bar counts the songs before this one; this one after its box.
            if (running.holdAtFailures && !running.closing) {
                ui->progressBar->setValue(running.totals.filesFound - 1);
                if (!reportFailure(song.path))
                    running.holdAtFailures = false;
            }
            running.control.resume();
        }
    }
    ui->progressBar->setValue(running.totals.filesFound);
    running.showing = false;
    if (running.walked)
        finishBatch();
}

void MainWindow::batchWalked()
{
    batch->walked = true;
    if (!batch->showing && batch->arrived.empty())
        finishBatch();
}

void MainWindow::finishBatch()
{
    batch->thread.join();
    ui->buttonStop->setVisible(false);
    const QString journalPath = batch->journal.path();
    if (!batch->journal.problem().isEmpty() && !batch->closing) {
        QMessageBox refused(QMessageBox::Warning, windowTitle(),
                            journalFailedMessage(batch->journal), QMessageBox::Ok, this);
        refused.exec();
    }
    if (!journalPath.isEmpty())
        batch->details += QStringLiteral("Registro delle modifiche: %1\n").arg(journalPath);
    if (!batch->closing) {
        QMessageBox summary;
        summary.setText(summaryText(
            batch->totals, batch->notOpened,
            batch->stopped ? batch->songs - batch->totals.filesFound - batch->notOpened : 0));
        // The OK button a box gets by default, made first and the default before Qt's details
        // toggle joins it.
        QPushButton *ok = summary.addButton(QMessageBox::Ok);
        summary.setDefaultButton(ok);
        summary.setEscapeButton(ok);
        // What this batch changed can be taken back at once, from its journal.
        QPushButton *restore = nullptr;
        if (batch->totals.conversions > 0 && !journalPath.isEmpty())
            restore = summary.addButton(tr("&Ripristina i kit"), QMessageBox::ActionRole);
        if (!batch->details.isEmpty())
            summary.setDetailedText(batch->details);
        summary.exec();
        if (restore && summary.clickedButton() == restore)
            restoreKits(journalPath);
    }
    const bool closing = batch->closing;
    batch.reset();
    ui->progressBar->setVisible(false);
    ui->buttonFile->setEnabled(true);
    ui->buttonFolder->setEnabled(true);
    batchRunning = false;
    emit batchFinished();
    if (closing)
        close();
}

// Puts back the kits the batch changed, by the journal, on a thread of its own like the batch;
// then says how many, with the lines left alone and why in the details.
void MainWindow::restoreKits(const QString &journalPath)
{
    ui->progressBar->setMaximum(0); // busy
    int restored = 0;
    int leftAlone = 0;
    QString details;
    QString problem;
    QEventLoop waiting;
    std::thread restoring([&] {
        restoreJournal(
            journalPath, false,
            [&](const RestoredLine &line) {
                if (line.result == RestoredLine::Result::Restored) {
                    ++restored;
                } else if (line.result == RestoredLine::Result::LeftAlone) {
                    ++leftAlone;
                    details += leftAloneMessage(line) + u'\n';
                }
            },
            problem);
        QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
    });
    waiting.exec();
    restoring.join();

    QString text = QStringLiteral("Kit ripristinati: %1").arg(restored);
    if (!problem.isEmpty())
        text += u'\n' + SongBatch::notOpenedMessage(journalPath, problem);
    if (leftAlone > 0)
        text += QStringLiteral("\nNon ripristinati: %1").arg(leftAlone);
    QMessageBox done;
    done.setText(text);
    QPushButton *ok = done.addButton(QMessageBox::Ok);
    done.setDefaultButton(ok);
    done.setEscapeButton(ok);
    if (!details.isEmpty())
        done.setDetailedText(details);
    done.exec();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!batch) {
        QMainWindow::closeEvent(event);
        return;
    }
    // The window closes, and the program ends, once the songs in flight are finished.
    stopBatch();
    batch->closing = true;
    event->ignore();
}
