#pragma once
// The device end of a pseudo-terminal. The host opens the slave (through a
// stable symbolic link); this side reads and writes the master. A slave
// descriptor stays open here as well, so that the master never sees a hang-up
// when the host closes and reopens the port.

#include "virtualprinter.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace kvp {

class PtyPort
{
public:
    PtyPort() = default;
    ~PtyPort();
    PtyPort(const PtyPort &) = delete;
    PtyPort &operator=(const PtyPort &) = delete;

    // Creates the pseudo-terminal in raw mode at 115200 bit/s and, if
    // `linkPath` is not empty, a symbolic link to its slave.
    bool open(const QString &linkPath, QString *error);
    void close();
    bool isOpen() const { return master >= 0; }

    QString devicePath() const { return device; }
    QString linkPath() const { return link; }
    int masterFd() const { return master; }

    enum class ReadResult { Data, Empty, NoHost };
    // Non-blocking read of at most `max` bytes.
    ReadResult read(uint8_t *out, size_t max, size_t *got);
    // Writes to the host; returns false if not everything could be written.
    bool write(const QByteArray &bytes);

    // The host's line settings (the slave's termios).
    HostLine hostLine() const;

private:
    int master = -1;
    int slave = -1;
    QString device;
    QString link;
};

// bit/s for a termios speed constant, 0 if it is not a standard one.
int baudFromSpeed(unsigned int speed);

} // namespace kvp
