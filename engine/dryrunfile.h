#pragma once

#include <QFile>
#include <QIODevice>

#include <map>

// A song opened read-only that takes writes without passing them on, so that the engine walks
// it as it would walk the real file and nothing reaches the disk. The bytes written are kept
// in `writes` (offset to byte) and read back over the file's own, so that a later walk of the
// same file in the same run, given the same map, reads what a real run would have left there.
// The map is set before the walk (setWrites), once it is known which file this is.
class DryRunFile : public QIODevice
{
public:
    using Writes = std::map<qint64, char>;
    explicit DryRunFile(const QString &path);
    void setWrites(Writes &map) { writes = &map; }
    // The file read, open once openSong has succeeded.
    const QFile &songFile() const { return file; }

    // Opens the file for reading only, and this device for reading and writing, unbuffered.
    bool openSong();
    void close() override;
    bool seek(qint64 pos) override;
    qint64 size() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    QFile file;
    Writes ownWrites;
    Writes *writes = &ownWrites;
};
