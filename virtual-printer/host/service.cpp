#include "service.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>

namespace kvp {

Service::Service(const ServiceSettings &settings, QObject *parent)
    : QObject(parent)
    , serviceSettings(settings)
{
    fanOut.callback = [this](const LogEntry &entry) {
        emit logLine(entry.format());
        emit entryLogged(entry);
    };
    logFlush.setInterval(200);
    connect(&logFlush, &QTimer::timeout, this, &Service::flushLog);
}

Service::~Service() { stop(); }

QString Service::logPath() const { return logFile ? logFile->path() : QString(); }

bool Service::start(QString *error)
{
    auto fail = [this, error](const QString &why) {
        if (error)
            *error = why;
        network.reset();
        logFile.reset();
        pageQueue.reset();
        writer.reset(); // gives up the folder's lock
        return false;
    };
    writer = std::make_unique<PageWriter>(serviceSettings.outputDir);
    QString why;
    if (!writer->open(&why))
        return fail(why);
    logFile = std::make_unique<FileLog>(QDir(serviceSettings.outputDir).filePath(QStringLiteral("commands.log")),
                                        serviceSettings.maxLogBytes);
    if (!logFile->isOpen())
        return fail(logFile->error());
    why = FlashStore::problem(serviceSettings.flashPath);
    if (!why.isEmpty())
        return fail(why);
    if (serviceSettings.tcpPort > 0) {
        network = std::make_unique<NetworkLine>(
            &log, serviceSettings.clock ? *serviceSettings.clock : timing::Clock::system(), serviceSettings.tcpIdleMs);
        if (!network->listen(serviceSettings.tcpBind, serviceSettings.tcpPort, &why))
            return fail(why);
    }
    if (!port.open(serviceSettings.linkPath, &why))
        return fail(why);
    fanOut.addSink(logFile.get());
    pageQueue = std::make_unique<PageQueue>(*writer);
    pageQueue->onResult = [this](const PageResult &result) { pageDone(result); };

    VirtualPrinter::Settings ps = serviceSettings.printer;
    ps.core.flashPath = serviceSettings.flashPath;
    virtualPrinter = std::make_unique<VirtualPrinter>(ps, &log);
    virtualPrinter->core().paper().onPage = [this](const Page &page) { queuePage(page); };
    virtualPrinter->outputBusy = [this] { return pageQueue->full(); };
    log.note(QStringLiteral("start"),
             QStringLiteral("%1 on %2 (link %3); head type %4, %5 dots; buffer %6 bytes, print speed %7 bytes/s, %8")
                 .arg(QDateTime::currentDateTime().toString(Qt::ISODate), port.devicePath(),
                      port.linkPath().isEmpty() ? QStringLiteral("none") : port.linkPath())
                 .arg(virtualPrinter->core().headType())
                 .arg(virtualPrinter->core().paper().width())
                 .arg(ps.bufferSize)
                 .arg(ps.printBytesPerSecond)
                 .arg(flowModeName(ps.flow)));
    if (!port.linkPath().isEmpty() && !announcement.announce(serviceSettings.announcementFolder, port.linkPath(), &why))
        log.note(QStringLiteral("start"), why);
    linePump = std::make_unique<LinePump>(port, *virtualPrinter, serviceSettings.lineRate, &log);
    connect(linePump.get(), &LinePump::activity, this, &Service::activity);
    linePump->start();
    if (network) {
        log.note(QStringLiteral("tcp"), QStringLiteral("listening on %1").arg(network->endpoint()));
        network->attach(*virtualPrinter, {[this] { return linePump->now(); }, [this] { linePump->wake(); }});
    }
    logFlush.start();
    running = true;
    return true;
}

void Service::queuePage(const Page &page)
{
    emit pageFinished(page);
    if (pagesQueued == serviceSettings.maxPages)
        reachLimit(QStringLiteral("page limit of %1 pages reached: later pages are not written (--max-pages)")
                       .arg(serviceSettings.maxPages));
    if (pagesQueued++ < serviceSettings.maxPages)
        pageQueue->push(page);
}

void Service::pageDone(const PageResult &result)
{
    const Page &page = result.page;
    if (result.path.isEmpty()) {
        ++lostPages;
        const QString text = QStringLiteral("page %1 lost: %2").arg(page.number).arg(result.error);
        log.note(QStringLiteral("page"), text);
        emit pageLost(text);
        return;
    }
    pages << result.path;
    log.note(QStringLiteral("page"),
             QStringLiteral("%1 written (%2 x %3 dots, ended by %4)")
                 .arg(result.path)
                 .arg(page.image.width())
                 .arg(page.image.height())
                 .arg(page.reason));
    emit pageWritten(result.path, page.image);
}

void Service::flushLog()
{
    log.flushIdle();
    logFile->flush();
    if (logFile->full() && limits.filter(QStringLiteral("log full")).isEmpty())
        reachLimit(QStringLiteral("log full (%1 MB): later lines are not written (--max-log)")
                       .arg(serviceSettings.maxLogBytes >> 20));
}

void Service::reachLimit(const QString &message)
{
    limits << message;
    log.note(QStringLiteral("limit"), message);
    emit limitReached(message);
}

void Service::stop()
{
    if (!running)
        return;
    running = false;
    linePump->stop();
    const QByteArray queued = network ? network->drain(linePump->drainQueued()) : linePump->drainQueued();
    // A stop takes a few seconds at most, however much the input asked for.
    QElapsedTimer stopping;
    stopping.start();
    const uint64_t left = virtualPrinter->finish(queued, [&stopping] { return stopping.elapsed() < stopBudgetMs; });
    if (left > 0)
        log.note(
            QStringLiteral("stop"),
            QStringLiteral("%1 bytes not decoded: stopping took longer than %2 s").arg(left).arg(stopBudgetMs / 1000));
    if (network)
        network->close();
    pageQueue->finish();
    // Lost: what did not fit the buffer, what the deadline left and what
    // network clients had sent beyond what a stop decodes.
    const uint64_t dropped = network ? network->bytesDropped() : 0;
    const ReceiveBuffer &buffer = virtualPrinter->buffer();
    log.note(QStringLiteral("stop"),
             QStringLiteral("%1 bytes received, %2 decoded, %3 lost; %4 pages written")
                 .arg(buffer.received() + buffer.lost() + static_cast<uint64_t>(queued.size()) + dropped)
                 .arg(virtualPrinter->decodedBytes())
                 .arg(buffer.lost() + left + dropped)
                 .arg(pages.size()));
    network.reset();
    log.flush();
    logFlush.stop();
    logFile->flush();
    linePump.reset();
    announcement.withdraw();
    port.close();
}

} // namespace kvp
