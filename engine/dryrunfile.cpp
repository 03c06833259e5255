#include "dryrunfile.h"

DryRunFile::DryRunFile(const QString &path)
    : file(path)
{
}

bool DryRunFile::openSong()
{
    if (!file.open(QIODevice::ReadOnly | QIODevice::ExistingOnly | QIODevice::Unbuffered)) {
        setErrorString(file.errorString());
        return false;
    }
    return QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void DryRunFile::close()
{
    QIODevice::close();
    file.close();
}

// The file's own position follows this device's: set here, moved on by reads and writes.
bool DryRunFile::seek(qint64 pos)
{
    return QIODevice::seek(pos) && file.seek(pos);
}

qint64 DryRunFile::size() const
{
    return file.size();
}

qint64 DryRunFile::readData(char *data, qint64 maxSize)
{
    const qint64 start = pos();
    const qint64 length = file.read(data, maxSize);
    if (length <= 0)
        return length;
    const auto end = writes->lower_bound(start + length);
    for (auto write = writes->lower_bound(start); write != end; ++write)
        data[write->first - start] = write->second;
    return length;
}

qint64 DryRunFile::writeData(const char *data, qint64 maxSize)
{
    const qint64 start = pos();
    if (!file.seek(start + maxSize))
        return -1;
    for (qint64 i = 0; i < maxSize; ++i)
        (*writes)[start + i] = data[i];
    return maxSize;
}
