#include "service.h"

#include <QDateTime>
#include <QDir>

namespace kvp {

Service::Service(const ServiceSettings &settings, QObject *parent)
    : QObject(parent)
    , m_settings(settings)
{
    m_log.callback = [this](const LogEntry &entry) { emit logLine(entry.format()); };
}

Service::~Service()
{
    stop();
}

QString Service::logPath() const
{
    return m_file ? m_file->path() : QString();
}

bool Service::start(QString *error)
{
    m_writer = std::make_unique<PageWriter>(m_settings.outputDir);
    if (!m_writer->isReady()) {
        if (error)
            *error = QStringLiteral("cannot create the output folder %1").arg(m_settings.outputDir);
        return false;
    }
    m_file = std::make_unique<FileLog>(QDir(m_settings.outputDir).filePath(QStringLiteral("commands.log")));
    m_log.addSink(m_file.get());
    if (!m_port.open(m_settings.linkPath, error))
        return false;

    VirtualPrinter::Settings ps = m_settings.printer;
    ps.core.flashPath = m_settings.flashPath;
    m_printer = std::make_unique<VirtualPrinter>(ps, &m_log);
    m_printer->core().paper().onPage = [this](const Page &page) {
        const QString path = m_writer->write(page);
        if (path.isEmpty()) {
            m_log.note(QStringLiteral("page"), QStringLiteral("page %1 could not be written").arg(page.number));
            return;
        }
        m_pages << path;
        m_log.note(QStringLiteral("page"), QStringLiteral("%1 written (%2 x %3 dots, ended by %4)")
                                               .arg(path)
                                               .arg(page.image.width())
                                               .arg(page.image.height())
                                               .arg(page.reason));
        emit pageWritten(path, page.image);
    };
    m_log.note(QStringLiteral("start"),
               QStringLiteral("%1 on %2 (link %3); head type %4, %5 dots; buffer %6 bytes, print speed %7 bytes/s, %8")
                   .arg(QDateTime::currentDateTime().toString(Qt::ISODate), m_port.devicePath(),
                        m_port.linkPath().isEmpty() ? QStringLiteral("none") : m_port.linkPath())
                   .arg(m_printer->core().headType())
                   .arg(m_printer->core().paper().width())
                   .arg(ps.bufferSize)
                   .arg(ps.printBytesPerSecond)
                   .arg(flowModeName(ps.flow)));
    m_pump = std::make_unique<LinePump>(m_port, *m_printer, m_settings.lineRate, &m_log);
    connect(m_pump.get(), &LinePump::activity, this, &Service::activity);
    m_pump->start();
    m_running = true;
    return true;
}

void Service::stop()
{
    if (!m_running)
        return;
    m_running = false;
    m_pump->stop();
    const QByteArray queued = m_pump->drainQueued();
    m_printer->finish(queued);
    m_log.note(QStringLiteral("stop"), QStringLiteral("%1 bytes received, %2 decoded, %3 lost; %4 pages written")
                                           .arg(m_printer->buffer().received() + static_cast<std::uint64_t>(queued.size()))
                                           .arg(m_printer->decodedBytes())
                                           .arg(m_printer->buffer().lost())
                                           .arg(m_pages.size()));
    m_pump.reset();
    m_port.close();
}

} // namespace kvp
