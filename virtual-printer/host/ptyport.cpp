#include "ptyport.h"

#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace kvp {

int baudFromSpeed(unsigned int speed)
{
    switch (speed) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B500000: return 500000;
    case B576000: return 576000;
    case B921600: return 921600;
    case B1000000: return 1000000;
    default: return 0;
    }
}

PtyPort::~PtyPort() { close(); }

bool PtyPort::open(const QString &linkPath, QString *error)
{
    auto fail = [&](const QString &what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(errno)));
        close();
        return false;
    };
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (master < 0)
        return fail(QStringLiteral("posix_openpt"));
    fcntl(master, F_SETFD, FD_CLOEXEC);
    if (grantpt(master) != 0 || unlockpt(master) != 0)
        return fail(QStringLiteral("grantpt/unlockpt"));
    char name[PATH_MAX];
    if (ptsname_r(master, name, sizeof name) != 0)
        return fail(QStringLiteral("ptsname"));
    device = QString::fromLocal8Bit(name);
    slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave < 0)
        return fail(QStringLiteral("open %1").arg(device));
    termios t{};
    if (tcgetattr(slave, &t) != 0)
        return fail(QStringLiteral("tcgetattr"));
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    t.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(slave, TCSANOW, &t) != 0)
        return fail(QStringLiteral("tcsetattr"));

    if (!linkPath.isEmpty()) {
        const QByteArray encodedLink = QFile::encodeName(linkPath);
        struct stat st
        { };
        if (lstat(encodedLink.constData(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                errno = EEXIST;
                return fail(QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath));
            }
            ::unlink(encodedLink.constData()); // left behind by an earlier run
        }
        if (::symlink(name, encodedLink.constData()) != 0)
            return fail(QStringLiteral("symlink %1").arg(linkPath));
        link = linkPath;
    }
    return true;
}

void PtyPort::close()
{
    if (!link.isEmpty()) {
        // Remove the link only if it still points to this device.
        const QByteArray encodedLink = QFile::encodeName(link);
        char target[PATH_MAX];
        const ssize_t n = ::readlink(encodedLink.constData(), target, sizeof target - 1);
        if (n > 0) {
            target[n] = 0;
            if (QString::fromLocal8Bit(target) == device)
                ::unlink(encodedLink.constData());
        }
        link.clear();
    }
    if (slave >= 0)
        ::close(slave);
    if (master >= 0)
        ::close(master);
    slave = master = -1;
}

PtyPort::ReadResult PtyPort::read(uint8_t *out, size_t max, size_t *got)
{
    *got = 0;
    if (master < 0)
        return ReadResult::NoHost;
    const ssize_t n = ::read(master, out, max);
    if (n > 0) {
        *got = static_cast<size_t>(n);
        return ReadResult::Data;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR))
        return ReadResult::Empty;
    return ReadResult::NoHost; // EIO: no slave open
}

bool PtyPort::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += n;
    }
    return true;
}

HostLine PtyPort::hostLine() const
{
    HostLine line;
    termios t{};
    if (master < 0 || tcgetattr(master, &t) != 0)
        return line;
    line.baud = baudFromSpeed(cfgetospeed(&t));
    line.honoursXonXoff = (t.c_iflag & IXON) != 0;
    line.honoursHardware = (t.c_cflag & CRTSCTS) != 0;
    return line;
}

} // namespace kvp
