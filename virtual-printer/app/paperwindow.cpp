#include "paperwindow.h"

#include <QDockWidget>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>

PaperWindow::PaperWindow(kvp::Service &printerService, QWidget *parent)
    : QMainWindow(parent)
    , service(printerService)
    , scroll(new QScrollArea(this))
    , paper(new QLabel)
    , log(new QPlainTextEdit)
    , status(new QLabel)
{
    setWindowTitle(QStringLiteral("Kivo virtual printer - %1")
                       .arg(service.linkPath().isEmpty() ? service.devicePath() : service.linkPath()));
    paper->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    paper->setStyleSheet(QStringLiteral("background: #606060;"));
    scroll->setWidget(paper);
    scroll->setWidgetResizable(true);
    scroll->setMinimumWidth(620);
    setCentralWidget(scroll);

    log->setReadOnly(true);
    log->setMaximumBlockCount(5000);
    log->setLineWrapMode(QPlainTextEdit::NoWrap);
    log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    auto *dock = new QDockWidget(QStringLiteral("Command log"), this);
    dock->setWidget(log);
    addDockWidget(Qt::RightDockWidgetArea, dock);
    statusBar()->addWidget(status, 1);
    resize(1280, 800);

    connect(&service, &kvp::Service::logLine, log, &QPlainTextEdit::appendPlainText);
    connect(&service, &kvp::Service::pageWritten, this, [this](const QString &path, const QImage &image) {
        lastPage = image;
        lastPagePath = path;
        revision = ~0ull;
    });
    connect(&service, &kvp::Service::pageLost, this, [this](const QString &message) { lostPage = message; });
    connect(&timer, &QTimer::timeout, this, &PaperWindow::refresh);
    timer.start(100);
    refresh();
}

void PaperWindow::refresh()
{
    kvp::VirtualPrinter &printer = service.printer();
    const kvp::Paper &roll = printer.core().paper();
    if (roll.revision() != revision) {
        revision = roll.revision();
        const bool current = roll.rows() > 0;
        const QImage image = current ? roll.snapshot() : lastPage;
        paper->setPixmap(QPixmap::fromImage(image));
        if (current)
            scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    }
    const kvp::ReceiveBuffer &buffer = printer.buffer();
    status->setText(
        QStringLiteral("%1 -> %2 | %3 | buffer %4/%5%6 | received %7, lost %8 | pages %9%10%11")
            .arg(service.linkPath(), service.devicePath(), kvp::flowModeName(buffer.flowMode()))
            .arg(buffer.size())
            .arg(buffer.capacity())
            .arg(buffer.holding() ? QStringLiteral(" (holding)") : QString())
            .arg(buffer.received())
            .arg(buffer.lost())
            .arg(service.pagesWritten().size())
            .arg(lastPagePath.isEmpty() ? QString()
                                        : QStringLiteral(" (last: %1)").arg(QFileInfo(lastPagePath).fileName()))
            .arg(lostPage.isEmpty() ? QString()
                                    : QStringLiteral(" | %1 LOST, last: %2").arg(service.pagesLost()).arg(lostPage)));
}
