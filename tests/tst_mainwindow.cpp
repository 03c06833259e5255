// The window as a user meets it: its look, then the real path through the buttons, the real
// file and folder dialogs and the message boxes, answered from inside the test.
#include "appfont.h"
#include "mainwindow.h"
#include "midibytes.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <QTranslator>

#include <functional>

namespace {

// What a message box showed, with the state of the progress bar while it was open.
struct SeenMessage
{
    QString text;
    int buttonCount = 0;
    bool barVisible = false;
    int barValue = -1;
    int barMaximum = -1;
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

private:
    void answer()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (auto *dialog = qobject_cast<QFileDialog *>(modal)) {
            ++fileDialogsSeen;
            answerFileDialog(dialog);
        } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
            messages.append({box->text(), int(box->buttons().size()), bar->isVisible(),
                             bar->value(), bar->maximum()});
            box->buttons().constFirst()->click();
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
Answered clickAndAnswer(QWidget *window, const char *buttonName,
                        std::function<void(QFileDialog *)> answer)
{
    ModalAnswerer answerer(window->findChild<QProgressBar *>("progressBar"), std::move(answer));
    QTest::mouseClick(window->findChild<QPushButton *>(buttonName), Qt::LeftButton);
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
    void songBatchReportsErrorsProgressAndTotals();
    void folderBatchTakesTheSongsDirectlyInside();
    void emptyFolderStillEndsWithTheSummary();

private:
    QProgressBar *bar() const { return window->findChild<QProgressBar *>("progressBar"); }
    // Clicks the button and answers its dialog; returns what the message boxes said.
    QList<SeenMessage> click(const char *buttonName, std::function<void(QFileDialog *)> answer)
    {
        return clickAndAnswer(window, buttonName, std::move(answer)).messages;
    }

    MainWindow *window = nullptr;
};

void MainWindowTest::initTestCase()
{
    useLayoutFont();
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
    QCOMPARE(window->lastDirectory(), QStringLiteral("\\"));

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

void MainWindowTest::cancellingEitherDialogRunsNothing()
{
    for (const char *name : {"buttonFile", "buttonFolder"}) {
        const Answered answered =
            clickAndAnswer(window, name, [](QFileDialog *dialog) { dialog->reject(); });
        QCOMPARE(answered.fileDialogs, 1);
        QVERIFY2(answered.messages.isEmpty(), name);
        QCOMPARE(window->lastDirectory(), QStringLiteral("\\"));
        QVERIFY(bar()->isHidden());
    }
}

// Three songs: one with a drum kit to repair, one with an event that is not accepted, and one that
// cannot be opened for writing. The error names the second, and the summary counts two files.
void MainWindowTest::songBatchReportsErrorsProgressAndTotals()
{
    const QString unwritable = unwritableFile();
    if (unwritable.isEmpty())
        QSKIP("no file here refuses to be opened for writing");
    QTemporaryDir songs;
    const QString good = songs.filePath("a.mid");
    const QString bad = songs.filePath("b.mid");
    QVERIFY(writeFile(good, goodSong));
    QVERIFY(writeFile(bad, badSong));
    QVERIFY(QFile::link(unwritable, songs.filePath("c.mid")));

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
    QCOMPARE(messages[1].text, QStringLiteral("Files trovati: 2, numero Conversioni: 1"));
    QCOMPARE(messages[1].buttonCount, 1);
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

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
