#include "serial/portclaim.h"
#include "serial/portproblem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <csignal>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace serial {

QString portPath(const QString &portName)
{
    if (portName.startsWith(u'/') || portName.startsWith(QLatin1String("./"))
        || portName.startsWith(QLatin1String("../")))
        return portName;
    return QStringLiteral("/dev/") + portName;
}

namespace {

bool alive(qint64 pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

std::optional<PortHolder> holder(qint64 pid)
{
    if (!alive(pid))
        return std::nullopt;
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    const QString name = comm.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(comm.readAll()).trimmed() : QString();
    return PortHolder{pid, name.isEmpty() ? QStringLiteral("?") : name};
}

// The process holding a lock (flock, POSIX or OFD) on the device node, as
// /proc/locks lists them: "1: FLOCK  ADVISORY  WRITE 1234 00:1a:4 0 EOF".
std::optional<PortHolder> lockHolder(const struct stat &node)
{
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QString where = QStringLiteral("%1:%2:%3")
                              .arg(major(node.st_dev), 2, 16, QLatin1Char('0'))
                              .arg(minor(node.st_dev), 2, 16, QLatin1Char('0'))
                              .arg(node.st_ino);
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QStringList fields = QString::fromLatin1(line).simplified().split(u' ');
        // Waiters ("1: -> FLOCK ...") hold nothing yet.
        if (fields.size() >= 6 && fields.at(1) != QLatin1String("->") && fields.at(5) == where)
            if (auto found = holder(fields.at(4).toLongLong()))
                return found;
    }
    return std::nullopt;
}

// The process a lock file of the port names: UUCP style (the pid in ASCII)
// or the serial port's own (the pid on the first line), under the names
// the port and the device behind it are locked by.
std::optional<PortHolder> lockFileHolder(const QString &path)
{
    QStringList names;
    for (QString name : {path, QFileInfo(path).canonicalFilePath()}) {
        if (name.startsWith(QLatin1String("/dev/")))
            name.remove(0, 5);
        names << QStringLiteral("LCK..") + name.replace(u'/', u'_');
    }
    for (const char *folder : {"/var/lock", "/run/lock", "/var/spool/locks", "/var/spool/uucp", "/tmp", "/var/tmp"})
        for (const QString &name : names) {
            QFile file(QDir(QLatin1String(folder)).filePath(name));
            if (file.open(QIODevice::ReadOnly))
                if (auto found =
                        holder(QString::fromLatin1(file.read(64)).simplified().section(u' ', 0, 0).toLongLong()))
                    return found;
        }
    return std::nullopt;
}

// Whether the descriptor is a pseudo-terminal master of terminal `index`:
// the process at the other end of the line, no holder of it.
bool masterOf(const QString &descriptor, const QString &fdinfo, int index)
{
    struct stat st
    { };
    if (::stat(QFile::encodeName(descriptor).constData(), &st) != 0 || st.st_rdev != makedev(5, 2))
        return false;
    QFile info(fdinfo);
    return info.open(QIODevice::ReadOnly)
        && QString::fromLatin1(info.readAll()).contains(QStringLiteral("tty-index:\t%1\n").arg(index));
}

// The pid a link into /proc (/proc/<pid>/fd/<n>) leads to: the process that
// made the device reachable by that path.
qint64 linkOwner(const QString &path)
{
    static const QRegularExpression descriptor(QStringLiteral("^/proc/(\\d+)/fd/\\d+$"));
    return descriptor.match(QFileInfo(path).symLinkTarget()).captured(1).toLongLong();
}

// A process with the device open, other than this one and the terminal's
// other end.
std::optional<PortHolder> openerOf(const QString &path, const struct stat &node)
{
    const qint64 owner = linkOwner(path);
    // Pseudo-terminal slaves have the majors 136 to 143.
    const bool pty = major(node.st_rdev) >= 136 && major(node.st_rdev) <= 143;
    const int index = int((major(node.st_rdev) - 136) * 256 + minor(node.st_rdev));
    for (const QString &process : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        const qint64 pid = process.toLongLong();
        if (pid <= 0 || pid == getpid() || pid == owner)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        bool opened = false;
        bool master = false;
        for (const QString &fd : fds.entryList(QDir::System | QDir::NoDotAndDotDot)) {
            struct stat st
            { };
            const QString descriptor = fds.filePath(fd);
            if (::stat(QFile::encodeName(descriptor).constData(), &st) == 0 && S_ISCHR(st.st_mode)
                && st.st_rdev == node.st_rdev)
                opened = true;
            master =
                master || (pty && masterOf(descriptor, QStringLiteral("/proc/%1/fdinfo/%2").arg(pid).arg(fd), index));
        }
        if (opened && !master)
            return holder(pid);
    }
    return std::nullopt;
}

} // namespace

std::optional<PortHolder> findPortHolder(const QString &path)
{
    struct stat node
    { };
    if (::stat(QFile::encodeName(path).constData(), &node) != 0 || !S_ISCHR(node.st_mode))
        return std::nullopt;
    if (auto found = lockHolder(node))
        return found;
    if (auto found = lockFileHolder(path))
        return found;
    return openerOf(path, node);
}

bool openExclusive(QSerialPort &port, const QString &portName, QString *refusal)
{
    // An empty path would open the folder /dev/: there is nothing to try.
    if (portName.isEmpty() || !port.open(QIODevice::ReadWrite)) {
        *refusal = openFailureText(portName, port.error(), port.errorString());
        return false;
    }
    if (claimPort(port))
        return true;
    port.close();
    *refusal = heldPortText(portName, findPortHolder(portPath(portName)));
    return false;
}

bool claimPort(QSerialPort &port)
{
    const int fd = port.handle();
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        return false;
    ::ioctl(fd, TIOCEXCL);
    return true;
}

void releasePort(QSerialPort &port)
{
    const int fd = port.handle();
    if (fd < 0)
        return;
    ::flock(fd, LOCK_UN);
    ::ioctl(fd, TIOCNXCL);
}

} // namespace serial
