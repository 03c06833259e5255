#include "mainwindow.h"
#include "appfont.h"
#include "songfolder.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QHash>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
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

// One line of the summary's details for a file that was changed or failed: its path, each
// different change once (in the order the file first makes it, with how many times when more
// than once), and where the walk stopped if it failed. Appended in place, so that a batch of
// thousands of songs builds its details in one growing string.
void appendDetailsLine(QString &details, const QString &path, const ConversionEngine &engine,
                       bool failed)
{
    struct Change
    {
        int channel;
        int formerKit;
        int times;
    };
    std::vector<Change> changes;
    QHash<int, qsizetype> changeIndex; // by channel * 256 + former kit
    for (const ConversionEngine::Conversion &conversion : engine.fileConversions()) {
        const int key = conversion.channel * 256 + conversion.formerKit;
        const auto found = changeIndex.constFind(key);
        if (found != changeIndex.constEnd()) {
            ++changes[size_t(*found)].times;
        } else {
            changeIndex.insert(key, qsizetype(changes.size()));
            changes.push_back({conversion.channel, conversion.formerKit, 1});
        }
    }

    details += path;
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
    if (failed) {
        details += separator;
        details += QLatin1String("errore, lettura interrotta dopo ");
        details += QString::number(engine.stopOffset());
        details += QLatin1String(" byte");
    }
    details += u'\n';
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
    setAcceptDrops(true);
    engine.setRecordConversions(true); // for the summary's details
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

MainWindow::~MainWindow()
{
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
    runBatch(songNamesInFolder(lastDir));
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
        this, [this, items] { runDrop(items); }, Qt::QueuedConnection);
}

// One batch for the whole drop. The next dialog starts where the first dropped item is, as
// the button that chooses it would have left it.
void MainWindow::runDrop(const QList<DroppedItem> &items)
{
    QStringList paths;
    for (const DroppedItem &item : items) {
        if (!item.folder) {
            paths.append(item.path);
            continue;
        }
        for (const QString &name : songNamesInFolder(item.path))
            paths.append(pathInFolder(item.path, name));
    }
    const DroppedItem &first = items.constFirst();
    if (first.folder)
        lastDir = first.path;
    else
        setLastDirFromSong(first.path);
    runBatch(paths);
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

// Runs the engine over the files one after another, on this thread: the window takes no
// input until the summary is closed, while the progress bar repaints at every file.
void MainWindow::runBatch(QStringList names)
{
    batchRunning = true;
    engine.startBatch();
    ui->progressBar->setVisible(true);
    ui->progressBar->setValue(0);
    ui->progressBar->setMaximum(int(names.size()));

    QString details;
    bool reportFailures = true;
    for (const QString &name : names) {
        const QString path = name.contains(QLatin1Char('/')) ? name : lastDir + u'/' + name;
        const ConversionEngine::FileResult result = engine.processFile(path);
        // A file not opened was not walked: the engine still holds the last walk's list.
        const bool walked = result != ConversionEngine::FileResult::NotOpened;
        const bool failed = result == ConversionEngine::FileResult::Failed;
        if (failed || (walked && !engine.fileConversions().empty()))
            appendDetailsLine(details, path, engine, failed);
        if (failed && reportFailures)
            reportFailures = reportFailure(path);
        ui->progressBar->setValue(engine.totals().filesFound);
    }

    QMessageBox summary;
    summary.setText(ConversionEngine::summaryMessage(engine.totals()));
    // The OK button a box gets by default, made first and the default before Qt's details
    // toggle joins it.
    QPushButton *ok = summary.addButton(QMessageBox::Ok);
    summary.setDefaultButton(ok);
    summary.setEscapeButton(ok);
    if (!details.isEmpty())
        summary.setDetailedText(details);
    summary.exec();
    ui->progressBar->setVisible(false);
    batchRunning = false;
}
