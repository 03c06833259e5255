#include "appfont.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>

void useLayoutFont()
{
#ifndef Q_OS_WIN
    // Liberation Sans has the metrics of Arial, the font the layout was drawn with.
    const QString arialMetric = QStringLiteral("Liberation Sans");
    if (!QFontDatabase::families().contains(arialMetric))
        return;
    const QFont layoutFont(arialMetric, 9);
    const QString sample = QStringLiteral("Scegli Cartella");
    if (QFontMetrics(QApplication::font()).horizontalAdvance(sample) >
        QFontMetrics(layoutFont).horizontalAdvance(sample))
        QApplication::setFont(layoutFont);
#endif
}
