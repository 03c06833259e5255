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

bool makeUnwritableFile(const QString &path)
{
#ifdef Q_OS_WIN
    return writeFile(path, "MThd") &&
           QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadUser |
                                           QFileDevice::ReadGroup | QFileDevice::ReadOther) &&
           !QFile(path).open(QIODevice::ReadWrite);
#else
    const QString attribute = unwritableFile();
    return !attribute.isEmpty() && QFile::link(attribute, path);
#endif
}
