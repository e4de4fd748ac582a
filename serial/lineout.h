#pragma once

// The way out to the line. Every byte the program sends passes through here,
// one write call for each write a command lists; nothing waits for the line.

#include <QtGlobal>

#include <functional>
#include <utility>

class QIODevice;

namespace printer {
struct Command;
}

namespace serial {

class Link;

class LineOut
{
public:
    explicit LineOut(QIODevice *device)
        : line(device)
    { }

    // The device the bytes go to: the serial port; tests put a recording
    // device in its place. Its open state is the connection state.
    QIODevice *device() const { return line; }
    // `bytesPerSecond`: how fast the line carries what the device takes; 0
    // for a device that sets the pace itself by what it takes. `queue`
    // tells how many bytes written have not left yet (without it: the
    // device's buffer and a serial port's system queue).
    using Queue = std::function<qint64()>;
    void setDevice(QIODevice *device, double bytesPerSecond = 0, Queue queue = {})
    {
        line = device;
        pace = bytesPerSecond;
        queueOf = std::move(queue);
    }
    // Writes to the link's device at the link's pace.
    void useLink(const Link &link);
    double bytesPerSecond() const { return pace; }
    bool isOpen() const;
    qint64 queued() const;

    // Sees every write call as it is made, with what the device took (the
    // Traffic record).
    using Observer = std::function<void(const char *data, qint64 size)>;
    void setObserver(Observer watch) { observer = std::move(watch); }

    void write(const char *data, qint64 size);
    void send(const printer::Command &command);

private:
    void put(const char *data, qint64 size);

    QIODevice *line;
    double pace = 0;
    Queue queueOf;
    Observer observer;
};

} // namespace serial
