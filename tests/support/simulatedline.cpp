#include "support/simulatedline.h"

#include <cstring>

SimulatedLine::SimulatedLine(timing::ManualClock &manualClock, int lineBitRate,
                             const kvp::VirtualPrinter::Settings &settings)
    : printer(settings, nullptr)
    , clock(manualClock)
    , bitRate(lineBitRate)
{
    printer.core().paper().onPage = [this](const kvp::Page &page) { pages.push_back(page); };
    printer.transmit = [this](const QByteArray &bytes) { replies += bytes; };
    printer.transmitControl = [](char) {}; // the host's line discipline takes them
    line.restart(clock.nowMs());
    ticker = clock.timer([this] { tick(); });
    ticker->start(5);
}

void SimulatedLine::tick()
{
    const qint64 now = clock.nowMs();
    if (stalled)
        return;
    // The host's UART honours XON/XOFF, as the program's port is set up.
    const kvp::HostLine host{bitRate, true, false};
    line.elapse(now, bytesPerSecond());
    line.pull(printer, host, now, [this](uint8_t *out, size_t max, size_t *got) {
        *got = std::min<size_t>(max, size_t(written.size() - sent));
        std::memcpy(out, written.constData() + sent, *got);
        sent += qsizetype(*got);
        return *got > 0 ? kvp::LineModel::Source::Data : kvp::LineModel::Source::Empty;
    });
    printer.service(now);
}

qint64 SimulatedLine::readData(char *data, qint64 maxSize)
{
    const qint64 n = std::min<qint64>(maxSize, replies.size() - repliesRead);
    std::memcpy(data, replies.constData() + repliesRead, size_t(n));
    repliesRead += n;
    return n;
}

qint64 SimulatedLine::writeData(const char *data, qint64 size)
{
    written.append(data, size);
    return size;
}
