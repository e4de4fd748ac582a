// libFuzzer target: arbitrary bytes through the decoder and the renderer.
// The first input byte chooses the piece size the stream is fed in (its low
// six bits), so the fuzzer also explores split points, and with its high bit
// the shortest page the controller allows (--max-page 256), so that symbols
// and pictures taller than a page are printed too. With bit 6 the pieces
// come from the pseudo-terminal's side and from network clients on a real
// loopback port, with connects, closes, half-closes, idle time-outs and a
// stop at the end (see feedNetwork).

#include "decoder/commandlog.h"
#include "networkline.h"
#include "printercore.h"
#include "virtualprinter.h"

#include "timing/clock.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <arpa/inet.h>
#include <cstddef>
#include <cstdint>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {
// Formats every entry (to exercise the log text) and keeps none.
class DiscardingLog : public kvp::LogSink
{
public:
    void add(const kvp::LogEntry &entry) override { length += entry.format().size(); }
    qsizetype length = 0;
};

// The clients of one input, on plain non-blocking sockets.
class Clients
{
public:
    explicit Clients(quint16 serverPort)
        : port(serverPort)
    { }
    ~Clients()
    {
        for (const int fd : fds)
            ::close(fd);
    }
    void open()
    {
        if (fds.size() >= 8)
            return;
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        fds.push_back(fd);
    }
    void send(const uint8_t *data, size_t size)
    {
        if (fds.empty())
            open();
        const ssize_t count = ::send(fds.back(), data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
        sent += count > 0 ? static_cast<uint64_t>(count) : 0;
    }
    void shutDownSending()
    {
        if (!fds.empty())
            ::shutdown(fds.back(), SHUT_WR);
    }
    void close()
    {
        if (fds.empty())
            return;
        ::close(fds.back());
        fds.pop_back();
    }
    void readAnswers()
    {
        char buffer[4096];
        for (const int fd : fds)
            while (::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) > 0) {
            }
    }
    uint64_t sent = 0;

private:
    quint16 port;
    std::vector<int> fds;
};

void feedCore(const uint8_t *data, size_t size, size_t piece, bool shortPage)
{
    DiscardingLog log;
    kvp::PrinterCore::Options options;
    options.maxPageDots = shortPage ? 256 : 4000;
    kvp::PrinterCore core(options, &log);
    size_t pages = 0;
    core.paper().onPage = [&](const kvp::Page &page) { pages += static_cast<size_t>(page.image.height() > 0); };
    QByteArray replies;
    core.transmit = [&](const QByteArray &b) { replies += b; };
    for (size_t pos = 0; pos < size; pos += piece)
        core.feed(data + pos, std::min(piece, size - pos));
    core.finish();
}

// Network mode: a step is one byte, followed by a piece of the stream when
// it sends one. Its low three bits: 0 the piece comes from the
// pseudo-terminal, 1 from the newest client (one connects if there is
// none), 2 a client connects, 3 the newest shuts down its sending side, 4 it
// closes, 5 every client reads its answers; its high five bits let 0..31 x
// 8 ms pass for the engine and the idle time-out (50 ms).
void feedNetwork(const uint8_t *data, size_t size, size_t piece, bool shortPage)
{
    DiscardingLog log;
    kvp::VirtualPrinter::Settings settings;
    settings.bufferSize = 512;
    settings.printBytesPerSecond = 1e6;
    settings.core.maxPageDots = shortPage ? 256 : 4000;
    kvp::VirtualPrinter printer(settings, &log);
    QByteArray serialReplies;
    printer.transmit = [&](const QByteArray &b) { serialReplies += b; };
    printer.transmitControl = [](char) {};
    timing::ManualClock clock;
    int64_t now = 0;
    kvp::NetworkLine network(&log, clock, 50);
    if (!network.listen(QStringLiteral("127.0.0.1"), 0, nullptr))
        return;
    network.attach(printer, {[&now] { return now; }, [&] { printer.service(now); }});
    Clients clients(network.endpoint().section(u':', -1).toUShort());
    uint64_t serialStored = 0;
    for (size_t pos = 0; pos < size;) {
        const uint8_t step = data[pos++];
        const size_t count = std::min(piece, size - pos);
        switch (step & 7) {
        case 0: serialStored += printer.receive(data + pos, count, now); break;
        case 1: clients.send(data + pos, count); break;
        case 2: clients.open(); break;
        case 3: clients.shutDownSending(); break;
        case 4: clients.close(); break;
        default: clients.readAnswers(); break;
        }
        if ((step & 7) <= 1)
            pos += count;
        QCoreApplication::processEvents();
        now += (step >> 3) * 8;
        clock.advance((step >> 3) * 8);
        printer.service(now);
        QCoreApplication::processEvents();
    }
    const QByteArray tail = network.drain(QByteArray());
    printer.finish(tail);
    network.close();
    // The port never takes more than the clients sent.
    const uint64_t taken = printer.buffer().received() + static_cast<uint64_t>(tail.size()) - serialStored;
    if (taken + network.bytesDropped() > clients.sent)
        __builtin_trap();
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "vp_fuzz";
    static char *argv[] = {name, nullptr};
    // Never destroyed: at exit it would outlive the globals of the Qt
    // modules it uses (a crash in its destructor after the last input).
    static const auto *application = new QGuiApplication(argc, argv);
    Q_UNUSED(application)
    kvp::FontSet::shared(); // load the fonts once, outside the measured inputs
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t piece = 1 + data[0] % 64;
    const bool shortPage = (data[0] & 0x80) != 0;
    const bool network = (data[0] & 0x40) != 0;
    (network ? feedNetwork : feedCore)(data + 1, size - 1, piece, shortPage);
    return 0;
}
