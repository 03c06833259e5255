// The window as a user meets it: its look, then the real path through the buttons, the real
// file and folder dialogs and the message boxes, answered from inside the test.
#include "appfont.h"
#include "mainwindow.h"
#include "midibytes.h"
#include "songfile.h"
#include "texts.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QMutex>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <QUrl>

#include <functional>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// What a message box showed, with the state of the progress bar while it was open.
struct SeenMessage
{
    QString text;
    int buttonCount = 0;
    bool barVisible = false;
    int barValue = -1;
    int barMaximum = -1;
    QString details;             // without the journal's line
    QString journal;             // the journal's path that the details end with, if any
    QStringList buttons;         // their texts, in the box's order
    bool firstIsDefault = false; // the first button is the default one, as Enter presses it
};

// Answers the modal dialogs of one click. A click returns only once its slot has finished, so
// the answers are armed first; a timer then looks for the active modal widget and answers
// it: a file dialog with the given answer, a message box by noting it and pressing its button.
class ModalAnswerer : public QObject
{
public:
    ModalAnswerer(QProgressBar *bar, std::function<void(QFileDialog *)> answerFileDialog)
        : bar(bar)
        , answerFileDialog(std::move(answerFileDialog))
    {
        connect(&timer, &QTimer::timeout, this, &ModalAnswerer::answer);
        timer.start(10);
    }

    int fileDialogsSeen = 0;
    QList<SeenMessage> messages;
    // Which button answers a message box; the first one unless set. None: ask again later.
    std::function<QAbstractButton *(QMessageBox *)> pick;

private:
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            ++fileDialogsSeen;
            answerFileDialog(dialog);
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            QAbstractButton *answer = pick ? pick(box) : box->buttons().constFirst();
            if (!answer)
                return; // not yet: asked again at the next tick
            QStringList buttons;
            for (const QAbstractButton *button : box->buttons())
                buttons.append(button->text());
            QString details = box->detailedText();
            QString journal;
            const QString journalLine = QStringLiteral("Registro delle modifiche: ");
            const qsizetype at = details.lastIndexOf(journalLine);
            if (at >= 0 && (at == 0 || details[at - 1] == u'\n')) {
                journal = details.mid(at + journalLine.size()).trimmed();
                details.truncate(at);
            }
            messages.append({box->text(), int(box->buttons().size()), bar->isVisible(),
                             bar->value(), bar->maximum(), details, journal, buttons,
                             box->defaultButton() == box->buttons().constFirst()});
            answer->click();
        }
    }

    QTimer timer;
    QProgressBar *bar;
    std::function<void(QFileDialog *)> answerFileDialog;
};

struct Answered
{
    int fileDialogs = 0;
    QList<SeenMessage> messages;
};

// Clicks the window's button and answers the dialogs it opens.
// Waits for the end of the batch (its summary closed) that an action started, if it started
// one: a drop during a batch starts none.
void waitForTheBatch(MainWindow *window, bool runningBefore, QSignalSpy &finished)
{
    if (!runningBefore && window->isBatchRunning() && finished.isEmpty())
        QVERIFY(finished.wait(60000));
}

// Clicks the window's button, answers the dialogs it opens, and waits for the batch.
Answered clickAndAnswer(MainWindow *window, const char *buttonName,
                        std::function<void(QFileDialog *)> answer)
{
    ModalAnswerer answerer(window->findChild<QProgressBar *>("progressBar"), std::move(answer));
    QSignalSpy finished(window, &MainWindow::batchFinished);
    const bool runningBefore = window->isBatchRunning();
    QTest::mouseClick(window->findChild<QPushButton *>(buttonName), Qt::LeftButton);
    waitForTheBatch(window, runningBefore, finished);
    return {answerer.fileDialogsSeen, answerer.messages};
}

// Records the translation context of every text and marks those of "MainWindow".
class ContextMarker : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char *context, const char *sourceText, const char *disambiguation,
                      int) const override
    {
        if (QByteArray(context) != "MainWindow" || disambiguation)
            return {};
        return QStringLiteral("[MainWindow]") + QString::fromUtf8(sourceText);
    }
};

// Types into the dialog's file name field and presses its Open (or Choose) button.
void typeAndAccept(QFileDialog *dialog, const QString &text)
{
    dialog->findChild<QLineEdit *>("fileNameEdit")->setText(text);
    QPushButton *open =
        dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Open);
    QVERIFY(open && open->isEnabled());
    open->click();
}

const QByteArray goodSong = smfHeader(1) + smfTrack("00 C9 11 00 FF 2F 00");
const QByteArray goodSongRepaired = smfHeader(1) + smfTrack("00 C9 00 00 FF 2F 00");
const QByteArray badSong = smfHeader(1) + smfTrack("00 F7 00 00 FF 2F 00");
// Where the walk of badSong stops: the header, the track's tag and length, the delta time and
// the status it does not accept.
const QString badSongDetails = QStringLiteral(": errore, lettura interrotta dopo 24 byte");
const QString goodSongDetails = QStringLiteral(": canale 10: kit 17 → 0");

// What a drop on the window did: whether the window took the drag and the drop, with which
// action, and the message boxes of the batch it ran.
struct DropResult
{
    bool enterAccepted = false;
    bool dropAccepted = false;
    Qt::DropAction action = Qt::IgnoreAction;
    QList<SeenMessage> messages;
};

QList<QUrl> localUrls(const QStringList &paths)
{
    QList<QUrl> urls;
    for (const QString &path : paths)
        urls.append(QUrl::fromLocalFile(path));
    return urls;
}

// Drags the addresses over the window's middle and drops them there, as a file manager does.
// The batch runs from the event loop once the drop has returned to its source; beforeBatch
// runs in between.
DropResult dropOn(MainWindow *window, const QList<QUrl> &urls,
                  Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction,
                  std::function<QAbstractButton *(QMessageBox *)> pick = {},
                  const std::function<void()> &beforeBatch = {})
{
    ModalAnswerer answerer(window->findChild<QProgressBar *>("progressBar"), {});
    answerer.pick = std::move(pick);
    QMimeData data;
    data.setUrls(urls);
    QWidget *target = window->centralWidget();
    const QPointF middle = target->rect().center();
    QDragEnterEvent enter(middle.toPoint(), offered, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    QDropEvent drop(middle, offered, &data, Qt::LeftButton, Qt::NoModifier);
    QSignalSpy finished(window, &MainWindow::batchFinished);
    const bool runningBefore = window->isBatchRunning();
    QApplication::sendEvent(target, &drop);
    if (beforeBatch)
        beforeBatch();
    waitForTheBatch(window, runningBefore, finished);
    return {enter.isAccepted(), drop.isAccepted(),
            drop.isAccepted() ? drop.dropAction() : Qt::IgnoreAction, answerer.messages};
}

QAbstractButton *ignoreTheRest(QMessageBox *box)
{
    for (QAbstractButton *button : box->buttons()) {
        if (button->text() == QStringLiteral("Ignora i successivi"))
            return button;
    }
    return box->buttons().constFirst();
}

// Holds each song of a window's batch as it starts, as a slow disk would, until the test lets
// it go; keeps the songs started, in the order they started.
class SongGate
{
public:
    explicit SongGate(MainWindow *window)
    {
        window->setSongStarted([this](const QString &path) {
            {
                const QMutexLocker lock(&mutex);
                started.append(path);
            }
            open.acquire();
        });
    }
    ~SongGate() { open.release(1 << 20); }
    void letGo(int songs) { open.release(songs); }
    QStringList startedSongs()
    {
        const QMutexLocker lock(&mutex);
        return started;
    }

private:
    QMutex mutex;
    QStringList started;
    QSemaphore open;
};

const QString errorText = QStringLiteral("Attenzione! E' stato trovato un errore nel file ");

// More songs than a batch starts at once (it keeps 16 in flight, or one a core where there are
// more), so that a stop or a failure's box comes while some are not started yet.
const int songsBeyondThoseInFlight = std::max(48, 3 * QThread::idealThreadCount());

} // namespace

class MainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void startsWithTheFormAndTheBarHidden();
    void everyTextFitsItsWidget();
    void textsAndCaptionsAreTranslatedAsMainWindow();
    void cancellingEitherDialogRunsNothing();
    void qtButtonsReadInItalian();
    void songBatchReportsErrorsProgressAndTotals();
    void folderBatchTakesTheSongsDirectlyInside();
    void emptyFolderStillEndsWithTheSummary();
    void dropRunsOneBatch_data();
    void dropRunsOneBatch();
    void dropDuringABatchIsRefused();
    void summaryDetailsListChangesAndFailures_data();
    void summaryDetailsListChangesAndFailures();
    void ignoringStopsTheBoxesForTheRestOfTheBatch();
    void stoppingWalksTheStartedSongsWholeAndNoOther_data();
    void stoppingWalksTheStartedSongsWholeAndNoOther();
    void noSongStartsWhileAFailureWaits_data();
    void noSongStartsWhileAFailureWaits();
    void commandLineSongsAndFoldersRunOneBatch();
    void restoringPutsBackTheBatchsKits_data();
    void restoringPutsBackTheBatchsKits();

private:
    QProgressBar *bar() const { return window->findChild<QProgressBar *>("progressBar"); }
    // Clicks the button and answers its dialog; returns what the message boxes said.
    QList<SeenMessage> click(const char *buttonName, std::function<void(QFileDialog *)> answer)
    {
        return clickAndAnswer(window, buttonName, std::move(answer)).messages;
    }

    MainWindow *window = nullptr;
    QTemporaryDir dataHome;
};

void MainWindowTest::initTestCase()
{
    useLayoutFont();
    // The journals go under $XDG_DATA_HOME on Linux; under Wine, to the prefix's own
    // %LOCALAPPDATA%.
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
}

void MainWindowTest::init()
{
    window = new MainWindow;
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void MainWindowTest::cleanup()
{
    delete window;
    window = nullptr;
}

void MainWindowTest::startsWithTheFormAndTheBarHidden()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Corvane  Kadenzo Ver 1.1"));
    QCOMPARE(window->size(), QSize(400, 198));
    QCOMPARE(window->centralWidget()->objectName(), QStringLiteral("centralWidget"));
    QVERIFY(!window->findChild<QStatusBar *>());
    // On Windows "\\" is the root of the current drive; elsewhere the home folder.
#ifdef Q_OS_WIN
    QCOMPARE(window->lastDirectory(), QStringLiteral("\\"));
#else
    QCOMPARE(window->lastDirectory(), QDir::homePath());
#endif

    struct Expected
    {
        const char *name;
        QRect geometry;
        QString text;
    };
    const Expected widgets[] = {
        {"buttonFile", {20, 20, 91, 23}, "Scegli Song"},
        {"buttonFolder", {20, 50, 91, 23}, "Scegli Cartella"},
        {"label",
         {150, 30, 191, 41},
         "Converte il DrumKit dei Midifile che utilizzano impostazioni non standard"},
        {"label_2",
         {25, 112, 321, 51},
         "ATTENZIONE! Alcuni dei files trovati potrebbero essere modificati. Se necessario, "
         "fare una copia di sicurezza prima di procedere"},
    };
    for (const Expected &expected : widgets) {
        auto *widget = window->findChild<QWidget *>(expected.name);
        QVERIFY2(widget && widget->isVisible(), expected.name);
        QCOMPARE(widget->parentWidget(), window->centralWidget());
        QCOMPARE(widget->geometry(), expected.geometry);
        if (auto *label = qobject_cast<QLabel *>(widget)) {
            QCOMPARE(label->text(), expected.text);
            QCOMPARE(label->alignment(), Qt::AlignCenter);
            QVERIFY(label->wordWrap());
        } else {
            QCOMPARE(qobject_cast<QPushButton *>(widget)->text(), expected.text);
        }
    }
    const QFont warningFont = window->findChild<QLabel *>("label_2")->font();
    QCOMPARE(warningFont.pointSize(), 10);
    QVERIFY(warningFont.bold());
    QCOMPARE(warningFont.family(), QApplication::font().family());

    QCOMPARE(bar()->geometry(), QRect(20, 80, 361, 16));
    QVERIFY(bar()->isHidden());
}

// A label's text is laid out as QLabel lays it out: wrapped at the label's width, the block
// of lines centred. Every line's ink must lie inside the label: a line box may overhang by
// the blank part of its ascent or descent, but no glyph may be cut.
void MainWindowTest::everyTextFitsItsWidget()
{
    for (auto *label : window->findChildren<QLabel *>()) {
        const QRect room = label->contentsRect();
        const QFontMetricsF metrics(label->font());
        QTextLayout layout(label->text(), label->font());
        QTextOption option(label->alignment());
        option.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(option);
        layout.beginLayout();
        qreal height = 0;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(room.width());
            height += metrics.leading();
            line.setPosition(QPointF(0, height));
            height += line.height();
        }
        layout.endLayout();

        const qreal top = (room.height() - height) / 2;
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine line = layout.lineAt(i);
            const QString text = label->text().mid(line.textStart(), line.textLength()).trimmed();
            const QRectF ink = metrics.tightBoundingRect(text);
            const qreal baseline = top + line.y() + line.ascent();
            QVERIFY2(baseline + ink.top() >= 0 && baseline + ink.bottom() <= room.height() &&
                         line.naturalTextWidth() <= room.width(),
                     qPrintable(QStringLiteral("%1: line %2 of %3 (\"%4\") is cut; the text needs "
                                               "%5 pixels of height in %6")
                                    .arg(label->objectName())
                                    .arg(i + 1)
                                    .arg(layout.lineCount())
                                    .arg(text)
                                    .arg(height)
                                    .arg(room.height())));
        }
    }
    for (auto *button : window->findChildren<QPushButton *>()) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const int needed = button->fontMetrics().horizontalAdvance(button->text());
        QVERIFY2(needed <= room.width() && button->fontMetrics().height() <= room.height(),
                 qPrintable(QStringLiteral("%1 needs %2 of %3 pixels")
                                .arg(button->objectName())
                                .arg(needed)
                                .arg(room.width())));
    }
}

void MainWindowTest::textsAndCaptionsAreTranslatedAsMainWindow()
{
    ContextMarker marker;
    QVERIFY(QCoreApplication::installTranslator(&marker));
    MainWindow translated;
    QCOMPARE(translated.windowTitle(), QStringLiteral("[MainWindow]Corvane  Kadenzo Ver 1.1"));
    for (auto *label : translated.findChildren<QLabel *>())
        QVERIFY2(label->text().startsWith("[MainWindow]"), qPrintable(label->objectName()));
    for (auto *button : translated.findChildren<QPushButton *>())
        QVERIFY2(button->text().startsWith("[MainWindow]"), qPrintable(button->objectName()));

    // The dialog captions go through the same context; the song filter is a plain text.
    QStringList captions;
    QStringList filters;
    for (const char *name : {"buttonFile", "buttonFolder"}) {
        clickAndAnswer(&translated, name, [&](QFileDialog *dialog) {
            captions.append(dialog->windowTitle());
            filters.append(dialog->nameFilters().join(';'));
            dialog->reject();
        });
    }
    QCoreApplication::removeTranslator(&marker);
    QCOMPARE(captions, QStringList({"[MainWindow]Seleziona i file da importare",
                                    "[MainWindow]Scegli cartella"}));
    QCOMPARE(filters.first(), QStringLiteral("Midifile (*.mid *.kar)"));
}

// Either dialog, the first time, starts where lastDir starts: off Windows, in the home folder
// (and not with a name "\\" typed in, which would not be found).
void MainWindowTest::cancellingEitherDialogRunsNothing()
{
    for (const char *name : {"buttonFile", "buttonFolder"}) {
        QString startedIn;
        QString typedName;
        const Answered answered = clickAndAnswer(window, name, [&](QFileDialog *dialog) {
            startedIn = dialog->directory().absolutePath();
            typedName = dialog->findChild<QLineEdit *>("fileNameEdit")->text();
            dialog->reject();
        });
        QCOMPARE(answered.fileDialogs, 1);
        QVERIFY2(answered.messages.isEmpty(), name);
        QCOMPARE(window->lastDirectory(), MainWindow::firstDirectory());
#ifndef Q_OS_WIN
        QCOMPARE(startedIn, QDir::homePath());
        QVERIFY2(typedName.isEmpty() || QDir(startedIn).exists(typedName), qPrintable(typedName));
#endif
        QVERIFY(bar()->isHidden());
    }
}

// Qt's own texts (dialog buttons, message box buttons) read in Italian once Qt's catalogue is
// installed, as the program installs it; the program's own texts stay as they are.
void MainWindowTest::qtButtonsReadInItalian()
{
    Texts::QtItalian qtItalian;
    if (!qtItalian.install())
        QSKIP("Qt's Italian catalogue (qt6-translations-l10n) is not installed");
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
    const QString cancel = box.button(QMessageBox::Cancel)->text();
    QStringList dialogButtons;
    MainWindow translated;
    clickAndAnswer(&translated, "buttonFile", [&](QFileDialog *dialog) {
        for (auto *button : dialog->findChild<QDialogButtonBox *>("buttonBox")->buttons())
            dialogButtons.append(button->text());
        dialog->reject();
    });
    QCoreApplication::removeTranslator(&qtItalian);
    QCOMPARE(cancel, QStringLiteral("Annulla"));
    QCOMPARE(dialogButtons, QStringList({"&Apri", "Annulla"}));
    QCOMPARE(translated.findChild<QPushButton *>("buttonFile")->text(),
             QStringLiteral("Scegli Song"));
}

// Three songs: one with a drum kit to repair, one with an event that is not accepted, and one that
// cannot be opened for writing. The error names the second; the summary counts two files found
// and one not opened, which its details name with the reason.
void MainWindowTest::songBatchReportsErrorsProgressAndTotals()
{
    QTemporaryDir songs;
    if (!makeUnwritableFile(songs.filePath("c.mid")))
        QSKIP("no file here refuses to be opened for writing");
    const QString good = songs.filePath("a.mid");
    const QString bad = songs.filePath("b.mid");
    QVERIFY(writeFile(good, goodSong));
    QVERIFY(writeFile(bad, badSong));

    QString caption;
    QString filter;
    const auto messages = click("buttonFile", [&](QFileDialog *dialog) {
        caption = dialog->windowTitle();
        filter = dialog->selectedNameFilter();
        dialog->setDirectory(songs.path());
        typeAndAccept(dialog, R"("a.mid" "b.mid" "c.mid")");
    });

    QCOMPARE(caption, QStringLiteral("Seleziona i file da importare"));
    QCOMPARE(filter, QStringLiteral("Midifile (*.mid *.kar)"));
    QCOMPARE(messages.size(), 2);
    QCOMPARE(messages[0].text,
             QStringLiteral("Attenzione! E' stato trovato un errore nel file ") + bad);
    QVERIFY(messages[0].barVisible);
    QCOMPARE(messages[0].barValue, 1); // the error comes before the bar counts the file
    QCOMPARE(messages[0].barMaximum, 3);
    QCOMPARE(messages[1].text,
             QStringLiteral("Files trovati: 2, numero Conversioni: 1\nFile non aperti: 1"));
    QVERIFY2(messages[1].details.endsWith("Attenzione! Impossibile aprire " +
                                          songs.filePath("c.mid") + ": file di sola lettura\n"),
             qPrintable(messages[1].details));
    // OK, "Ripristina i kit", then the toggle of Qt's details area; the details end with the
    // journal's path.
    QCOMPARE(messages[1].buttonCount, 3);
    QVERIFY(QFileInfo(messages[1].journal).isFile());
    QVERIFY(messages[1].barVisible);
    QCOMPARE(messages[1].barValue, 2);
    QCOMPARE(messages[1].barMaximum, 3);

    QVERIFY(bar()->isHidden());
    QCOMPARE(window->lastDirectory(), good);
    QCOMPARE(readFile(good), goodSongRepaired);
    QCOMPARE(readFile(bad), badSong);
}

// Only files directly inside, matching *.mid or *.kar in any case, in name order ignoring
// case; every one here fails, so the errors show the order and the paths built.
void MainWindowTest::folderBatchTakesTheSongsDirectlyInside()
{
    QTemporaryDir folder;
    for (const char *name : {"c.mid", "B.MID", "a.kar", "notes.txt", ".hidden.mid"})
        QVERIFY(writeFile(folder.filePath(name), badSong));
    QVERIFY(QDir(folder.path()).mkdir("x.mid"));
    QVERIFY(writeFile(folder.filePath("x.mid/inner.mid"), badSong));

    bool directoriesOnly = false;
    const auto messages = click("buttonFolder", [&](QFileDialog *dialog) {
        directoriesOnly = dialog->fileMode() == QFileDialog::Directory &&
                          dialog->testOption(QFileDialog::ShowDirsOnly) &&
                          dialog->testOption(QFileDialog::DontResolveSymlinks);
        typeAndAccept(dialog, folder.path());
    });
    QVERIFY(directoriesOnly);

    const QString error = QStringLiteral("Attenzione! E' stato trovato un errore nel file ");
    QStringList texts;
    for (const SeenMessage &message : messages)
        texts.append(message.text);
    QCOMPARE(texts, QStringList({error + folder.path() + "/a.kar", error + folder.path() + "/B.MID",
                                 error + folder.path() + "/c.mid",
                                 "Files trovati: 3, numero Conversioni: 0"}));
    QCOMPARE(window->lastDirectory(), folder.path());

    // The next song dialog starts in that folder.
    QString startedIn;
    click("buttonFile", [&](QFileDialog *dialog) {
        startedIn = dialog->directory().absolutePath();
        dialog->reject();
    });
    QCOMPARE(startedIn, QDir(folder.path()).absolutePath());
}

void MainWindowTest::emptyFolderStillEndsWithTheSummary()
{
    QTemporaryDir empty;
    const auto messages =
        click("buttonFolder", [&](QFileDialog *dialog) { typeAndAccept(dialog, empty.path()); });
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages[0].text, QStringLiteral("Files trovati: 0, numero Conversioni: 0"));
    QVERIFY(messages[0].barVisible);
    QCOMPARE(messages[0].barMaximum, 0);
    QVERIFY(bar()->isHidden());
}

// A tree of songs and other files; each case drops some of it (paths relative to the tree, or
// other addresses) and gives the files the batch walks, in order. Songs whose name starts
// with "good" hold a kit to repair, the others fail; every file not walked must stay as it was.
void MainWindowTest::dropRunsOneBatch_data()
{
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<int>("offered");
    QTest::addColumn<int>("action"); // Qt::IgnoreAction: the drop is refused
    QTest::addColumn<QStringList>("walked");
    QTest::addColumn<QString>("lastDir"); // relative to the tree, or "\\"

    const int copyOrMove = Qt::CopyAction | Qt::MoveAction;
    QTest::newRow("songs, other files left out")
        << QStringList{"bad.kar", "notes.txt", "good.mid", "folder/readme.txt"} << copyOrMove
        << int(Qt::CopyAction) << QStringList{"bad.kar", "good.mid"} << "bad.kar";
    QTest::newRow("a folder") << QStringList{"folder"} << copyOrMove << int(Qt::CopyAction)
                              << QStringList{"folder/bad.kar", "folder/GOOD.MID"} << "folder";
    QTest::newRow("a folder with a trailing slash")
        << QStringList{"folder/"} << copyOrMove << int(Qt::CopyAction)
        << QStringList{"folder/bad.kar", "folder/GOOD.MID"} << "folder";
    QTest::newRow("files and folders mixed")
        << QStringList{"good.mid", "folder", "other", "notes.txt"} << copyOrMove
        << int(Qt::CopyAction)
        << QStringList{"good.mid", "folder/bad.kar", "folder/GOOD.MID", "other/good.mid"}
        << "good.mid";
    QTest::newRow("a folder first")
        << QStringList{"other", "good.mid"} << copyOrMove << int(Qt::CopyAction)
        << QStringList{"other/good.mid", "good.mid"} << "other";
    QTest::newRow("a folder named like a song")
        << QStringList{"folder/sub.mid"} << copyOrMove << int(Qt::CopyAction)
        << QStringList{"folder/sub.mid/good.mid"} << "folder/sub.mid";
    QTest::newRow("an empty folder")
        << QStringList{"empty"} << copyOrMove << int(Qt::CopyAction) << QStringList{} << "empty";
    QTest::newRow("only other files and addresses")
        << QStringList{"notes.txt", "folder/readme.txt", "https://example.com/good.mid",
                       "missing.mid"}
        << copyOrMove << int(Qt::IgnoreAction) << QStringList{} << "\\";
    // The songs are changed where they are: a file manager that moved them would delete them.
    QTest::newRow("only a move offered") << QStringList{"good.mid"} << int(Qt::MoveAction)
                                         << int(Qt::IgnoreAction) << QStringList{} << "\\";
    QTest::newRow("a link offered") << QStringList{"good.mid"} << int(Qt::LinkAction)
                                    << int(Qt::LinkAction) << QStringList{"good.mid"} << "good.mid";
}

void MainWindowTest::dropRunsOneBatch()
{
    QFETCH(QStringList, dropped);
    QFETCH(int, offered);
    QFETCH(int, action);
    QFETCH(QStringList, walked);
    QFETCH(QString, lastDir);

    QTemporaryDir tree;
    const QDir root(tree.path());
    for (const char *folder : {"folder", "folder/sub.mid", "other", "empty"})
        QVERIFY(root.mkpath(folder));
    const QStringList files = {"good.mid",
                               "bad.kar",
                               "notes.txt",
                               "folder/GOOD.MID",
                               "folder/bad.kar",
                               "folder/readme.txt",
                               "folder/sub.mid/good.mid",
                               "other/good.mid"};
    // Songs named good... have a kit to repair, the others fail; the text files hold a kit too.
    const auto isGood = [](const QString &file) {
        return QFileInfo(file).fileName().startsWith("good", Qt::CaseInsensitive);
    };
    const auto original = [&](const QString &file) {
        return isGood(file) || file.endsWith(".txt") ? goodSong : badSong;
    };
    for (const QString &file : files)
        QVERIFY(writeFile(root.filePath(file), original(file)));

    QList<QUrl> urls;
    for (const QString &item : dropped)
        urls.append(item.contains("://") ? QUrl(item) : QUrl::fromLocalFile(root.filePath(item)));
    const DropResult result = dropOn(window, urls, Qt::DropActions(offered));

    const bool runs = action != Qt::IgnoreAction;
    QCOMPARE(result.enterAccepted, runs);
    QCOMPARE(result.dropAccepted, runs);
    QCOMPARE(int(result.action), action);

    QStringList texts;
    QString details;
    int changed = 0;
    for (const QString &file : walked) {
        const bool good = isGood(file);
        changed += good;
        details += root.filePath(file) + (good ? goodSongDetails : badSongDetails) + '\n';
        if (!good)
            texts.append(errorText + root.filePath(file));
    }
    if (runs)
        texts.append(QStringLiteral("Files trovati: %1, numero Conversioni: %2")
                         .arg(walked.size())
                         .arg(changed));
    QStringList seen;
    for (const SeenMessage &message : result.messages)
        seen.append(message.text);
    QCOMPARE(seen, texts);
    if (runs)
        QCOMPARE(result.messages.constLast().details, details);

    for (const QString &file : files) {
        const bool repaired = walked.contains(file) && isGood(file);
        QVERIFY2(readFile(root.filePath(file)) == (repaired ? goodSongRepaired : original(file)),
                 qPrintable(file));
    }
    QCOMPARE(window->lastDirectory(),
             lastDir == "\\" ? MainWindow::firstDirectory() : root.filePath(lastDir));
    QVERIFY(bar()->isHidden());
}

// A drop that arrives while a batch waits on one of its message boxes is refused, and the
// batch goes on as it was; once it has ended, drops are taken again.
void MainWindowTest::dropDuringABatchIsRefused()
{
    QTemporaryDir songs;
    const QString bad = songs.filePath("a.mid");
    const QString good = songs.filePath("b.mid");
    const QString late = songs.filePath("late.mid");
    QVERIFY(writeFile(bad, badSong));
    QVERIFY(writeFile(good, goodSong));
    QVERIFY(writeFile(late, goodSong));

    QList<DropResult> lateDrops;
    const DropResult first =
        dropOn(window, localUrls({bad, good}), Qt::CopyAction, [&](QMessageBox *box) {
            if (lateDrops.isEmpty())
                lateDrops.append(dropOn(window, localUrls({late})));
            return box->buttons().constFirst();
        });
    QCOMPARE(lateDrops.size(), 1);
    QVERIFY(!lateDrops[0].enterAccepted);
    QVERIFY(!lateDrops[0].dropAccepted);
    QVERIFY(lateDrops[0].messages.isEmpty());
    QCOMPARE(first.messages.size(), 2);
    QCOMPARE(first.messages[0].text, errorText + bad);
    QCOMPARE(first.messages[1].text, QStringLiteral("Files trovati: 2, numero Conversioni: 1"));
    QCOMPARE(readFile(late), goodSong);
    QCOMPARE(readFile(good), goodSongRepaired);
    QCOMPARE(window->lastDirectory(), bad);

    const DropResult after = dropOn(window, localUrls({late}));
    QVERIFY(after.dropAccepted);
    QCOMPARE(after.messages.size(), 1);
    QCOMPARE(readFile(late), goodSongRepaired);
    QCOMPARE(window->lastDirectory(), late);
}

// Each case drops songs, in order, and gives the summary's details expected; "%1" stands for
// the folder the songs are in. "gone.mid" is removed between the drop and the batch, so it
// cannot be opened: it is not counted among the files found, and the summary says so.
void MainWindowTest::summaryDetailsListChangesAndFailures_data()
{
    QTest::addColumn<QStringList>("songs");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("details");

    const QString gone = "Attenzione! Impossibile aprire %1/gone.mid: non esiste\n";
    QTest::newRow("changes and failures")
        << QStringList{"kits.mid", "standard.mid", "gone.mid", "late-failure.mid", "text.mid"}
        << "Files trovati: 4, numero Conversioni: 5\nFile non aperti: 1"
        << "%1/kits.mid: canale 10: kit 17 → 0 (2 volte); canale 10: kit 20 → 0; "
           "canale 1: kit 17 → 0\n" +
               gone +
               "%1/late-failure.mid: canale 10: kit 17 → 0; errore, lettura interrotta dopo 27 "
               "byte\n"
               "%1/text.mid: errore, lettura interrotta dopo 5 byte\n";
    QTest::newRow("a file not opened after a changed one")
        << QStringList{"kits.mid", "gone.mid"}
        << "Files trovati: 1, numero Conversioni: 4\nFile non aperti: 1"
        << "%1/kits.mid: canale 10: kit 17 → 0 (2 volte); canale 10: kit 20 → 0; "
           "canale 1: kit 17 → 0\n" +
               gone;
    QTest::newRow("nothing changed, every file opened")
        << QStringList{"standard.mid"} << "Files trovati: 1, numero Conversioni: 0" << QString();
#ifdef Q_OS_WIN
    // "held.mid" is held open, sharing nothing, as a player may hold it: by this test, through
    // a handle of its own (Windows' sharing rules hold between one program's handles too).
    QTest::newRow("a song another program holds")
        << QStringList{"kits.mid", "held.mid"}
        << "Files trovati: 1, numero Conversioni: 4\nFile non aperti: 1"
        << "%1/kits.mid: canale 10: kit 17 → 0 (2 volte); canale 10: kit 20 → 0; "
           "canale 1: kit 17 → 0\n"
           "Attenzione! Impossibile aprire %1/held.mid: in uso da un altro programma\n";
#endif
}

void MainWindowTest::summaryDetailsListChangesAndFailures()
{
    QFETCH(QStringList, songs);
    QFETCH(QString, summary);
    QFETCH(QString, details);

    // Channel 10 selects kit 17, kit 20 and kit 17 again; a GS message makes part 1 (on
    // channel 1) a rhythm part, which then selects kit 17.
    const QByteArray kits =
        smfHeader(1) + smfTrack("00 C9 11 00 C9 14 00 F0 0A 41 10 42 12 40 11 15 01 19 F7"
                                " 00 C0 11 00 C9 11 00 FF 2F 00");
    const QHash<QString, QByteArray> contents = {
        {"kits.mid", kits},
        {"standard.mid", smfHeader(1) + smfTrack("00 C9 00 00 FF 2F 00")},
        {"gone.mid", goodSong},
        {"held.mid", kits},
        {"late-failure.mid", smfHeader(1) + smfTrack("00 C9 11 00 F7 00 00 FF 2F 00")},
        {"text.mid", "hello"},
    };
    QTemporaryDir folder;
    QStringList paths;
    for (const QString &song : songs) {
        paths.append(folder.filePath(song));
        QVERIFY(writeFile(paths.constLast(), contents[song]));
    }
#ifdef Q_OS_WIN
    const HANDLE held =
        songs.contains("held.mid")
            ? CreateFileW(win32Path(folder.filePath("held.mid")).c_str(),
                          GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)
            : INVALID_HANDLE_VALUE;
    const auto release = qScopeGuard([&] {
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
    });
#endif

    const DropResult result = dropOn(window, localUrls(paths), Qt::CopyAction, {},
                                     [&] { QFile::remove(folder.filePath("gone.mid")); });
    QVERIFY(result.dropAccepted);
    const SeenMessage &last = result.messages.constLast();
    QCOMPARE(last.text, summary);
    QCOMPARE(last.details, details.isEmpty() ? details : details.arg(folder.path()));
    // With no details there is no toggle for them: the box has its OK button only.
    // OK, "Ripristina i kit" where something changed, and the toggle of the details.
    const bool changed = !summary.endsWith("Conversioni: 0");
    QCOMPARE(last.buttonCount, 1 + int(changed) + int(!details.isEmpty()));
    QCOMPARE(!last.journal.isEmpty(), changed);
    QVERIFY(last.firstIsDefault);
}

// "Ignora i successivi" on the first of three broken songs: no box for the other two, which
// the summary's details list with the rest. The next batch shows its boxes again.
void MainWindowTest::ignoringStopsTheBoxesForTheRestOfTheBatch()
{
    QTemporaryDir folder;
    for (const char *name : {"a.mid", "b.mid", "d.mid"})
        QVERIFY(writeFile(folder.filePath(name), badSong));
    QVERIFY(writeFile(folder.filePath("c.mid"), goodSong));

    const DropResult ignored =
        dropOn(window, localUrls({folder.path()}), Qt::CopyAction, ignoreTheRest);
    QCOMPARE(ignored.messages.size(), 2);
    const SeenMessage &error = ignored.messages[0];
    QCOMPARE(error.text, errorText + folder.filePath("a.mid"));
    QCOMPARE(error.buttons, QStringList({"OK", "Ignora i successivi"}));
    QVERIFY(error.firstIsDefault);
    QCOMPARE(ignored.messages[1].text, QStringLiteral("Files trovati: 4, numero Conversioni: 1"));
    QCOMPARE(ignored.messages[1].details, folder.filePath("a.mid") + badSongDetails + '\n' +
                                              folder.filePath("b.mid") + badSongDetails + '\n' +
                                              folder.filePath("c.mid") + goodSongDetails + '\n' +
                                              folder.filePath("d.mid") + badSongDetails + '\n');
    QCOMPARE(readFile(folder.filePath("c.mid")), goodSongRepaired);

    const DropResult again = dropOn(window, localUrls({folder.path()}));
    QStringList texts;
    for (const SeenMessage &message : again.messages)
        texts.append(message.text);
    QCOMPARE(texts, QStringList({errorText + folder.filePath("a.mid"),
                                 errorText + folder.filePath("b.mid"),
                                 errorText + folder.filePath("d.mid"),
                                 "Files trovati: 4, numero Conversioni: 0"}));
}

// A batch held by a slow disk: the window answers meanwhile, and a stop (Esc, "Interrompi", or
// closing the window) lets the songs already started finish whole and starts no other.
void MainWindowTest::stoppingWalksTheStartedSongsWholeAndNoOther_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("Esc") << "Esc";
    QTest::newRow("Interrompi") << "Interrompi";
    QTest::newRow("closing the window") << "close";
}

void MainWindowTest::stoppingWalksTheStartedSongsWholeAndNoOther()
{
    QFETCH(QString, how);
    QTemporaryDir folder;
    QStringList paths;
    for (int i = 0; i < songsBeyondThoseInFlight; ++i) {
        paths.append(folder.filePath(QStringLiteral("s%1.mid").arg(i, 2, 10, QLatin1Char('0'))));
        QVERIFY(writeFile(paths.constLast(), goodSong));
    }
    SongGate gate(window);
    ModalAnswerer answerer(bar(), {});
    QSignalSpy finished(window, &MainWindow::batchFinished);
    window->runFromCommandLine({folder.path()});

    // The batch waits on the disk; this thread goes on handling events.
    QTRY_VERIFY(!gate.startedSongs().isEmpty());
    auto *stop = window->findChild<QPushButton *>("buttonStop");
    QVERIFY(stop->isVisible());
    QCOMPARE(stop->text(), QStringLiteral("Interrompi"));
    QVERIFY(!window->findChild<QPushButton *>("buttonFile")->isEnabled());
    if (how == "Esc") {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_Escape);
    } else if (how == "Interrompi") {
        QTest::mouseClick(stop, Qt::LeftButton);
    } else {
        window->close();
        QVERIFY(window->isVisible()); // until the songs in flight are done
    }
    gate.letGo(paths.size());
    QVERIFY(finished.wait(60000));

    const QStringList started = gate.startedSongs();
    QVERIFY(started.size() < paths.size());
    for (const QString &path : paths)
        QCOMPARE(readFile(path), started.contains(path) ? goodSongRepaired : goodSong);
    if (how == "close") {
        QVERIFY(answerer.messages.isEmpty());
        QVERIFY(!window->isVisible());
        return;
    }
    const qsizetype notWalked = paths.size() - started.size();
    QCOMPARE(answerer.messages.size(), 1);
    QCOMPARE(answerer.messages[0].text,
             QStringLiteral("Files trovati: %1, numero Conversioni: %1\nElaborazione interrotta: "
                            "%2 file non elaborat%3")
                 .arg(started.size())
                 .arg(notWalked)
                 .arg(notWalked == 1 ? "o" : "i"));
    QVERIFY(!stop->isVisible());
    QVERIFY(window->findChild<QPushButton *>("buttonFile")->isEnabled());
}

// While a failure's message box waits for the user, the songs already started finish and no
// other starts; the rest of the batch runs once it is closed. Two broken songs first: the second
// is walked while the first's box waits, and its box holds the batch in turn.
void MainWindowTest::noSongStartsWhileAFailureWaits_data()
{
    QTest::addColumn<QStringList>("broken");
    QTest::newRow("one failure") << QStringList{"a.mid"};
    QTest::newRow("two failures in flight") << QStringList{"a.mid", "b.mid"};
}

void MainWindowTest::noSongStartsWhileAFailureWaits()
{
    QFETCH(QStringList, broken);
    QTemporaryDir folder;
    QStringList names{"a.mid", "b.mid"};
    for (int i = 0; names.size() < songsBeyondThoseInFlight; ++i)
        names.append(QStringLiteral("s%1.mid").arg(i, 2, 10, QLatin1Char('0')));
    for (const QString &name : names)
        QVERIFY(writeFile(folder.filePath(name), broken.contains(name) ? badSong : goodSong));
    SongGate gate(window);
    QTimer drip; // a song at a time, until the first failure shows
    connect(&drip, &QTimer::timeout, [&] { gate.letGo(1); });
    drip.start(50);

    qsizetype startedAtTheBox = -1;
    QList<qsizetype> startedAtEachAnswer;
    QElapsedTimer boxOpen;
    QString boxText;
    const DropResult result =
        dropOn(window, localUrls({folder.path()}), Qt::CopyAction, [&](QMessageBox *box) {
            if (!box->text().startsWith(errorText))
                return box->buttons().constFirst();
            if (startedAtTheBox < 0) {
                drip.stop();
                startedAtTheBox = gate.startedSongs().size();
                gate.letGo(100);
            }
            if (box->text() != boxText) {
                boxText = box->text();
                boxOpen.start();
            }
            if (boxOpen.elapsed() < 300)
                return static_cast<QAbstractButton *>(nullptr);
            startedAtEachAnswer.append(gate.startedSongs().size());
            boxText.clear();
            return box->buttons().constFirst();
        });
    QVERIFY(startedAtTheBox > 0 && startedAtTheBox < names.size());
    QCOMPARE(startedAtEachAnswer, QList<qsizetype>(broken.size(), startedAtTheBox));
    QCOMPARE(result.messages.size(), broken.size() + 1);
    QCOMPARE(result.messages.constLast().text,
             QStringLiteral("Files trovati: %1, numero Conversioni: %2")
                 .arg(names.size())
                 .arg(names.size() - broken.size()));
    QCOMPARE(readFile(folder.filePath(names.constLast())), goodSongRepaired);
}

// `kadenzo PATH...`: the songs and folders given run one batch, as if dropped; other files
// are left out (a journal too, given with others), and a path that does not exist is a file not
// opened. A file named as a journal, given alone, that is not one is said so.
void MainWindowTest::commandLineSongsAndFoldersRunOneBatch()
{
    QTemporaryDir tree;
    QVERIFY(QDir(tree.path()).mkdir("folder"));
    const QString folderGood = tree.filePath("folder/good.mid");
    const QString folderBad = tree.filePath("folder/bad.kar");
    const QString song = tree.filePath("song.mid");
    const QString notes = tree.filePath("notes.txt");
    const QString missing = tree.filePath("missing.mid");
    const QString table = tree.filePath("table.tsv");
    QVERIFY(writeFile(folderGood, goodSong) && writeFile(folderBad, badSong) &&
            writeFile(song, goodSong) && writeFile(notes, goodSong) && writeFile(table, goodSong));

    window->runFromCommandLine({notes});
    QVERIFY(!window->isBatchRunning()); // nothing to walk: no batch

    ModalAnswerer answerer(bar(), {});
    QSignalSpy finished(window, &MainWindow::batchFinished);
    window->runFromCommandLine({tree.filePath("folder"), notes, table, missing, song});
    QVERIFY(finished.wait(60000));
    QCOMPARE(answerer.messages.size(), 2);
    QCOMPARE(answerer.messages[0].text, errorText + folderBad);
    QCOMPARE(answerer.messages[1].text,
             QStringLiteral("Files trovati: 3, numero Conversioni: 2\nFile non aperti: 1"));
    QCOMPARE(answerer.messages[1].details, folderBad + badSongDetails + '\n' + folderGood +
                                               goodSongDetails + '\n' + song + goodSongDetails +
                                               "\nAttenzione! Impossibile aprire " + missing +
                                               ": non esiste\n");
    QCOMPARE(readFile(notes), goodSong);
    QCOMPARE(readFile(song), goodSongRepaired);
    QCOMPARE(window->lastDirectory(), tree.filePath("folder"));

    window->runFromCommandLine({table});
    QVERIFY(finished.wait(60000));
    QCOMPARE(answerer.messages.size(), 3);
    QCOMPARE(answerer.messages[2].text,
             Texts::journalNotRead(QDir::toNativeSeparators(table), Texts::notAJournal()));
    QCOMPARE(readFile(table), goodSong);
}

// "Ripristina i kit" in the summary, or the journal that the summary names dropped on the window
// or given on its command line (after a first time answered "Annulla", which changes nothing):
// the kits the batch changed come back where the songs still hold kit 0; a byte changed since
// is left alone, and said why.
void MainWindowTest::restoringPutsBackTheBatchsKits_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("from the summary") << "summary";
    QTest::newRow("a journal dropped") << "drop";
    QTest::newRow("a journal on the command line") << "command line";
}

void MainWindowTest::restoringPutsBackTheBatchsKits()
{
    QFETCH(QString, how);
    QTemporaryDir folder;
    const QString kept = folder.filePath("a.mid");
    const QString changed = folder.filePath("b.mid");
    QVERIFY(writeFile(kept, goodSong) && writeFile(changed, goodSong));
    const auto changeOne = [&] {
        QByteArray bytes = readFile(changed);
        bytes[24] = 5; // another program sets kit 5 there meanwhile
        writeFile(changed, bytes);
    };
    const auto restoreButton = [](QMessageBox *box) -> QAbstractButton * {
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == QStringLiteral("&Ripristina i kit"))
                return button;
        }
        return nullptr;
    };
    const DropResult batch =
        dropOn(window, localUrls({folder.path()}), Qt::CopyAction, [&](QMessageBox *box) {
            QAbstractButton *restore = how == "summary" ? restoreButton(box) : nullptr;
            if (!restore)
                return box->buttons().constFirst();
            changeOne();
            return restore;
        });
    QCOMPARE(batch.messages[0].text, QStringLiteral("Files trovati: 2, numero Conversioni: 2"));
    QList<SeenMessage> restoring = batch.messages.mid(1);

    if (how != "summary") {
        QCOMPARE(batch.messages.size(), 1);
        const QString journal = QDir::fromNativeSeparators(batch.messages[0].journal);
        changeOne();
        const QByteArray changedBefore = readFile(changed);
        QMessageBox cancelBox(QMessageBox::NoIcon, {}, {}, QMessageBox::Cancel);
        const QString cancel = cancelBox.button(QMessageBox::Cancel)->text(); // "Annulla"
        for (const bool restore : {false, true}) {
            bool buttonsEnabled = true;
            const auto pick = [&](QMessageBox *box) {
                buttonsEnabled = window->findChild<QPushButton *>("buttonFile")->isEnabled() ||
                                 window->findChild<QPushButton *>("buttonFolder")->isEnabled();
                return restore || !restoreButton(box) ? box->buttons().constFirst()
                                                      : box->button(QMessageBox::Cancel);
            };
            if (how == "drop") {
                const DropResult dropped =
                    dropOn(window, localUrls({journal}), Qt::CopyAction, pick);
                QVERIFY(dropped.enterAccepted && dropped.dropAccepted);
                restoring = dropped.messages;
            } else {
                ModalAnswerer answerer(bar(), {});
                answerer.pick = pick;
                QSignalSpy finished(window, &MainWindow::batchFinished);
                window->runFromCommandLine({journal});
                QVERIFY(finished.wait(60000));
                restoring = answerer.messages;
            }
            QVERIFY(!buttonsEnabled);
            QCOMPARE(restoring.size(), restore ? 2 : 1);
            QCOMPARE(restoring[0].text,
                     Texts::restoreQuestion(QDir::toNativeSeparators(journal), 2));
            QCOMPARE(restoring[0].buttons, QStringList({"&Ripristina i kit", cancel}));
            QVERIFY(restoring[0].firstIsDefault);
            if (!restore) {
                QCOMPARE(readFile(kept), goodSongRepaired);
                QCOMPARE(readFile(changed), changedBefore);
            }
        }
        restoring.removeFirst();
    }
    QCOMPARE(restoring.size(), 1);
    QCOMPARE(restoring[0].text, QStringLiteral("Kit ripristinati: 1, non ripristinati: 1"));
    QVERIFY(restoring[0].barVisible && restoring[0].barMaximum == 0);
    QCOMPARE(
        restoring[0].details,
        "Attenzione! Kit non ripristinato in " + QDir::toNativeSeparators(changed) +
            ", posizione 24 (canale 10, kit 17): in quella posizione c'è il kit 5, non il kit 0\n");
    QCOMPARE(readFile(kept), goodSong);
    QVERIFY(bar()->isHidden());
    QVERIFY(window->findChild<QPushButton *>("buttonFile")->isEnabled());
}

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
