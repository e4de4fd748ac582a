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

PtyPort::~PtyPort()
{
    close();
}

bool PtyPort::open(const QString &linkPath, QString *error)
{
    auto fail = [&](const QString &what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(strerror(errno)));
        close();
        return false;
    };
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0)
        return fail(QStringLiteral("posix_openpt"));
    fcntl(m_master, F_SETFD, FD_CLOEXEC);
    if (grantpt(m_master) != 0 || unlockpt(m_master) != 0)
        return fail(QStringLiteral("grantpt/unlockpt"));
    char name[PATH_MAX];
    if (ptsname_r(m_master, name, sizeof name) != 0)
        return fail(QStringLiteral("ptsname"));
    m_device = QString::fromLocal8Bit(name);
    m_slave = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slave < 0)
        return fail(QStringLiteral("open %1").arg(m_device));
    termios t {};
    if (tcgetattr(m_slave, &t) != 0)
        return fail(QStringLiteral("tcgetattr"));
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    t.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(m_slave, TCSANOW, &t) != 0)
        return fail(QStringLiteral("tcsetattr"));

    if (!linkPath.isEmpty()) {
        const QByteArray link = QFile::encodeName(linkPath);
        struct stat st {};
        if (lstat(link.constData(), &st) == 0) {
            if (!S_ISLNK(st.st_mode)) {
                errno = EEXIST;
                return fail(QStringLiteral("%1 exists and is not a symbolic link").arg(linkPath));
            }
            ::unlink(link.constData()); // left behind by an earlier run
        }
        if (::symlink(name, link.constData()) != 0)
            return fail(QStringLiteral("symlink %1").arg(linkPath));
        m_link = linkPath;
    }
    return true;
}

void PtyPort::close()
{
    if (!m_link.isEmpty()) {
        // Remove the link only if it still points to this device.
        const QByteArray link = QFile::encodeName(m_link);
        char target[PATH_MAX];
        const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
        if (n > 0) {
            target[n] = 0;
            if (QString::fromLocal8Bit(target) == m_device)
                ::unlink(link.constData());
        }
        m_link.clear();
    }
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

PtyPort::ReadResult PtyPort::read(std::uint8_t *out, std::size_t max, std::size_t *got)
{
    *got = 0;
    if (m_master < 0)
        return ReadResult::NoHost;
    const ssize_t n = ::read(m_master, out, max);
    if (n > 0) {
        *got = static_cast<std::size_t>(n);
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
        const ssize_t n = ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
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
    termios t {};
    if (m_master < 0 || tcgetattr(m_master, &t) != 0)
        return line;
    line.baud = baudFromSpeed(cfgetospeed(&t));
    line.honoursXonXoff = (t.c_iflag & IXON) != 0;
    line.honoursHardware = (t.c_cflag & CRTSCTS) != 0;
    return line;
}

} // namespace kvp
