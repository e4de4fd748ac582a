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
    // for a device that is no line and takes everything at once.
    void setDevice(QIODevice *device, double bytesPerSecond = 0)
    {
        line = device;
        pace = bytesPerSecond;
    }
    double bytesPerSecond() const { return pace; }
    bool isOpen() const;

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
    Observer observer;
};

} // namespace serial
