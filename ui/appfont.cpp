#include "appfont.h"
#include "mainwindow.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextLayout>

#include <algorithm>

namespace {

constexpr qreal smallestPointSize = 6;
constexpr char shrunkProperty[] = "kadenzoShrunkToFit";

// The height that a label's text takes, wrapped at the label's width as QLabel wraps it,
// from the top of its first line's letters to the bottom of its last line's; or -1 when a
// word is wider than the label. The blank above the tallest letter and below the lowest one
// may overhang the label without cutting anything.
qreal inkHeight(const QLabel &label, qreal width)
{
    QTextLayout layout(label.text(), label.font());
    QTextOption option(label.alignment());
    option.setWrapMode(QTextOption::WordWrap);
    layout.setTextOption(option);
    const QFontMetricsF metrics(label.font());
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        if (line.naturalTextWidth() > width)
            return -1;
        y += metrics.leading();
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    const int lines = layout.lineCount();
    if (lines == 0)
        return 0;
    auto inkOf = [&](int i) {
        const QTextLine line = layout.lineAt(i);
        return metrics.tightBoundingRect(label.text().mid(line.textStart(), line.textLength()));
    };
    const qreal firstBaseline = layout.lineAt(0).y() + layout.lineAt(0).ascent();
    const qreal lastBaseline = layout.lineAt(lines - 1).y() + layout.lineAt(lines - 1).ascent();
    // The block of lines is centred: the blank it has at the top it has at the bottom too.
    const qreal blankAbove = firstBaseline + inkOf(0).top();
    const qreal blankBelow = y - (lastBaseline + inkOf(lines - 1).bottom());
    return y - 2 * qMin(blankAbove, blankBelow);
}

bool installed(const QString &family)
{
    return QFontDatabase::families().contains(family, Qt::CaseInsensitive);
}

// Every button's text fits inside the button's contents.
bool buttonsFit(const QWidget &window)
{
    for (const QPushButton *button : window.findChildren<QPushButton *>()) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        const QFontMetrics metrics(button->font());
        if (metrics.horizontalAdvance(button->text()) > room.width() ||
            metrics.height() > room.height())
            return false;
    }
    return true;
}

} // namespace

bool labelTextFits(const QLabel &label)
{
    const QRect room = label.contentsRect();
    const qreal height = inkHeight(label, room.width());
    return height >= 0 && height <= room.height();
}

void shrinkUntilItFits(QLabel &label)
{
    QFont font = label.font();
    while (!labelTextFits(label) && font.pointSizeF() > smallestPointSize) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        label.setFont(font);
        label.setProperty(shrunkProperty, true);
    }
}

void useLayoutFont()
{
    const QFont platformDefault = QApplication::font();
    QList<QFont> candidates = {platformDefault};
    // Tahoma 8 is the font the layout was drawn with. Liberation Sans, Arimo and Arial share
    // Arial's metrics, which at 9 points come close to it.
    for (const auto &[family, points] :
         {std::pair{"Tahoma", 8}, {"Liberation Sans", 9}, {"Arimo", 9}, {"Arial", 9}}) {
        if (installed(QString::fromLatin1(family)))
            candidates.append(QFont(QString::fromLatin1(family), points));
    }
    for (qreal points = platformDefault.pointSizeF() - 0.5; points >= smallestPointSize;
         points -= 0.5) {
        QFont smaller = platformDefault;
        smaller.setPointSizeF(points);
        candidates.append(smaller);
    }

    // First a font with which the labels keep the sizes of the form; failing that, one with
    // which the window has to shrink a label (shrinkUntilItFits) but every text fits.
    for (const bool labelsMayShrink : {false, true}) {
        for (const QFont &font : candidates) {
            QApplication::setFont(font);
            // Made anew for each font: widgets take the application font when they are made.
            const MainWindow probe;
            const auto labels = probe.findChildren<QLabel *>();
            const bool labelsFit = std::all_of(labels.begin(), labels.end(), [&](QLabel *label) {
                return labelTextFits(*label) &&
                       (labelsMayShrink || !label->property(shrunkProperty).toBool());
            });
            if (labelsFit && buttonsFit(probe))
                return;
        }
    }
    QApplication::setFont(platformDefault);
}
