#include "recordingdevice.h"

#include <cstring>

RecordingDevice::RecordingDevice(QObject *parent)
    : QIODevice(parent)
{ }

void RecordingDevice::feedIncoming(const QByteArray &bytes)
{
    incoming += bytes;
    emit readyRead();
}

qint64 RecordingDevice::bytesAvailable() const { return incoming.size() + QIODevice::bytesAvailable(); }

qint64 RecordingDevice::readData(char *data, qint64 maxSize)
{
    const qint64 n = qMin<qint64>(maxSize, incoming.size());
    std::memcpy(data, incoming.constData(), size_t(n));
    incoming.remove(0, n);
    return n;
}

qint64 RecordingDevice::writeData(const char *data, qint64 size)
{
    writes.append(QByteArray(data, size));
    if (onWrite)
        onWrite(writes.last());
    return size;
}
