#include "tcpsocket.h"

#include <QNetworkInterface>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kvp {

namespace {
bool wouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

socklen_t toSockaddr(const QHostAddress &address, quint16 port, sockaddr_storage *out)
{
    *out = {};
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *in = reinterpret_cast<sockaddr_in *>(out);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        return sizeof(sockaddr_in);
    }
    auto *in6 = reinterpret_cast<sockaddr_in6 *>(out);
    in6->sin6_family = AF_INET6;
    in6->sin6_port = htons(port);
    const Q_IPV6ADDR bytes = address.toIPv6Address();
    std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
    const QString scope = address.scopeId();
    bool numeric = false;
    in6->sin6_scope_id = scope.toUInt(&numeric);
    if (!scope.isEmpty() && !numeric)
        in6->sin6_scope_id = if_nametoindex(scope.toLatin1().constData());
    return sizeof(sockaddr_in6);
}

QString describe(const sockaddr_storage &address, bool bracketIpv6, const char *separator)
{
    const QHostAddress host(reinterpret_cast<const sockaddr *>(&address));
    const bool ipv6 = address.ss_family == AF_INET6;
    const quint16 port = ntohs(ipv6 ? reinterpret_cast<const sockaddr_in6 *>(&address)->sin6_port
                                    : reinterpret_cast<const sockaddr_in *>(&address)->sin_port);
    const QString name = ipv6 && bracketIpv6 ? QStringLiteral("[%1]").arg(host.toString()) : host.toString();
    return name + QLatin1String(separator) + QString::number(port);
}
} // namespace

QString unconnectableKind(const QHostAddress &address)
{
    if (address.isMulticast())
        return QStringLiteral("multicast");
    if (address.isBroadcast())
        return QStringLiteral("broadcast");
    // The last address of a local IPv4 subnet is its broadcast address, also
    // where the interface names none (the loopback's 127.255.255.255).
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces())
            for (const QNetworkAddressEntry &entry : interface.addressEntries())
                if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && entry.prefixLength() > 0
                    && entry.prefixLength() < 31
                    && (entry.ip().toIPv4Address() | ~entry.netmask().toIPv4Address()) == address.toIPv4Address())
                    return QStringLiteral("broadcast");
    }
    return QString();
}

bool TcpListener::listen(const QHostAddress &address, quint16 port, QString *reason)
{
    close();
    sockaddr_storage where{};
    const socklen_t length = toSockaddr(address, port, &where);
    fd = ::socket(where.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    // A port left in TIME_WAIT by the last run can be had again at once.
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0
        || ::bind(fd, reinterpret_cast<const sockaddr *>(&where), length) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        if (reason)
            *reason = QString::fromLocal8Bit(std::strerror(errno));
        close();
        return false;
    }
    notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    notifier->setEnabled(false);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] {
        if (onIncoming)
            onIncoming();
    });
    return true;
}

void TcpListener::close()
{
    notifier.reset();
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

int TcpListener::accept()
{
    if (fd < 0)
        return -1;
    for (;;) {
        const int connection = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        // A connection that was reset while it waited is skipped.
        if (connection >= 0 || (errno != ECONNABORTED && errno != EINTR))
            return connection;
    }
}

void TcpListener::watch(bool on)
{
    if (notifier)
        notifier->setEnabled(on);
}

QString TcpListener::endpoint() const
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return QString();
    return describe(address, true, ":");
}

TcpConnection::TcpConnection(int descriptor, QObject *parent)
    : QObject(parent)
    , fd(descriptor)
    , readNotifier(descriptor, QSocketNotifier::Read)
    , writeNotifier(descriptor, QSocketNotifier::Write)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        peerName = describe(address, false, " port ");
    readNotifier.setEnabled(false);
    writeNotifier.setEnabled(false);
    connect(&readNotifier, &QSocketNotifier::activated, this, [this] {
        if (onReadable)
            onReadable();
    });
    connect(&writeNotifier, &QSocketNotifier::activated, this, &TcpConnection::flush);
}

qint64 TcpConnection::read(uint8_t *out, qint64 max)
{
    if (fd < 0 || endOfData || max <= 0)
        return 0;
    const ssize_t got = ::recv(fd, out, static_cast<size_t>(max), MSG_DONTWAIT);
    if (got > 0)
        return got;
    if (got < 0 && wouldBlock())
        return 0;
    endOfData = true;
    watchReads(false);
    if (got < 0) { // reset: the client is gone
        failed = true;
        dropUnsent();
    }
    return 0;
}

qint64 TcpConnection::waiting() const
{
    int count = 0;
    return fd >= 0 && ::ioctl(fd, FIONREAD, &count) == 0 ? count : 0;
}

void TcpConnection::watchReads(bool on) { readNotifier.setEnabled(on && fd >= 0 && !endOfData); }

bool TcpConnection::send(const QByteArray &bytes)
{
    if (fd < 0 || failed) {
        unsentDropped += static_cast<uint64_t>(bytes.size());
        return true;
    }
    const bool fitted = replies.push(bytes);
    flush();
    return fitted;
}

void TcpConnection::flush()
{
    bool sent = false;
    while (fd >= 0 && !failed && !replies.isEmpty()) {
        const QByteArray front = replies.front();
        // MSG_NOSIGNAL: a client that has gone must not take the program with it (SIGPIPE).
        const ssize_t count =
            ::send(fd, front.constData(), static_cast<size_t>(front.size()), MSG_DONTWAIT | MSG_NOSIGNAL);
        if (count > 0) {
            replies.consumed(count);
            sent = true;
        } else if (count == 0 || wouldBlock()) {
            break;
        } else {
            failed = true;
            dropUnsent();
        }
    }
    writeNotifier.setEnabled(fd >= 0 && !failed && !replies.isEmpty());
    if (sent && onSent)
        onSent();
}

void TcpConnection::dropUnsent()
{
    unsentDropped += static_cast<uint64_t>(replies.front().size());
    replies.dropReplies();
}

void TcpConnection::close()
{
    if (fd < 0)
        return;
    readNotifier.setEnabled(false);
    writeNotifier.setEnabled(false);
    dropUnsent();
    ::close(fd);
    fd = -1;
}

} // namespace kvp
