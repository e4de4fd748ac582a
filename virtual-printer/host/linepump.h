#pragma once
// Moves bytes between the pseudo-terminal and the virtual printer at the
// pace of a real serial line. The kernel's pty queue stands for the host's
// transmit buffer: bytes are pulled from it at the line rate (bit/s / 10
// bytes per second) unless the printer holds the sender and the host honours
// that form of flow control; then they stay queued, as they would in a UART
// that has received XOFF. While nothing arrives and nothing is buffered the
// pump sleeps on the descriptor instead of ticking. Replies go out through
// the transmit buffer (ReplyQueue) as fast as the host takes them; while the
// line is full a write notifier waits for room. Replies meant for a host that
// has closed the port are dropped, so the next session starts clean.

#include "linemodel.h"
#include "ptyport.h"
#include "replyqueue.h"
#include "virtualprinter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>

class QSocketNotifier;

namespace kvp {

class LinePump : public QObject
{
    Q_OBJECT
public:
    // `bitRate`: bit/s of the line, or 0 to take the host's setting (and
    // the controller's own when the host uses a non-standard speed).
    LinePump(PtyPort &ptyPort, VirtualPrinter &virtualPrinter, int bitRate, LogSink *logSink,
             QObject *parent = nullptr);
    ~LinePump() override;

    void start();
    void stop();
    // Bytes were put into the printer from elsewhere (the network port): tick
    // until the engine has worked them off.
    void wake();
    // The clock the printer is driven by, in milliseconds.
    qint64 now() const { return clock.elapsed(); }
    // Reads whatever the host has queued, without pacing (for shutdown).
    QByteArray drainQueued();

    bool isIdle() const { return idle; }
    const ReplyQueue &replies() const { return replyQueue; }
    int effectiveLineRate() const;

    static constexpr int tickMs = 5;
    // Longest run of pulling and printing before the event loop goes on.
    static constexpr int maxTurnMs = 20;

signals:
    void activity();

private:
    void tick();
    void checkHostSpeed(const HostLine &host);
    LineModel::Pulled pull(const HostLine &host, qint64 now);
    LineModel::Pulled pullAndPrint(const HostLine &host, qint64 now);
    void waitForHost(qint64 now);
    void goIdle();
    void sendPending();
    void queueReply(const QByteArray &bytes);
    void hostsChanged();
    void reportReplyLoss();
    void note(const QString &text);

    PtyPort &port;
    VirtualPrinter &printer;
    int lineRate;
    LogSink *log;
    QElapsedTimer clock;
    QTimer tickTimer;
    QTimer silenceTimer;
    QTimer noHostPoll;
    std::unique_ptr<QSocketNotifier> readable;
    std::unique_ptr<QSocketNotifier> writable;
    std::unique_ptr<QSocketNotifier> hostWatch;
    LineModel line;
    bool idle = true;
    ReplyQueue replyQueue;
    uint64_t lossReported = 0;
    int warnedHostBaud = -1;
};

} // namespace kvp
