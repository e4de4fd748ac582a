#include "ptyport.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/inotify.h>
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

namespace {
QString errnoText() { return QString::fromLocal8Bit(strerror(errno)); }

// Why an existing entry at the link path must stay, or an empty string when it
// is a link left by an earlier run: to a pty device, or to a /proc descriptor
// of a process that is gone.
QString linkInTheWay(const QString &linkPath)
{
    const QByteArray encoded = QFile::encodeName(linkPath);
    struct stat st
    { };
    if (lstat(encoded.constData(), &st) != 0)
        return QString();
    if (!S_ISLNK(st.st_mode))
        return QStringLiteral("%1 exists and is not a symbolic link; left as it is").arg(linkPath);
    const QString target = QFileInfo(linkPath).symLinkTarget();
    static const QRegularExpression ours(QStringLiteral("^/(proc/(\\d+)/fd/\\d+|dev/pts/\\d+)$"));
    const QRegularExpressionMatch m = ours.match(target);
    if (!m.hasMatch())
        return QStringLiteral("%1 is a symbolic link to %2, not one of a virtual printer; left as it is")
            .arg(linkPath, target);
    if (m.hasCaptured(2) && stat(encoded.constData(), &st) == 0 && S_ISCHR(st.st_mode))
        return QStringLiteral("%1 belongs to the virtual printer running as process %2; stop it or choose "
                              "another --link")
            .arg(linkPath, m.captured(2));
    return QString();
}
} // namespace

bool PtyPort::open(const QString &linkPath, QString *error)
{
    auto fail = [&](const QString &what) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(what, errnoText());
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
    // A high descriptor number, so that a link left by a crash is unlikely to
    // name an open descriptor of a later process with the same id.
    const int high = fcntl(slave, F_DUPFD_CLOEXEC, 700);
    if (high >= 0) {
        ::close(slave);
        slave = high;
    }
    termios t{};
    if (tcgetattr(slave, &t) != 0)
        return fail(QStringLiteral("tcgetattr"));
    cfmakeraw(&t);
    cfsetispeed(&t, B115200);
    cfsetospeed(&t, B115200);
    t.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(slave, TCSANOW, &t) != 0)
        return fail(QStringLiteral("tcsetattr"));
    watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch >= 0 && inotify_add_watch(watch, name, IN_OPEN | IN_CLOSE) < 0) {
        ::close(watch);
        watch = -1;
    }
    return linkPath.isEmpty() || makeLink(linkPath, error);
}

QString PtyPort::slaveTarget() const { return QStringLiteral("/proc/%1/fd/%2").arg(getpid()).arg(slave); }

bool PtyPort::makeLink(const QString &linkPath, QString *error)
{
    const QString why = linkInTheWay(linkPath);
    if (!why.isEmpty()) {
        if (error)
            *error = why;
        close();
        return false;
    }
    const QByteArray encodedLink = QFile::encodeName(linkPath);
    ::unlink(encodedLink.constData()); // left behind by an earlier run, if at all
    if (::symlink(QFile::encodeName(slaveTarget()).constData(), encodedLink.constData()) != 0) {
        if (error)
            *error = QStringLiteral("symlink %1: %2").arg(linkPath, errnoText());
        close();
        return false;
    }
    link = linkPath;
    return true;
}

void PtyPort::close()
{
    // Remove the link only if it still points to this device.
    if (!link.isEmpty() && QFileInfo(link).symLinkTarget() == slaveTarget())
        ::unlink(QFile::encodeName(link).constData());
    link.clear();
    for (int *fd : {&watch, &slave, &master}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
    hosts = 0;
}

bool PtyPort::updateHosts()
{
    if (watch < 0)
        return false;
    const bool before = hosts > 0;
    // A host that closes and the next that opens before these events are
    // read still make two sessions.
    bool ended = false;
    alignas(inotify_event) char events[4096];
    ssize_t n = 0;
    while ((n = ::read(watch, events, sizeof events)) > 0) {
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(events + at);
            if (event->mask & IN_OPEN)
                ++hosts;
            if ((event->mask & IN_CLOSE) && hosts > 0)
                ended = --hosts == 0 || ended;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return ended || before != (hosts > 0);
}

void PtyPort::discardUnread()
{
    if (slave < 0)
        return;
    tcflush(slave, TCIFLUSH);
    // An XON among the discarded bytes must not leave the next host stopped.
    tcflow(slave, TCOON);
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

qsizetype PtyPort::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return done > 0 || errno == EAGAIN ? done : -1;
        done += n;
    }
    return done;
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
