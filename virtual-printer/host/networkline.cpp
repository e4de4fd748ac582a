#include "networkline.h"

#include "linepump.h"

#include <algorithm>

namespace kvp {

namespace {
// Bytes read and counted at a stop, per connection, beyond what is kept: a
// client that never stops sending must not hold the stop up.
constexpr uint64_t drainReadLimit = uint64_t(64) << 20;
} // namespace

NetworkLine::NetworkLine(LogSink *logSink, timing::Clock &clock, int idleMs, QObject *parent)
    : QObject(parent)
    , log(logSink)
    , idleTimer(clock.timer([this] { idleExpired(); }, true))
    , idleLimitMs(idleMs)
{
    retry.setSingleShot(true);
    retry.setInterval(LinePump::tickMs);
    connect(&retry, &QTimer::timeout, this, &NetworkLine::poll);
    listener.onIncoming = [this] { acceptNext(); };
}

NetworkLine::~NetworkLine()
{
    if (printer)
        printer->transmit = serialReply;
}

bool NetworkLine::listen(const QString &address, quint16 port, QString *error)
{
    QHostAddress host;
    QString why;
    if (!host.setAddress(address))
        why = QStringLiteral("--tcp-bind %1 is not an IP address").arg(address);
    else if (const QString kind = unconnectableKind(host); !kind.isEmpty())
        why = QStringLiteral("--tcp-bind %1 is a %2 address: no client can connect to it").arg(address, kind);
    else if (!listener.listen(host, port, &why))
        why = QStringLiteral("cannot listen on %1 port %2: %3").arg(address).arg(port).arg(why);
    if (error && !why.isEmpty())
        *error = why;
    return why.isEmpty();
}

void NetworkLine::attach(VirtualPrinter &virtualPrinter, Driver driver)
{
    printer = &virtualPrinter;
    line = std::move(driver);
    serialReply = printer->transmit;
    printer->transmit = [this](const QByteArray &bytes) { reply(bytes); };
    acceptNext();
}

// Serves the next waiting connection, if none is being served; while one
// is, new ones stay in the system's queue.
void NetworkLine::acceptNext()
{
    if (connection || !printer || stopped)
        return;
    const int descriptor = listener.accept();
    listener.watch(descriptor < 0);
    if (descriptor < 0)
        return;
    connection = new TcpConnection(descriptor, this);
    ++connectionNumber;
    connectionBytes = 0;
    connectionEnd = 0;
    finishing = false;
    note(QStringLiteral("connection %1 from %2").arg(connectionNumber).arg(connection->peer()));
    connection->onReadable = [this] { readConnection(); };
    connection->onSent = [this] {
        touch();
        if (finishing && !retry.isActive())
            retry.start(); // it may end once its answers are out
    };
    touch();
    readConnection();
}

// What the receive buffer takes now: nothing while it holds its sender, and
// no more than brings it to the mark where it starts to, so the hold comes
// at the same fill as on the serial line.
size_t NetworkLine::room() const
{
    const ReceiveBuffer &buffer = printer->buffer();
    if (buffer.holding())
        return 0;
    const size_t free = buffer.capacity() - buffer.size();
    const size_t beforeHold = printer->bytesBeforeHold();
    return beforeHold > 0 ? std::min(free, beforeHold) : free;
}

void NetworkLine::readConnection()
{
    if (!connection || finishing)
        return;
    uint8_t chunk[4096];
    bool took = false;
    for (size_t space = room(); space > 0; space = room()) {
        const qint64 got = connection->read(chunk, static_cast<qint64>(std::min(sizeof chunk, space)));
        if (got <= 0)
            break;
        // Marked before they go in: the decoder answers queries as they arrive.
        markThrough(printer->buffer().received(), 0);
        markThrough(printer->buffer().received() + static_cast<uint64_t>(got), connectionNumber);
        printer->receive(chunk, static_cast<size_t>(got), line.now());
        connectionEnd = marked;
        connectionBytes += static_cast<uint64_t>(got);
        took = true;
    }
    if (took) {
        touch();
        line.wake();
    }
    if (connection->doneSending()) {
        // All its bytes are in; it ends once the engine has answered them.
        finishing = true;
        retry.start();
        return;
    }
    // While the buffer holds, look again once the engine has worked (bytes
    // arriving meanwhile must not put that off).
    const bool held = room() == 0;
    connection->watchReads(!held);
    if (held && !retry.isActive())
        retry.start();
}

void NetworkLine::poll()
{
    if (!connection)
        return;
    if (!finishing) {
        readConnection();
        return;
    }
    if (!answered(connectionEnd)) {
        retry.start(); // its queries are still ahead of the engine
        return;
    }
    // Its answers on their way: onSent looks again, the idle time-out ends the wait.
    if (!connection->hasUnsent() || connection->broken())
        endConnection(QString());
}

// The engine has read the stream up to `end` and answered the queries in it
// (the last may wait for the byte after it).
bool NetworkLine::answered(uint64_t end) const
{
    const Decoder &decoder = printer->core().decoder();
    return printer->decodedBytes() >= end && !(decoder.awaitingOptionalArgument() && decoder.commandStart() < end);
}

void NetworkLine::touch()
{
    if (connection)
        idleTimer->start(idleLimitMs);
}

void NetworkLine::idleExpired()
{
    if (!connection)
        return;
    // Not idle while the printer is the one that waits: to read what the
    // client sent, or to reach its queries.
    if (connection->waiting() > 0 || !answered(connectionEnd)) {
        touch();
        return;
    }
    // (One that has sent all and been answered ends as it would have anyway.)
    const bool done = finishing && (!connection->hasUnsent() || connection->broken());
    endConnection(done ? QString() : QStringLiteral(", idle for %1 s").arg(idleLimitMs / 1000.0));
}

void NetworkLine::endConnection(const QString &why)
{
    idleTimer->stop();
    retry.stop();
    connection->close();
    note(QStringLiteral("connection %1 closed after %2 bytes%3%4")
             .arg(connectionNumber)
             .arg(connectionBytes)
             .arg(why)
             .arg(connection->repliesLost() > 0 ? QStringLiteral(", %1 reply bytes lost").arg(connection->repliesLost())
                                                : QString()));
    // It may be inside one of its own notifications.
    connection->deleteLater();
    connection = nullptr;
    acceptNext();
}

void NetworkLine::markThrough(uint64_t end, int origin)
{
    if (end <= marked)
        return;
    if (!segments.empty() && segments.back().origin == origin)
        segments.back().end = end;
    else
        segments.push_back({end, origin});
    marked = end;
}

// The source of the byte at `position`: a query answered by the engine in
// its turn is answered later than it arrived.
int NetworkLine::originOf(uint64_t position)
{
    markThrough(printer->buffer().received(), 0);
    // Queries are answered on arrival or in the engine's turn; nothing
    // before what the engine has worked off is asked about again.
    const uint64_t settled = std::min(position, printer->decodedBytes());
    while (!segments.empty() && segments.front().end <= settled)
        segments.pop_front();
    for (const Segment &segment : segments)
        if (segment.end > position)
            return segment.origin;
    return 0;
}

void NetworkLine::reply(const QByteArray &bytes)
{
    const int origin = originOf(printer->core().answerOffset());
    if (origin == 0) {
        if (serialReply)
            serialReply(bytes);
        return;
    }
    if (!connection || origin != connectionNumber)
        return; // the connection that asked has ended
    // The same transmit buffer as on the serial line: a client that never
    // reads does not make the program hold its answers without limit.
    const bool first = connection->repliesLost() == 0;
    if (!connection->send(bytes) && first)
        note(QStringLiteral("transmit buffer full (%1 bytes): replies to connection %2 are being lost")
                 .arg(ReplyQueue::defaultCapacity)
                 .arg(connectionNumber));
}

QByteArray NetworkLine::drain(const QByteArray &serialTail)
{
    stopped = true;
    retry.stop();
    idleTimer->stop();
    listener.watch(false);
    if (!printer) {
        listener.close();
        return serialTail;
    }
    markThrough(printer->buffer().received(), 0);
    markThrough(marked + static_cast<uint64_t>(serialTail.size()), 0);
    QByteArray tail;
    if (connection) {
        // What the client delivered before the stop, not what it goes on sending.
        const uint64_t over = collect(*connection, &tail);
        markThrough(marked + static_cast<uint64_t>(tail.size()), connectionNumber);
        connectionBytes += static_cast<uint64_t>(tail.size()) + over;
        if (over > 0)
            note(QStringLiteral("connection %1: %2 bytes dropped at the stop (more than %3 waited)")
                     .arg(connectionNumber)
                     .arg(over)
                     .arg(drainKeep));
    }
    dropWaiting();
    listener.close();
    return serialTail + tail;
}

// Reads what `client` has delivered by now; keeps up to drainKeep bytes in
// `tail` (if given) and returns the count of the others, which are dropped.
uint64_t NetworkLine::collect(TcpConnection &client, QByteArray *tail)
{
    uint8_t chunk[16384];
    uint64_t over = 0;
    for (uint64_t total = 0; total < drainKeep + drainReadLimit;) {
        const qint64 got = client.read(chunk, sizeof chunk);
        if (got <= 0)
            break;
        total += static_cast<uint64_t>(got);
        const qint64 kept = tail ? std::min<qint64>(got, drainKeep - tail->size()) : 0;
        if (kept > 0)
            tail->append(reinterpret_cast<const char *>(chunk), kept);
        over += static_cast<uint64_t>(got - kept);
    }
    dropped += over;
    return over;
}

// Connections still waiting their turn at a stop are not served; what they
// sent is counted as lost.
void NetworkLine::dropWaiting()
{
    int number = connectionNumber;
    for (int descriptor = listener.accept(); descriptor >= 0; descriptor = listener.accept()) {
        TcpConnection waiting(descriptor);
        const uint64_t lost = collect(waiting, nullptr);
        note(QStringLiteral("connection %1 from %2 not served: the printer stopped; %3 bytes dropped")
                 .arg(++number)
                 .arg(waiting.peer())
                 .arg(lost));
    }
}

void NetworkLine::close()
{
    if (!connection)
        return;
    endConnection(QStringLiteral(" at the stop"));
}

void NetworkLine::note(const QString &text)
{
    if (log)
        log->note(QStringLiteral("tcp"), text);
}

} // namespace kvp
