#include "outputlines.h"

#include <QElapsedTimer>
#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kvp {

OutputLines::OutputLines(int descriptor, QObject *parent)
    : QObject(parent)
    , fd(descriptor)
{
    struct stat st
    { };
    // Only where a reader can stall us; a terminal or a file is left as it is
    // (its flags are shared with the shell that started the program).
    if (fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)))
        return;
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    writable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    writable->setEnabled(false);
    connect(writable.get(), &QSocketNotifier::activated, this, &OutputLines::writePending);
}

OutputLines::~OutputLines() = default;

void OutputLines::say(const QString &line)
{
    const QByteArray bytes = (line + QLatin1Char('\n')).toLocal8Bit();
    const QByteArray note =
        dropped ? QByteArray::number(qulonglong(dropped)) + " lines dropped: standard output not read\n" : QByteArray();
    if (pending.size() + note.size() + bytes.size() > capacity) {
        ++dropped;
        return;
    }
    pending += note + bytes;
    dropped = 0;
    writePending();
}

void OutputLines::writePending()
{
    while (!pending.isEmpty()) {
        const ssize_t n = ::write(fd, pending.constData(), static_cast<size_t>(pending.size()));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            pending.clear(); // the reader is gone
        if (n <= 0)
            break;
        pending.remove(0, n);
    }
    if (writable)
        writable->setEnabled(!pending.isEmpty());
}

void OutputLines::flush(int ms)
{
    QElapsedTimer timer;
    timer.start();
    writePending();
    while (!pending.isEmpty() && timer.elapsed() < ms) {
        pollfd p{fd, POLLOUT, 0};
        poll(&p, 1, static_cast<int>(ms - timer.elapsed()));
        writePending();
    }
}

} // namespace kvp
