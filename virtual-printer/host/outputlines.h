#pragma once
// Lines for standard output that never hold the program up. On a pipe or
// socket the descriptor is made non-blocking: when the reader falls behind,
// lines wait in a 64 KiB buffer and go out as soon as there is room (a write
// notifier); lines that do not fit are dropped and counted, and a note says
// how many once there is room again.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

class QSocketNotifier;

namespace kvp {

class OutputLines : public QObject
{
    Q_OBJECT
public:
    explicit OutputLines(int fd, QObject *parent = nullptr);
    ~OutputLines() override;

    void say(const QString &line);
    // Waits up to `ms` for the reader to take what is still buffered (at exit).
    void flush(int ms);

    static constexpr qsizetype capacity = 65536;

private:
    void writePending();

    int fd;
    QByteArray pending;
    uint64_t dropped = 0;
    std::unique_ptr<QSocketNotifier> writable;
};

} // namespace kvp
