#pragma once
// The device end of a pseudo-terminal. The host opens the slave (through a
// stable symbolic link); this side reads and writes the master. A slave
// descriptor stays open here as well, so that the master never sees a hang-up
// when the host closes and reopens the port. The link names that descriptor
// under /proc (/proc/<pid>/fd/<n>), so it dies with the process: a link left
// by a crash dangles instead of leading to whoever gets the terminal next.
// The host's opens and closes of the slave are watched (inotify), so that a
// new session does not read what was meant for the last one.

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
    // `linkPath` is not empty, a symbolic link to its slave. A link left by
    // an earlier run is replaced; one of a running virtual printer, a
    // foreign link, a file or a folder are left alone and make it fail.
    bool open(const QString &linkPath, QString *error);
    void close();
    bool isOpen() const { return master >= 0; }

    QString devicePath() const { return device; }
    QString linkPath() const { return link; }
    int masterFd() const { return master; }

    enum class ReadResult { Data, Empty, NoHost };
    // Non-blocking read of at most `max` bytes.
    ReadResult read(uint8_t *out, size_t max, size_t *got);
    // Writes what the line takes now; returns the count, -1 on an error.
    qsizetype write(const QByteArray &bytes);

    // Descriptor that turns readable when a host opens or closes the slave;
    // -1 when that cannot be watched (then a host counts as always there).
    int hostWatchFd() const { return watch; }
    // Takes the pending open/close events; true if a session began or ended.
    bool updateHosts();
    bool hostPresent() const { return watch < 0 || hosts > 0; }
    // Discards what was written but not read by the host.
    void discardUnread();

    // The host's line settings (the slave's termios).
    HostLine hostLine() const;

private:
    bool makeLink(const QString &linkPath, QString *error);
    QString slaveTarget() const;

    int master = -1;
    int slave = -1;
    int watch = -1;
    int hosts = 0;
    QString device;
    QString link;
};

// bit/s for a termios speed constant, 0 if it is not a standard one.
int baudFromSpeed(unsigned int speed);

} // namespace kvp
