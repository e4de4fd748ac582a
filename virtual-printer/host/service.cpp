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
    writer = std::make_unique<PageWriter>(serviceSettings.outputDir);
    if (!writer->isReady()) {
        if (error)
            *error = QStringLiteral("cannot create the output folder %1").arg(serviceSettings.outputDir);
        return false;
    }
    logFile = std::make_unique<FileLog>(QDir(serviceSettings.outputDir).filePath(QStringLiteral("commands.log")));
    log.addSink(logFile.get());
    if (!port.open(serviceSettings.linkPath, error))
        return false;

    VirtualPrinter::Settings ps = serviceSettings.printer;
    ps.core.flashPath = serviceSettings.flashPath;
    virtualPrinter = std::make_unique<VirtualPrinter>(ps, &log);
    virtualPrinter->core().paper().onPage = [this](const Page &page) {
        const QString path = writer->write(page);
        if (path.isEmpty()) {
            log.note(QStringLiteral("page"), QStringLiteral("page %1 could not be written").arg(page.number));
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
    };
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
    running = true;
    return true;
}

void Service::stop()
{
    if (!running)
        return;
    running = false;
    linePump->stop();
    const QByteArray queued = linePump->drainQueued();
    virtualPrinter->finish(queued);
    log.note(QStringLiteral("stop"),
             QStringLiteral("%1 bytes received, %2 decoded, %3 lost; %4 pages written")
                 .arg(virtualPrinter->buffer().received() + static_cast<uint64_t>(queued.size()))
                 .arg(virtualPrinter->decodedBytes())
                 .arg(virtualPrinter->buffer().lost())
                 .arg(pages.size()));
    linePump.reset();
    port.close();
}

} // namespace kvp
