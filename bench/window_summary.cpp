// kadenzo-window-summary [SONGS]: how long the window takes, after the last file of a large
// dropped folder, to show its summary with the details, and to open those details.
//
// It writes SONGS small songs (10,000 by default) into a temporary folder, each with a drum kit
// to repair and every tenth one broken, drops the folder on the window (offscreen unless
// QT_QPA_PLATFORM says otherwise), answers the first error with "Ignora i successivi", and
// prints the times.
#include "mainwindow.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTextStream>
#include <QTimer>
#include <QUrl>

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

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int songs = argc > 1 ? QByteArray(argv[1]).toInt() : 10000;
    QTextStream out(stdout);

    QTemporaryDir folder;
    for (int i = 0; i < songs; ++i) {
        QFile file(folder.filePath(QStringLiteral("song%1.mid").arg(i, 5, 10, QChar(u'0'))));
        if (!file.open(QIODevice::WriteOnly) || file.write(song(i % 10 == 9)) < 0)
            return 1;
    }

    MainWindow window;
    window.show();
    Answerer answerer;
    app.installEventFilter(&answerer);
    qint64 lastFileAt = -1;
    auto *bar = window.findChild<QProgressBar *>("progressBar");
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
        if (value == songs)
            lastFileAt = answerer.clock.elapsed();
    });

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder.path())});
    const QPointF middle = window.rect().center();
    QDragEnterEvent enter(middle.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(middle, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    answerer.clock.start();
    QApplication::sendEvent(&window, &enter);
    QApplication::sendEvent(&window, &drop);
    QCoreApplication::sendPostedEvents(&window, QEvent::MetaCall); // the whole batch
    const qint64 total = answerer.clock.elapsed();

    out << songs << " songs, " << answerer.detailLines << " lines of details\n"
        << "whole batch, drop to summary closed: " << total << " ms\n"
        << "last file to summary shown (details built and set): "
        << answerer.summaryShownAt - lastFileAt << " ms\n"
        << "opening the details: " << answerer.detailsOpenMs << " ms\n";
    return answerer.detailsOpenMs < 0 ? 1 : 0;
}
