#pragma once
// The whole virtual printer as one object: the pseudo-terminal with its
// link, the line pump, the network port when asked for, the controller, the page files and the log file.
// The program runs one; a test can run one in-process just the same.

#include "announcement.h"
#include "decoder/commandlog.h"
#include "linepump.h"
#include "networkline.h"
#include "pagequeue.h"
#include "pagewriter.h"
#include "ptyport.h"
#include "virtualprinter.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <memory>

namespace kvp {

struct ServiceSettings
{
    QString linkPath = QStringLiteral("/tmp/kivo-virtual-printer");
    // Where the link is announced to Printer Kivo's port list.
    QString announcementFolder = defaultAnnouncementFolder();
    QString outputDir = QStringLiteral("virtual-printer-output");
    QString flashPath; // empty: head type kept in memory only
    VirtualPrinter::Settings printer;
    int lineRate = 0;    // bit/s; 0 follows the host's setting
    quint16 tcpPort = 0; // 0: no network port
    QString tcpBind = QStringLiteral("127.0.0.1");
    int tcpIdleMs = 10000;                         // a connection silent this long is dropped
    timing::Clock *clock = nullptr;                // of the idle time-out; null: the system's
    qint64 maxPages = 1000;                        // pages written per run; later ones are dropped
    qint64 maxLogBytes = FileLog::defaultMaxBytes; // size of commands.log
};

class Service : public QObject
{
    Q_OBJECT
public:
    explicit Service(const ServiceSettings &settings, QObject *parent = nullptr);
    ~Service() override;

    bool start(QString *error);
    // Decodes what is buffered and queued, writes the last page, removes the link.
    void stop();
    bool isRunning() const { return running; }

    QString devicePath() const { return port.devicePath(); }
    QString linkPath() const { return port.linkPath(); }
    QString logPath() const;
    // "ADDRESS:PORT" of the network port, empty without one.
    QString tcpEndpoint() const { return network ? network->endpoint() : QString(); }
    const ServiceSettings &settings() const { return serviceSettings; }
    VirtualPrinter &printer() { return *virtualPrinter; }
    const LinePump *pump() const { return linePump.get(); }
    // See PageQueue::holdWrites(); while running only.
    void holdPageWrites(bool hold) { pageQueue->holdWrites(hold); }
    QStringList pagesWritten() const { return pages; }
    int pagesLost() const { return lostPages; }
    // The budgets reached so far (page count, log size), one line each.
    QStringList limitsReached() const { return limits; }

signals:
    void pageWritten(const QString &path, const QImage &image);
    // A page that could not be written, with the reason.
    void pageLost(const QString &message);
    void logLine(const QString &line);
    // The same entry before it is formatted, for the window's columns.
    void entryLogged(const kvp::LogEntry &entry);
    // A page has ended (written or not), with its rows.
    void pageFinished(const kvp::Page &page);
    // A budget was reached (the page count or the log size); input is still read.
    void limitReached(const QString &message);
    void activity();

private:
    void queuePage(const Page &page);
    void pageDone(const PageResult &result);
    void flushLog();
    void reachLimit(const QString &message);

    ServiceSettings serviceSettings;
    PtyPort port;
    Announcement announcement;
    FanOutLog fanOut;
    FoldingLog log{&fanOut};
    QTimer logFlush;
    std::unique_ptr<FileLog> logFile;
    std::unique_ptr<PageWriter> writer;
    std::unique_ptr<PageQueue> pageQueue;
    qint64 pagesQueued = 0;
    QStringList limits;
    static constexpr qint64 stopBudgetMs = 3000;
    std::unique_ptr<VirtualPrinter> virtualPrinter;
    std::unique_ptr<LinePump> linePump;
    std::unique_ptr<NetworkLine> network; // after linePump: it passes serial replies on to it
    QStringList pages;
    int lostPages = 0;
    bool running = false;
};

} // namespace kvp
