#include "mainwindow.h"
#include "appfont.h"
#include "restore.h"
#include "songfolder.h"
#include "texts.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>

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

// A batch's journal, by the name it is given (see Journal).
bool isJournalName(const QString &fileName)
{
    return fileName.endsWith(QLatin1String(".tsv"), Qt::CaseInsensitive);
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
    connect(&runner, &BatchRunner::songsListed, this, &MainWindow::songsListed);
    connect(&runner, &BatchRunner::outcomesArrived, this, &MainWindow::outcomesArrived);
    connect(&runner, &BatchRunner::batchWalked, this, &MainWindow::batchWalked);
    connect(&runner, &BatchRunner::restored, this, &MainWindow::restored);
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

// A window destroyed during a batch (the program ends otherwise) lets the songs in flight
// finish: the runner stops and waits for them, and none is left half-walked.
MainWindow::~MainWindow()
{
    delete ui;
}

void MainWindow::on_buttonFile_clicked()
{
    const QStringList files = QFileDialog::getOpenFileNames(this, tr(Texts::songsCaption), lastDir,
                                                            QString::fromLatin1(Texts::songFilter));
    if (files.isEmpty())
        return;
    setLastDirFromSong(files.first());
    runBatch(files);
}

void MainWindow::on_buttonFolder_clicked()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, tr(Texts::folderCaption), lastDir,
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
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

// A drop of one journal and nothing else; else empty. Journals dropped with anything else, or
// several together, are left out as other files are: what a drop does never depends on which
// mix of journals and songs it holds, and one question is asked about one journal.
QString MainWindow::droppedJournal(const QDropEvent &event)
{
    if (!event.mimeData()->hasUrls())
        return {};
    const QList<QUrl> urls = event.mimeData()->urls();
    if (urls.size() != 1 || !urls.constFirst().isLocalFile())
        return {};
    const QString path = urls.constFirst().toLocalFile();
    const QFileInfo info(path);
    return info.isFile() && isJournalName(info.fileName()) ? path : QString();
}

void MainWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (batchRunning || (droppedItems(*event).isEmpty() && droppedJournal(*event).isEmpty()))
        event->ignore();
    else
        acceptWithoutMoving(*event);
}

void MainWindow::dropEvent(QDropEvent *event)
{
    const QString journal = batchRunning ? QString() : droppedJournal(*event);
    const QList<DroppedItem> items =
        batchRunning || !journal.isEmpty() ? QList<DroppedItem>() : droppedItems(*event);
    if (items.isEmpty() && journal.isEmpty()) {
        event->ignore();
        return;
    }
    if (!acceptWithoutMoving(*event))
        return;
    // The source of the drag waits until this returns (on Windows, the file manager itself),
    // so the batch, with its message boxes, runs once control is back in the event loop.
    batchRunning = true;
    if (!journal.isEmpty()) {
        QMetaObject::invokeMethod(
            this, [this, journal] { askToRestore(journal); }, Qt::QueuedConnection);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, items] { runItems(items); }, Qt::QueuedConnection);
}

void MainWindow::runFromCommandLine(const QStringList &paths)
{
    // A journal given alone (one that does not exist too: its box says so); given with other
    // paths it is left out, as a drop leaves it out (see droppedJournal).
    if (paths.size() == 1) {
        const QString &path = paths.constFirst();
        const QFileInfo info(path);
        if (!info.isDir() && isJournalName(info.fileName())) {
            batchRunning = true;
            QMetaObject::invokeMethod(
                this, [this, path] { askToRestore(path); }, Qt::QueuedConnection);
            return;
        }
    }
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

QMessageBox *
MainWindow::openBox(const QString &text,
                    std::function<void(QMessageBox *box, QAbstractButton *clicked)> answered)
{
    auto *box = new QMessageBox;
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setText(text);
    // The window takes no input while a box waits; no event loop of the box's own runs.
    box->setWindowModality(Qt::ApplicationModal);
    connect(box, &QMessageBox::finished, this,
            [box, answered = std::move(answered)] { answered(box, box->clickedButton()); });
    return box;
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
    runner.startBatch(paths, songStarted);
}

// The first songs may have been shown before every song was listed, while the bar was busy,
// which takes no value: it is given again.
void MainWindow::songsListed(int count)
{
    batch->songs = count;
    ui->progressBar->setMaximum(count);
    ui->progressBar->setValue(batch->tally.totals.filesFound - (batch->failureBox ? 1 : 0));
}

// Esc, "Interrompi", or closing the window: the songs being walked are finished, no further
// one is started.
void MainWindow::stopBatch()
{
    if (!batch || batch->walked || batch->stopped)
        return;
    batch->stopped = true;
    runner.stop();
    ui->buttonStop->setEnabled(false);
}

void MainWindow::outcomesArrived()
{
    for (BatchRunner::Arrival &arrival : runner.takeArrivals())
        batch->arrived.push_back(std::move(arrival));
    showArrivedOutcomes();
}

// Shows the outcomes in the songs' order, until a failure's box waits for the user: the
// outcomes behind it wait in `arrived` until it is closed, so that the boxes come one at a
// time, in order.
void MainWindow::showArrivedOutcomes()
{
    Batch &running = *batch;
    while (!running.failureBox && !running.arrived.empty()) {
        const BatchRunner::Arrival arrival = std::move(running.arrived.front());
        running.arrived.pop_front();
        const SongBatch::Outcome &song = arrival.outcome;
        running.tally.add(song);
        const bool failed = song.result == SongBatch::Result::Failed;
        if (failed && running.holdAtFailures && !running.closing) {
            // The bar counts the songs before this one; this one after its box.
            ui->progressBar->setValue(running.tally.totals.filesFound - 1);
            showFailure(song.path, arrival.held);
        } else if (arrival.held) {
            runner.release();
        }
    }
    if (running.failureBox)
        return;
    ui->progressBar->setValue(running.tally.totals.filesFound);
    if (running.walked)
        finishBatch();
}

// The failure's box; once it is closed the batch's hold for it (`held`) is released, and the
// outcomes behind it are shown.
void MainWindow::showFailure(const QString &path, bool held)
{
    QMessageBox *box =
        openBox(Texts::walkError(path), [this, held](QMessageBox *, QAbstractButton *clicked) {
            batch->failureBox = nullptr;
            if (clicked && clicked->property("ignoreTheRest").toBool()) {
                batch->holdAtFailures = false;
                runner.setHoldAtFailures(false);
            }
            if (held)
                runner.release();
            showArrivedOutcomes();
        });
    // OK stays the first button and the default: it goes on and shows the next failure too.
    QPushButton *ok = box->addButton(QMessageBox::Ok);
    box->addButton(tr(Texts::ignoreTheRestButton), QMessageBox::ActionRole)
        ->setProperty("ignoreTheRest", true);
    box->setDefaultButton(ok);
    box->setEscapeButton(ok);
    batch->failureBox = box;
    box->show();
}

void MainWindow::batchWalked()
{
    batch->walked = true;
    if (!batch->failureBox && batch->arrived.empty())
        finishBatch();
}

void MainWindow::finishBatch()
{
    runner.wait();
    ui->buttonStop->setVisible(false);
    if (!runner.journalProblem().isEmpty() && !batch->closing) {
        QMessageBox *refused =
            openBox(Texts::journalFailed(runner.journalPath(), runner.journalProblem()),
                    [this](QMessageBox *, QAbstractButton *) { showSummary(); });
        refused->setIcon(QMessageBox::Warning);
        refused->setWindowTitle(windowTitle());
        refused->addButton(QMessageBox::Ok);
        refused->show();
        return;
    }
    showSummary();
}

void MainWindow::showSummary()
{
    const QString journalPath = runner.journalPath();
    if (!journalPath.isEmpty())
        batch->tally.details += Texts::journalLine(journalPath) + u'\n';
    if (batch->closing) {
        endBatch();
        return;
    }
    QMessageBox *summary = openBox(
        batch->tally.summary(batch->stopped ? batch->songs - batch->tally.songsReported() : 0),
        [this, journalPath](QMessageBox *, QAbstractButton *clicked) {
            if (clicked && clicked->property("restore").toBool()) {
                ui->progressBar->setMaximum(0); // busy
                runner.startRestore(journalPath);
            } else {
                endBatch();
            }
        });
    // The OK button a box gets by default, made first and the default before Qt's details
    // toggle joins it.
    QPushButton *ok = summary->addButton(QMessageBox::Ok);
    summary->setDefaultButton(ok);
    summary->setEscapeButton(ok);
    // What this batch changed can be taken back at once, from its journal.
    if (batch->tally.totals.conversions > 0 && !journalPath.isEmpty()) {
        summary->addButton(tr(Texts::restoreButton), QMessageBox::ActionRole)
            ->setProperty("restore", true);
    }
    if (!batch->tally.details.isEmpty())
        summary->setDetailedText(batch->tally.details);
    summary->show();
}

// From the question to the restore's summary the window's buttons wait, as for a batch; a
// journal that cannot be read, or that lists no change, only says so.
void MainWindow::askToRestore(const QString &journalPath)
{
    const QString path = QDir::toNativeSeparators(QFileInfo(journalPath).absoluteFilePath());
    batchRunning = true;
    batch = std::make_unique<Batch>();
    batch->walked = true; // no songs to walk, and a restore is not stopped
    ui->buttonFile->setEnabled(false);
    ui->buttonFolder->setEnabled(false);
    int changes = 0;
    QString problem;
    const bool read = countJournalChanges(path, changes, problem);
    if (!read || changes == 0) {
        QMessageBox *box =
            openBox(read ? Texts::nothingToRestore(path) : Texts::journalNotRead(path, problem),
                    [this](QMessageBox *, QAbstractButton *) { endBatch(); });
        QPushButton *ok = box->addButton(QMessageBox::Ok);
        box->setDefaultButton(ok);
        box->setEscapeButton(ok);
        box->show();
        return;
    }
    const auto answered = [this, path](QMessageBox *, QAbstractButton *clicked) {
        if (clicked && clicked->property("restore").toBool()) {
            ui->progressBar->setVisible(true);
            ui->progressBar->setValue(0);
            ui->progressBar->setMaximum(0); // busy
            runner.startRestore(path);
        } else {
            endBatch();
        }
    };
    QMessageBox *question = openBox(Texts::restoreQuestion(path, changes), answered);
    // The accept role puts the restore button first, before Cancel, in the box's order.
    QPushButton *restore = question->addButton(tr(Texts::restoreButton), QMessageBox::AcceptRole);
    restore->setProperty("restore", true);
    question->setDefaultButton(restore);
    question->setEscapeButton(question->addButton(QMessageBox::Cancel));
    question->show();
}

// The kits of the batch's journal (or of a journal dropped or given alone) are back: how many,
// with the lines left alone and why in the details.
void MainWindow::restored(const RestoreTotals &totals)
{
    runner.wait();
    QMessageBox *done = openBox(Texts::restoreSummary(totals.restored, totals.leftAlone),
                                [this](QMessageBox *, QAbstractButton *) { endBatch(); });
    QPushButton *ok = done->addButton(QMessageBox::Ok);
    done->setDefaultButton(ok);
    done->setEscapeButton(ok);
    if (!totals.problems.isEmpty())
        done->setDetailedText(totals.problems);
    done->show();
}

void MainWindow::endBatch()
{
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

void MainWindow::closeEvent(QCloseEvent *event)
{
    if (!batch) {
        QMainWindow::closeEvent(event);
        return;
    }
    // The window closes, and the program ends, once the songs in flight are finished; a
    // failure's box that waits goes, and no other box comes.
    stopBatch();
    batch->closing = true;
    if (batch->failureBox)
        batch->failureBox->done(0);
    event->ignore();
}
