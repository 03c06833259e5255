#include "mainwindow.h"
#include "appfont.h"
#include "songfolder.h"
#include "ui_mainwindow.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

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

    // The dialog gives "/" separators, so usually no backslash is found and the next dialog
    // starts from the first chosen file itself, which opens its folder with it selected.
    const QString &first = files.first();
    const qsizetype backslash = first.lastIndexOf(QLatin1Char('\\'));
    lastDir = backslash < 0 ? first : first.left(backslash);
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

// Runs the engine over the files one after another, on this thread: the window takes no
// input until the summary is closed, while the progress bar repaints at every file.
void MainWindow::runBatch(QStringList names)
{
    engine.startBatch();
    ui->progressBar->setVisible(true);
    ui->progressBar->setValue(0);
    ui->progressBar->setMaximum(int(names.size()));

    for (const QString &name : names) {
        const QString path = name.contains(QLatin1Char('/')) ? name : lastDir + u'/' + name;
        if (engine.processFile(path) == ConversionEngine::FileResult::Failed) {
            QMessageBox error;
            error.setText(ConversionEngine::errorMessage(path));
            error.exec();
        }
        ui->progressBar->setValue(engine.totals().filesFound);
    }

    QMessageBox summary;
    summary.setText(ConversionEngine::summaryMessage(engine.totals()));
    summary.exec();
    ui->progressBar->setVisible(false);
}
