#include "service.h"

#include <QDateTime>
#include <QDir>

namespace kvp {

Service::Service(const ServiceSettings &settings, QObject *parent)
    : QObject(parent)
    , serviceSettings(settings)
{
    log.callback = [this](const LogEntry &entry) { emit logLine(entry.format()); };
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
        writer.reset(); // gives up the folder's lock
        return false;
    };
    writer = std::make_unique<PageWriter>(serviceSettings.outputDir);
    QString why;
    if (!writer->open(&why))
        return fail(why);
    logFile = std::make_unique<FileLog>(QDir(serviceSettings.outputDir).filePath(QStringLiteral("commands.log")));
    if (!logFile->isOpen())
        return fail(logFile->error());
    why = FlashStore::problem(serviceSettings.flashPath);
    if (!why.isEmpty())
        return fail(why);
    if (serviceSettings.tcpPort > 0) {
        network = std::make_unique<NetworkLine>(&log);
        if (!network->listen(serviceSettings.tcpBind, serviceSettings.tcpPort, &why))
            return fail(why);
    }
    if (!port.open(serviceSettings.linkPath, &why))
        return fail(why);
    log.addSink(logFile.get());

    VirtualPrinter::Settings ps = serviceSettings.printer;
    ps.core.flashPath = serviceSettings.flashPath;
    virtualPrinter = std::make_unique<VirtualPrinter>(ps, &log);
    virtualPrinter->core().paper().onPage = [this](const Page &page) { savePage(page); };
    log.note(QStringLiteral("start"),
             QStringLiteral("%1 on %2 (link %3); head type %4, %5 dots; buffer %6 bytes, print speed %7 bytes/s, %8")
                 .arg(QDateTime::currentDateTime().toString(Qt::ISODate), port.devicePath(),
                      port.linkPath().isEmpty() ? QStringLiteral("none") : port.linkPath())
                 .arg(virtualPrinter->core().headType())
                 .arg(virtualPrinter->core().paper().width())
                 .arg(ps.bufferSize)
                 .arg(ps.printBytesPerSecond)
                 .arg(flowModeName(ps.flow)));
    linePump = std::make_unique<LinePump>(port, *virtualPrinter, serviceSettings.lineRate, &log);
    connect(linePump.get(), &LinePump::activity, this, &Service::activity);
    linePump->start();
    if (network) {
        log.note(QStringLiteral("tcp"), QStringLiteral("listening on %1").arg(network->endpoint()));
        network->attach(*virtualPrinter, *linePump);
    }
    running = true;
    return true;
}

void Service::savePage(const Page &page)
{
    QString why;
    const QString path = writer->write(page, &why);
    if (path.isEmpty()) {
        ++lostPages;
        const QString text = QStringLiteral("page %1 lost: %2").arg(page.number).arg(why);
        log.note(QStringLiteral("page"), text);
        emit pageLost(text);
        return;
    }
    pages << path;
    log.note(QStringLiteral("page"),
             QStringLiteral("%1 written (%2 x %3 dots, ended by %4)")
                 .arg(path)
                 .arg(page.image.width())
                 .arg(page.image.height())
                 .arg(page.reason));
    emit pageWritten(path, page.image);
}

void Service::stop()
{
    if (!running)
        return;
    running = false;
    linePump->stop();
    const QByteArray queued = network ? network->drain(linePump->drainQueued()) : linePump->drainQueued();
    virtualPrinter->finish(queued);
    if (network)
        network->close();
    log.note(QStringLiteral("stop"),
             QStringLiteral("%1 bytes received, %2 decoded, %3 lost; %4 pages written")
                 .arg(virtualPrinter->buffer().received() + static_cast<uint64_t>(queued.size()))
                 .arg(virtualPrinter->decodedBytes())
                 .arg(virtualPrinter->buffer().lost())
                 .arg(pages.size()));
    network.reset();
    linePump.reset();
    port.close();
}

} // namespace kvp
