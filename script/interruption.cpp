#include "script/interruption.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace script {

namespace {

int pipeEnds[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Nothing to do when the pipe is full: an interruption is pending anyway.
    [[maybe_unused]] const ssize_t written = ::write(pipeEnds[1], &byte, 1);
}

} // namespace

Interruption::Interruption(QObject *parent)
    : QObject(parent)
{
    if (::pipe2(pipeEnds, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    notifier = new QSocketNotifier(pipeEnds[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &Interruption::readPipe);
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
}

Interruption::~Interruption()
{
    std::signal(SIGINT, SIG_DFL);
    for (int &end : pipeEnds)
        if (end >= 0)
            ::close(std::exchange(end, -1));
}

void Interruption::readPipe()
{
    char bytes[16];
    while (::read(pipeEnds[0], bytes, sizeof bytes) > 0)
        emit interrupted();
}

} // namespace script
