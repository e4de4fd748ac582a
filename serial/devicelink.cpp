#include "serial/devicelink.h"

#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace serial {

namespace {

QString tr(const char *text) { return QCoreApplication::translate("DeviceLink", text); }

QString systemText(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

// What to do about a device that cannot be opened.
QString openAdvice(int error, bool fifo)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return fifo ? tr("Nothing reads from this FIFO: start the program that reads it first.")
                    : tr("Check that the printer is plugged in and switched on, or correct the device's path in "
                         "Settings.");
    case EACCES:
    case EPERM:
        return tr("Your user is not in the group that owns the device (often \"lp\"), or another program holds "
                  "it.");
    case EBUSY: return tr("Another program holds the device: close it there, then connect again.");
    case ENOTTY: return tr("This path is not a printer device: check the device's path in Settings.");
    default: return {};
    }
}

// A write to a FIFO whose reader has gone raises SIGPIPE, which would end
// the program; the write's EPIPE says the same, so the signal is held back
// for this thread and taken off again.
qint64 writeWithoutSigpipe(int fd, const char *data, qint64 size)
{
    sigset_t pipeSignal;
    sigset_t before;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &before);
    const qint64 written = ::write(fd, data, size_t(size));
    const int error = errno;
    if (written < 0 && error == EPIPE) {
        const timespec none{};
        sigtimedwait(&pipeSignal, nullptr, &none);
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    errno = error;
    return written;
}

} // namespace

DeviceFile::DeviceFile(QObject *parent)
    : QIODevice(parent)
{ }

DeviceFile::~DeviceFile() { DeviceFile::close(); }

bool DeviceFile::openPath(const QString &path, QString *error, int *code)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat node
    { };
    if (::stat(name.constData(), &node) != 0) {
        *code = errno;
        *error = systemText(*code);
        return false;
    }
    fifo = S_ISFIFO(node.st_mode);
    if (!fifo && !S_ISCHR(node.st_mode)) {
        *code = ENOTTY;
        *error = tr("not a device");
        return false;
    }
    // A FIFO opened for reading too would hand the program its own bytes.
    fd = ::open(name.constData(), (fifo ? O_WRONLY : O_RDWR) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        *code = errno;
        *error = systemText(*code);
        return false;
    }
    // A terminal passes the bytes as they stand, as a printer device does.
    termios raw{};
    if (::tcgetattr(fd, &raw) == 0) {
        ::cfmakeraw(&raw);
        ::tcsetattr(fd, TCSANOW, &raw);
    }
    incoming.clear();
    pending.clear();
    pendingAt = 0;
    if (!fifo) {
        readNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
        connect(readNotifier, &QSocketNotifier::activated, this, &DeviceFile::readDevice);
    }
    writeNotifier = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &DeviceFile::writeDevice);
    return QIODevice::open(QIODevice::ReadWrite | QIODevice::Unbuffered);
}

void DeviceFile::close()
{
    for (QSocketNotifier **notifier : {&readNotifier, &writeNotifier}) {
        if (*notifier) {
            (*notifier)->setEnabled(false);
            (*notifier)->deleteLater();
            *notifier = nullptr;
        }
    }
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    pending.clear();
    pendingAt = 0;
    if (isOpen())
        QIODevice::close();
}

qint64 DeviceFile::bytesAvailable() const { return incoming.size() + QIODevice::bytesAvailable(); }

qint64 DeviceFile::readData(char *data, qint64 maxSize)
{
    const qint64 size = qMin<qint64>(maxSize, incoming.size());
    std::memcpy(data, incoming.constData(), size_t(size));
    incoming.remove(0, qsizetype(size));
    return size;
}

qint64 DeviceFile::writeData(const char *data, qint64 size)
{
    if (fd < 0)
        return -1;
    // Goes out from the event loop, as the device takes it.
    pending.append(data, qsizetype(size));
    writeNotifier->setEnabled(true);
    return size;
}

bool DeviceFile::waitForBytesWritten(int msecs)
{
    pollfd state{fd, POLLOUT, 0};
    if (fd < 0 || bytesToWrite() == 0 || ::poll(&state, 1, msecs) != 1)
        return false;
    const qint64 before = bytesToWrite();
    writeDevice();
    return bytesToWrite() < before;
}

bool DeviceFile::waitForReadyRead(int msecs)
{
    pollfd state{fd, POLLIN, 0};
    return fd >= 0 && !fifo && ::poll(&state, 1, msecs) == 1 && readDevice();
}

// True when bytes came in.
bool DeviceFile::readDevice()
{
    char piece[4096];
    qint64 got = 0;
    for (;;) {
        const ssize_t size = ::read(fd, piece, sizeof piece);
        if (size > 0) {
            incoming.append(piece, qsizetype(size));
            got += size;
        } else if (size == 0) {
            // A device that hung up (a terminal whose other end closed) reads
            // as ended; one that merely has nothing to say is read no more.
            pollfd state{fd, POLLOUT, 0};
            if (::poll(&state, 1, 0) == 1 && (state.revents & (POLLHUP | POLLERR))) {
                fail(ENODEV);
                return false;
            }
            readNotifier->setEnabled(false);
            break;
        } else if (errno == EAGAIN) {
            break;
        } else if (errno != EINTR) {
            fail(errno);
            return false;
        }
    }
    if (got > 0)
        emit readyRead();
    return got > 0;
}

void DeviceFile::writeDevice()
{
    while (fd >= 0 && pendingAt < pending.size()) {
        const qint64 written = writeWithoutSigpipe(fd, pending.constData() + pendingAt, pending.size() - pendingAt);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN)
                fail(errno);
            return;
        }
        pendingAt += qsizetype(written);
        emit bytesWritten(written);
    }
    if (fd < 0)
        return;
    pending.clear();
    pendingAt = 0;
    writeNotifier->setEnabled(false);
}

void DeviceFile::fail(int error)
{
    if (readNotifier)
        readNotifier->setEnabled(false);
    if (writeNotifier)
        writeNotifier->setEnabled(false);
    emit failed(systemText(error));
}

DeviceLink::DeviceLink(const QString &devicePath, QObject *parent)
    : Link(parent)
    , file(new DeviceFile(this))
    , path(devicePath)
{
    connect(file, &DeviceFile::failed, this, [this](const QString &reason) {
        reportLost(path + QStringLiteral(": ") + reason + u'\n'
                   + tr("The printer was unplugged or switched off. Connect again when it is back."));
    });
}

QString DeviceLink::displayName() const { return tr("%1 (device file)").arg(path); }

bool DeviceLink::open(QString *refusal)
{
    if (path.isEmpty()) {
        *refusal = tr("No device is chosen.\nType the printer's device path (for example /dev/usb/lp0) in Settings.");
        return false;
    }
    QString reason;
    int code = 0;
    if (!file->openPath(path, &reason, &code)) {
        file->close();
        const QString hint = openAdvice(code, file->isFifo());
        *refusal = path + QStringLiteral(": ") + reason + (hint.isEmpty() ? QString() : u'\n' + hint);
        return false;
    }
    armLoss();
    return true;
}

void DeviceLink::close() { file->close(); }

qint64 DeviceLink::bytesQueued() const
{
    // What the device has not yet taken from the program, and what waits in
    // the system: a FIFO's unread bytes, a terminal's output queue.
    qint64 queued = file->bytesToWrite();
    int inSystem = 0;
    if (file->handle() >= 0 && ::ioctl(file->handle(), file->isFifo() ? FIONREAD : TIOCOUTQ, &inSystem) == 0)
        queued += inSystem;
    return queued;
}

} // namespace serial
