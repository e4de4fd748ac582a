#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QList>

#include <functional>

// A device that keeps every single write call, so tests can check how many
// writes a command makes and how long each is, not only the bytes.
class RecordingDevice : public QIODevice
{
    Q_OBJECT
public:
    explicit RecordingDevice(QObject *parent = nullptr);

    QList<QByteArray> writes;
    // Called with each write as it arrives.
    std::function<void(const QByteArray &)> onWrite;

    void clearWrites() { writes.clear(); }

    // Bytes offered to readers (what a peer "sent back").
    void feedIncoming(const QByteArray &bytes);

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    QByteArray incoming;
};
