#include "pseudoterminal.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    int slave = -1;
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        master = -1;
        return;
    }
    termios raw{};
    tcgetattr(slave, &raw);
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    slaveKeeper = slave;
    path = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal()
{
    for (const int fd : {master, slaveKeeper})
        if (fd >= 0)
            ::close(fd);
}

QByteArray PseudoTerminal::read(qint64 count, int timeoutMs)
{
    QByteArray received;
    QElapsedTimer sinceProgress;
    sinceProgress.start();
    char buffer[65536];
    while (master >= 0 && received.size() < count && sinceProgress.elapsed() < timeoutMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        pollfd pfd{master, POLLIN, 0};
        if (::poll(&pfd, 1, 2) > 0 && (pfd.revents & POLLIN)) {
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0) {
                received.append(buffer, n);
                sinceProgress.restart();
            }
        }
    }
    return received;
}

bool PseudoTerminal::write(const QByteArray &bytes)
{
    qint64 done = 0;
    while (master >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        else
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return done == bytes.size();
}
