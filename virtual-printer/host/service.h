#pragma once
// The whole virtual printer as one object: the pseudo-terminal with its
// link, the line pump, the controller, the page files and the log file.
// The program runs one; a test can run one in-process just the same.

#include "commandlog.h"
#include "linepump.h"
#include "pagewriter.h"
#include "ptyport.h"
#include "virtualprinter.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace kvp {

struct ServiceSettings {
    QString linkPath = QStringLiteral("/tmp/kivo-virtual-printer");
    QString outputDir = QStringLiteral("virtual-printer-output");
    QString flashPath; // empty: head type kept in memory only
    VirtualPrinter::Settings printer;
    int lineRate = 0; // bit/s; 0 follows the host's setting
};

class Service : public QObject {
    Q_OBJECT
public:
    explicit Service(const ServiceSettings &settings, QObject *parent = nullptr);
    ~Service() override;

    bool start(QString *error);
    // Decodes what is buffered and queued, writes the last page, removes the link.
    void stop();
    bool isRunning() const { return m_running; }

    QString devicePath() const { return m_port.devicePath(); }
    QString linkPath() const { return m_port.linkPath(); }
    QString logPath() const;
    const ServiceSettings &settings() const { return m_settings; }
    VirtualPrinter &printer() { return *m_printer; }
    const LinePump *pump() const { return m_pump.get(); }
    QStringList pagesWritten() const { return m_pages; }

signals:
    void pageWritten(const QString &path, const QImage &image);
    void logLine(const QString &line);
    void activity();

private:
    ServiceSettings m_settings;
    PtyPort m_port;
    FanOutLog m_log;
    std::unique_ptr<FileLog> m_file;
    std::unique_ptr<PageWriter> m_writer;
    std::unique_ptr<VirtualPrinter> m_printer;
    std::unique_ptr<LinePump> m_pump;
    QStringList m_pages;
    bool m_running = false;
};

} // namespace kvp
