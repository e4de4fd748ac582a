#include "paperwindow.h"

#include <QDockWidget>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>

PaperWindow::PaperWindow(kvp::Service &service, QWidget *parent)
    : QMainWindow(parent)
    , m_service(service)
    , m_scroll(new QScrollArea(this))
    , m_paper(new QLabel)
    , m_log(new QPlainTextEdit)
    , m_status(new QLabel)
{
    setWindowTitle(QStringLiteral("Kivo virtual printer - %1").arg(service.linkPath().isEmpty() ? service.devicePath() : service.linkPath()));
    m_paper->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_paper->setStyleSheet(QStringLiteral("background: #606060;"));
    m_scroll->setWidget(m_paper);
    m_scroll->setWidgetResizable(true);
    m_scroll->setMinimumWidth(620);
    setCentralWidget(m_scroll);

    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(5000);
    m_log->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *dock = new QDockWidget(QStringLiteral("Command log"), this);
    dock->setWidget(m_log);
    addDockWidget(Qt::RightDockWidgetArea, dock);
    statusBar()->addWidget(m_status, 1);
    resize(1280, 800);

    connect(&service, &kvp::Service::logLine, m_log, &QPlainTextEdit::appendPlainText);
    connect(&service, &kvp::Service::pageWritten, this, [this](const QString &path, const QImage &image) {
        m_lastPage = image;
        m_lastPagePath = path;
        m_revision = ~0ull;
    });
    connect(&m_timer, &QTimer::timeout, this, &PaperWindow::refresh);
    m_timer.start(100);
    refresh();
}

void PaperWindow::refresh()
{
    kvp::VirtualPrinter &printer = m_service.printer();
    const kvp::Paper &paper = printer.core().paper();
    if (paper.revision() != m_revision) {
        m_revision = paper.revision();
        const bool current = paper.rows() > 0;
        const QImage image = current ? paper.snapshot() : m_lastPage;
        m_paper->setPixmap(QPixmap::fromImage(image));
        if (current)
            m_scroll->verticalScrollBar()->setValue(m_scroll->verticalScrollBar()->maximum());
    }
    const kvp::ReceiveBuffer &buffer = printer.buffer();
    m_status->setText(QStringLiteral("%1 -> %2 | %3 | buffer %4/%5%6 | received %7, lost %8 | pages %9%10")
                          .arg(m_service.linkPath(), m_service.devicePath(), kvp::flowModeName(buffer.flowMode()))
                          .arg(buffer.size())
                          .arg(buffer.capacity())
                          .arg(buffer.holding() ? QStringLiteral(" (holding)") : QString())
                          .arg(buffer.received())
                          .arg(buffer.lost())
                          .arg(m_service.pagesWritten().size())
                          .arg(m_lastPagePath.isEmpty() ? QString() : QStringLiteral(" (last: %1)").arg(QFileInfo(m_lastPagePath).fileName())));
}
