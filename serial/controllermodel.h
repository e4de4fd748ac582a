#pragma once

// What the controller has taken of the line, read as its commands: whether
// the last command it took is whole and, if not, how many bytes it still
// expects. Bytes count only once they have left the program and the system:
// what a stop or a disconnect keeps from the line never reaches it.

#include <QByteArray>
#include <QtGlobal>

#include <functional>
#include <memory>

class QIODevice;

namespace serial {

class ControllerModel
{
public:
    // `queued` tells how many of the bytes written have not left yet.
    explicit ControllerModel(std::function<qint64()> queued);
    ~ControllerModel();
    ControllerModel(const ControllerModel &) = delete;
    ControllerModel &operator=(const ControllerModel &) = delete;

    // A new connection: the controller is taken to be between commands.
    void reset();
    // Every byte handed to the line, in order.
    void written(const char *data, qint64 size);
    // 0 when the controller is between commands; otherwise at least the
    // bytes its command still expects (exactly, inside a data block).
    qint64 bytesOwed();

private:
    void catchUp();

    class Reader;
    std::function<qint64()> queuedBytes;
    std::unique_ptr<Reader> reader;
    QByteArray unread; // written, not yet known to have left
};

// The bytes `device` has not put on the line yet: its own buffer and, for a
// serial port, what the system still holds for the line.
qint64 bytesQueued(QIODevice *device);

} // namespace serial
