#pragma once

// A serial line with a virtual printer at its far end, in simulated time. The
// window writes into this device as into its port; as the test moves the
// clock on, the bytes cross the line at its rate into the printer, which
// prints them and holds the sender with XON/XOFF as on a real line. Minutes
// of line time pass in moments and come out the same on any machine.

#include "timing/clock.h"

#include "linemodel.h"
#include "virtualprinter.h"

#include <QIODevice>

#include <memory>
#include <vector>

class SimulatedLine : public QIODevice
{
public:
    SimulatedLine(timing::ManualClock &clock, int bitRate, const kvp::VirtualPrinter::Settings &settings);

    double bytesPerSecond() const { return bitRate / 10.0; }
    kvp::VirtualPrinter printer;
    std::vector<kvp::Page> pages; // as the printer finishes them
    QByteArray replies;           // the printer's answers (XON and XOFF are the line's own)
    QByteArray written;           // every byte the window wrote
    bool stalled = false;         // the printer takes nothing (paper out): XOFF holds the line

    bool isSequential() const override { return true; }
    // Closing drops what has not crossed the line, as a port's does.
    void close() override
    {
        sent = written.size();
        QIODevice::close();
    }
    qint64 bytesToWrite() const override { return written.size() - sent; }
    qint64 bytesAvailable() const override { return replies.size() - repliesRead + QIODevice::bytesAvailable(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    qint64 writeData(const char *data, qint64 size) override;

private:
    void tick();

    timing::ManualClock &clock;
    int bitRate;
    kvp::LineModel line;
    std::unique_ptr<timing::Timer> ticker;
    qsizetype sent = 0; // of `written`, the bytes that have crossed the line
    qsizetype repliesRead = 0;
};
