// kadenzo-window-summary [SONGS [OPEN_MS]]: how long the window takes over a large dropped
// folder, against kadenzo-batch over the same songs; and after the last file, to show its
// summary with the details, and to open those details.
//
// It writes SONGS small songs (10,000 by default) into a temporary folder, each with a drum kit
// to repair and every tenth one broken, drops the folder on the window (offscreen unless
// QT_QPA_PLATFORM says otherwise), answers the first error with "Ignora i successivi", and
// prints the times; then runs kadenzo-batch over a fresh copy of the songs. Each is run three
// times, on fresh songs, and the median is given. With OPEN_MS, every open of a song for
// reading and writing takes that long, as on a slow network share (Linux: slow_open.cpp).
#include "mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QProcess>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

#include <algorithm>

#ifdef KADENZO_SLOW_OPEN
#include <unistd.h>
#endif

namespace {

QByteArray song(bool broken)
{
    // Header (format 0, one track), then a track: kit 17 on channel 10, End of Track; a
    // broken song has a status the walk does not accept in the middle.
    QByteArray bytes = QByteArray::fromHex("4D546864000000060000000100604D54726B");
    const QByteArray events =
        QByteArray::fromHex(broken ? "00C91100F70000FF2F00" : "00C91100C91400FF2F00");
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(char((events.size() >> shift) & 0xFF));
    return bytes + events;
}

// Answers the boxes as they are shown and notes when the summary appears.
class Answerer : public QObject
{
public:
    QElapsedTimer clock;
    qint64 summaryShownAt = -1;
    qint64 detailsOpenMs = -1;
    qsizetype detailLines = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *box = qobject_cast<QMessageBox *>(watched);
        if (!box || event->type() != QEvent::Show)
            return false;
        if (box->detailedText().isEmpty() && box->buttons().size() == 2) { // an error box
            QTimer::singleShot(0, box, [box] { box->buttons().constLast()->click(); });
            return false;
        }
        summaryShownAt = clock.elapsed();
        QTimer::singleShot(0, box, [this, box] {
            detailLines = box->detailedText().count(u'\n');
            QElapsedTimer open;
            open.start();
            box->buttons().constLast()->click();               // Qt's "Show Details..." toggle
            box->findChild<QTextEdit *>()->viewport()->grab(); // laid out and painted
            detailsOpenMs = open.elapsed();
            box->buttons().constFirst()->click();
        });
        return false;
    }
};

bool writeSongs(const QString &folder, int songs)
{
    for (int i = 0; i < songs; ++i) {
        QFile file(folder + QStringLiteral("/song%1.mid").arg(i, 5, 10, QChar(u'0')));
        if (!file.open(QIODevice::WriteOnly) || file.write(song(i % 10 == 9)) < 0)
            return false;
    }
    return true;
}

struct WindowRun
{
    qint64 batchMs = -1; // drop to summary shown
    qint64 summaryMs = -1;
    qint64 detailsMs = -1;
    qsizetype detailLines = 0;
};

WindowRun runWindow(const QString &folder, int songs)
{
    MainWindow window;
    window.show();
    Answerer answerer;
    QApplication::instance()->installEventFilter(&answerer);
    qint64 lastFileAt = -1;
    auto *bar = window.findChild<QProgressBar *>("progressBar");
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
        if (value == songs) // the broken songs are files found too
            lastFileAt = answerer.clock.elapsed();
    });
    QEventLoop waiting;
    QObject::connect(&window, &MainWindow::batchFinished, &waiting, &QEventLoop::quit);

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder)});
    const QPointF middle = window.rect().center();
    QDragEnterEvent enter(middle.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    answerer.clock.start();
    QApplication::sendEvent(&window, &enter);
    QApplication::sendEvent(&window, &drop);
    waiting.exec();
    QApplication::instance()->removeEventFilter(&answerer);
    return {answerer.summaryShownAt, answerer.summaryShownAt - lastFileAt, answerer.detailsOpenMs,
            answerer.detailLines};
}

qint64 median(QList<qint64> times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int songs = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    const int openMs = argc > 2 ? QByteArray(argv[2]).toInt() : 0;
#ifdef KADENZO_SLOW_OPEN
    // The slow opens need the library preloaded: start again with it.
    if (openMs > 0 && !qEnvironmentVariable("LD_PRELOAD").contains(KADENZO_SLOW_OPEN)) {
        qputenv("LD_PRELOAD", KADENZO_SLOW_OPEN);
        execv("/proc/self/exe", argv);
        return 1;
    }
#endif
    QApplication app(argc, argv);
    QTextStream out(stdout);
    QTemporaryDir root; // the share, the songs and the journals
    qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath("data")));
    qputenv("KADENZO_SLOW_OPEN_FOLDER", QFile::encodeName(root.path()));
    qputenv("KADENZO_SLOW_OPEN_MS", QByteArray::number(openMs));
    const QString windowSongs = root.filePath("window");
    const QString batchSongs = root.filePath("batch");
    if (!QDir().mkpath(windowSongs) || !QDir().mkpath(batchSongs))
        return 1;

    QList<qint64> windowTimes;
    QList<qint64> batchTimes;
    WindowRun last;
    for (int run = 0; run < 3; ++run) {
        if (!writeSongs(windowSongs, songs) || !writeSongs(batchSongs, songs))
            return 1;
        last = runWindow(windowSongs, songs);
        windowTimes.append(last.batchMs);
#ifdef KADENZO_BATCH
        QProcess batch;
        QElapsedTimer clock;
        clock.start();
        batch.start(QStringLiteral(KADENZO_BATCH), {batchSongs});
        if (!batch.waitForFinished(-1))
            return 1;
        batchTimes.append(clock.elapsed());
#endif
    }

    out << songs << " songs" << (openMs > 0 ? QStringLiteral(", %1 ms an open").arg(openMs) : "")
        << ", " << last.detailLines << " lines of details; medians of 3 runs\n"
        << "window, drop to summary shown: " << median(windowTimes) << " ms\n";
    if (!batchTimes.isEmpty())
        out << "kadenzo-batch, same songs: " << median(batchTimes) << " ms (window / batch: "
            << QString::number(double(median(windowTimes)) / double(median(batchTimes)), 'f', 2)
            << ")\n";
    out << "last file to summary shown (details built and set): " << last.summaryMs << " ms\n"
        << "opening the details: " << last.detailsMs << " ms\n";
    return last.detailsMs < 0 ? 1 : 0;
}
