#include "paperwindow.h"

#include <QActionGroup>
#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include <array>

namespace {
struct ZoomChoice
{
    const char *text;
    PaperView::Zoom zoom;
};
constexpr std::array<ZoomChoice, 3> zoomChoices{{
    {"Fit width", PaperView::Zoom::FitWidth},
    {"1:1", PaperView::Zoom::Actual},
    {"2:1", PaperView::Zoom::Double},
}};
constexpr int refreshMs = 100;
constexpr int maxLogLines = 5000;
constexpr qsizetype pendingLogLimit = qsizetype(2) * maxLogLines;
// Grey beside the paper at fit width, so its edges show.
constexpr int paperMargin = 12;
} // namespace

PaperWindow::PaperWindow(kvp::Service &printerService, QWidget *parent)
    : QMainWindow(parent)
    , service(printerService)
    , scroll(new QScrollArea)
    , view(new PaperView)
    , log(new QPlainTextEdit)
    , status(new QLabel)
{
    setWindowTitle(QStringLiteral("Kivo virtual printer - %1")
                       .arg(service.linkPath().isEmpty() ? service.devicePath() : service.linkPath()));
    scroll->setWidget(view);
    scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scroll->setBackgroundRole(QPalette::Dark);
    // A scroll bar that comes and goes would change the fit-width scale back and forth.
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->viewport()->installEventFilter(this);

    log->setReadOnly(true);
    log->setMaximumBlockCount(maxLogLines);
    log->setLineWrapMode(QPlainTextEdit::NoWrap);
    log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto *splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(scroll);
    splitter->addWidget(log);
    splitter->setChildrenCollapsible(false);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);
    buildToolBar();
    statusBar()->addWidget(status, 1);
    resize(1280, 800);
    splitter->setSizes({2 * width() / 3, width() / 3});

    view->showLive(&service.printer().core().paper());
    // Lines are taken in once a tick: a line at a time, the log would cost more than the printing.
    connect(&service, &kvp::Service::logLine, this, [this](const QString &line) {
        pendingLog << line;
        if (pendingLog.size() > pendingLogLimit) // older lines would scroll out of the log anyway
            pendingLog.erase(pendingLog.begin(), pendingLog.end() - maxLogLines);
    });
    connect(&service, &kvp::Service::pageWritten, this, [this] { updateActions(); });
    connect(&service, &kvp::Service::pageLost, this, [this](const QString &message) { lostPage = message; });
    connect(&service, &kvp::Service::limitReached, this, [this](const QString &message) { limit = message; });
    connect(&timer, &QTimer::timeout, this, &PaperWindow::refresh);
    timer.start(refreshMs);
    refresh();
}

void PaperWindow::buildToolBar()
{
    QToolBar *bar = addToolBar(QStringLiteral("Pages"));
    bar->setMovable(false);
    previousAction = bar->addAction(QStringLiteral("Previous"), this, &PaperWindow::showPrevious);
    previousAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
    nextAction = bar->addAction(QStringLiteral("Next"), this, &PaperWindow::showNext);
    nextAction->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
    liveAction = bar->addAction(QStringLiteral("Printing"), this, &PaperWindow::showLive);
    pageLabel = new QLabel;
    pageLabel->setContentsMargins(8, 0, 8, 0);
    bar->addWidget(pageLabel);
    bar->addSeparator();
    zoomGroup = new QActionGroup(this);
    for (const ZoomChoice &choice : zoomChoices) {
        QAction *action = bar->addAction(QString::fromLatin1(choice.text));
        action->setCheckable(true);
        action->setChecked(choice.zoom == view->zoom());
        zoomGroup->addAction(action);
        connect(action, &QAction::triggered, this, [this, zoom = choice.zoom] { setZoom(zoom); });
    }
    bar->addSeparator();
    openAction = bar->addAction(QStringLiteral("Open PNG"), this, &PaperWindow::openPageFile);
    updateActions();
}

void PaperWindow::showPage(int index)
{
    const QStringList pages = service.pagesWritten();
    browsed = index >= 0 && index < pages.size() ? index : -1;
    if (browsed < 0) {
        view->showLive(&service.printer().core().paper());
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
    } else {
        view->showImage(QImage(pages.at(browsed))); // read back: finished pages are not kept in memory
        scroll->verticalScrollBar()->setValue(0);
    }
    updateActions();
}

void PaperWindow::showPrevious()
{
    const int count = static_cast<int>(service.pagesWritten().size());
    if (browsed != 0 && count > 0)
        showPage(browsed < 0 ? count - 1 : browsed - 1);
}

void PaperWindow::showNext()
{
    if (browsed >= 0)
        showPage(browsed + 1); // past the last written page: the page being printed
}

void PaperWindow::setZoom(PaperView::Zoom zoom)
{
    // Keeps the same part of the page in view.
    QScrollBar *bar = scroll->verticalScrollBar();
    const double position = bar->maximum() > 0 ? static_cast<double>(bar->value()) / bar->maximum() : 1.0;
    view->setZoom(zoom);
    bar->setValue(static_cast<int>(position * bar->maximum()));
}

bool PaperWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == scroll->viewport() && event->type() == QEvent::Resize)
        view->setAvailableWidth(scroll->viewport()->width() - 2 * paperMargin);
    return QMainWindow::eventFilter(watched, event);
}

void PaperWindow::updateActions()
{
    const int count = static_cast<int>(service.pagesWritten().size());
    previousAction->setEnabled(count > 0 && browsed != 0);
    nextAction->setEnabled(browsed >= 0);
    liveAction->setEnabled(browsed >= 0);
    openAction->setEnabled(browsed >= 0);
    pageLabel->setText(browsed < 0 ? QStringLiteral("printing (%1 written)").arg(count)
                                   : QStringLiteral("page %1 of %2 written").arg(browsed + 1).arg(count));
}

void PaperWindow::openPageFile()
{
    const QStringList pages = service.pagesWritten();
    if (browsed >= 0 && browsed < pages.size())
        QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(pages.at(browsed)).absoluteFilePath()));
}

void PaperWindow::refresh()
{
    QScrollBar *bar = scroll->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum() - 2;
    // Follows the paper down only while the reader is at its end.
    if (view->followPaper() && atEnd)
        bar->setValue(bar->maximum());
    if (!pendingLog.isEmpty()) {
        log->appendPlainText(pendingLog.join(QLatin1Char('\n')));
        pendingLog.clear();
    }
    updateStatus();
}

void PaperWindow::updateStatus()
{
    const kvp::ReceiveBuffer &buffer = service.printer().buffer();
    const QStringList pages = service.pagesWritten();
    status->setText(
        QStringLiteral("%1 -> %2 | %3 | buffer %4/%5%6 | received %7, lost %8 | pages %9%10%11%12")
            .arg(service.linkPath(), service.devicePath(), kvp::flowModeName(buffer.flowMode()))
            .arg(buffer.size())
            .arg(buffer.capacity())
            .arg(buffer.holding() ? QStringLiteral(" (holding)") : QString())
            .arg(buffer.received())
            .arg(buffer.lost())
            .arg(pages.size())
            .arg(pages.isEmpty() ? QString() : QStringLiteral(" (last: %1)").arg(QFileInfo(pages.last()).fileName()))
            .arg(lostPage.isEmpty() ? QString()
                                    : QStringLiteral(" | %1 LOST, last: %2").arg(service.pagesLost()).arg(lostPage))
            .arg(limit.isEmpty() ? QString() : QStringLiteral(" | %1").arg(limit)));
}
