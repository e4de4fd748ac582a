#pragma once

// The device-file kind of link: a printer's device file, such as the USB
// printer class's /dev/usb/lp0, opened without blocking. Bytes go out as the
// device takes them; replies are read when the device gives them.

#include "serial/link.h"

#include <QByteArray>
#include <QIODevice>

class QSocketNotifier;

namespace serial {

// A device file as a sequential QIODevice that never blocks: writes wait in
// its buffer until the device takes them.
class DeviceFile : public QIODevice
{
    Q_OBJECT

public:
    explicit DeviceFile(QObject *parent = nullptr);
    ~DeviceFile() override;

    // Opens `path` for writing, and for reading where the device allows it
    // (a FIFO only for writing: its reader is the printer). False with the
    // system's words in `error`, and the errno in `code`.
    bool openPath(const QString &path, QString *error, int *code);
    void close() override;
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;
    qint64 bytesToWrite() const override { return pending.size() - pendingAt; }
    // For a program without an event loop: waits up to `msecs` for the
    // device to take or give bytes.
    bool waitForBytesWritten(int msecs) override;
    bool waitForReadyRead(int msecs) override;
    int handle() const { return fd; }
    bool isFifo() const { return fifo; }

signals:
    // The device failed or went away; `reason` is the system's words.
    void failed(const QString &reason);

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    bool readDevice();
    void writeDevice();
    void fail(int error);

    int fd = -1;
    bool fifo = false;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QByteArray incoming;
    QByteArray pending;
    qsizetype pendingAt = 0;
};

class DeviceLink : public Link
{
    Q_OBJECT

public:
    explicit DeviceLink(const QString &path, QObject *parent = nullptr);

    bool open(QString *refusal) override;
    void close() override;
    QIODevice *device() const override { return file; }
    double bytesPerSecond() const override { return 0; }
    QString displayName() const override;
    qint64 bytesQueued() const override;

private:
    DeviceFile *file;
    QString path;
};

} // namespace serial
