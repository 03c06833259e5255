#include "midibytes.h"

#include <QFileInfo>

QString unwritableFile()
{
    // sysfs refuses to open an attribute without a store method for writing, whoever asks,
    // so unlike a file without write permission this one also holds when the tests run as root.
    const QString attribute = QStringLiteral("/sys/devices/system/cpu/online");
    QFile probe(attribute);
    if (!QFileInfo(attribute).isFile() || probe.open(QIODevice::ReadWrite))
        return {};
    return attribute;
}
