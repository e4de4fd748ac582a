#pragma once
// Moves bytes between the pseudo-terminal and the virtual printer at the
// pace of a real serial line. The kernel's pty queue stands for the host's
// transmit buffer: bytes are pulled from it at the line rate (bit/s / 10
// bytes per second) unless the printer holds the sender and the host honours
// that form of flow control; then they stay queued, as they would in a UART
// that has received XOFF. While nothing arrives and nothing is buffered the
// pump sleeps on the descriptor instead of ticking.

#include "ptyport.h"
#include "virtualprinter.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>

class QSocketNotifier;

namespace kvp {

class LinePump : public QObject {
    Q_OBJECT
public:
    // `lineRate`: bit/s of the line, or 0 to take the host's setting (and
    // the controller's own when the host uses a non-standard speed).
    LinePump(PtyPort &port, VirtualPrinter &printer, int lineRate, LogSink *log, QObject *parent = nullptr);
    ~LinePump() override;

    void start();
    void stop();
    // Reads whatever the host has queued, without pacing (for shutdown).
    QByteArray drainQueued();

    bool isIdle() const { return m_idle; }
    int effectiveLineRate() const;

    static constexpr int kTickMs = 5;

signals:
    void activity();

private:
    void tick();
    void goIdle();
    void wake();
    void sendPending();

    PtyPort &m_port;
    VirtualPrinter &m_printer;
    int m_lineRate;
    LogSink *m_log;
    QElapsedTimer m_clock;
    QTimer m_tick;
    QTimer m_silence;
    QTimer m_noHostPoll;
    std::unique_ptr<QSocketNotifier> m_readable;
    double m_lineCredit = 0;
    qint64 m_lastTick = -1;
    bool m_idle = true;
    QByteArray m_outgoing;
    int m_warnedHostBaud = -1;
};

} // namespace kvp
