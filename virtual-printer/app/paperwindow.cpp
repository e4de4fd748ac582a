#include "paperwindow.h"

#include "logmodel.h"

#include <QAction>
#include <QActionGroup>
#include <QClipboard>
#include <QEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>

#include <algorithm>
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
constexpr size_t pendingLogLimit = size_t(2) * maxLogLines;
// Grey beside the paper at fit width, so its edges show.
constexpr int paperMargin = 12;
const QSize preferredSize(1280, 800);
// Room for the title bar and borders the window manager adds: the size
// asked for is the inside of the window.
const QSize frameAllowance(16, 48);
} // namespace

PaperWindow::PaperWindow(kvp::Service &printerService, QWidget *parent)
    : QMainWindow(parent)
    , service(printerService)
    , scroll(new QScrollArea)
    , view(new PaperView)
    , splitter(new QSplitter(Qt::Horizontal))
    , log(new QTreeView)
    , logModel(new LogModel(maxLogLines, this))
    , status(new QLabel)
    , pageOpener(desktopOpener(this))
{
    setWindowTitle(QStringLiteral("Kivo virtual printer - %1")
                       .arg(service.linkPath().isEmpty() ? service.devicePath() : service.linkPath()));
    scroll->setWidget(view);
    scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    scroll->setBackgroundRole(QPalette::Dark);
    // A scroll bar that comes and goes would change the fit-width scale back and forth.
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->viewport()->installEventFilter(this);
    buildLog();

    splitter->addWidget(scroll);
    splitter->addWidget(log);
    splitter->setChildrenCollapsible(false);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);
    buildToolBar();
    // The line state is long: it is cut at the window's edge rather than widening the window.
    status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->addWidget(status, 1);
    const QScreen *screen = QGuiApplication::primaryScreen();
    placeWithin(screen ? screen->availableGeometry() : QRect(QPoint(0, 0), preferredSize + frameAllowance));

    // Lines are taken in once a tick: a line at a time, the log would cost more than the printing.
    connect(&service, &kvp::Service::entryLogged, this, [this](const kvp::LogEntry &entry) {
        pendingLog.push_back(entry);
        if (pendingLog.size() > pendingLogLimit) // older lines would scroll out of the log anyway
            pendingLog.erase(pendingLog.begin(), pendingLog.end() - maxLogLines);
    });
    connect(&service, &kvp::Service::pageFinished, this, [this](const kvp::Page &page) {
        finished = page.image;
        finishedNumber = page.number;
        finishedPath.clear();
    });
    connect(&service, &kvp::Service::pageWritten, this, [this](const QString &path, const QImage &image) {
        if (image.cacheKey() == finished.cacheKey())
            finishedPath = path;
        updateActions();
    });
    connect(&service, &kvp::Service::pageLost, this, [this](const QString &message) { lostPage = message; });
    connect(&service, &kvp::Service::limitReached, this, [this](const QString &message) { limit = message; });
    connect(&timer, &QTimer::timeout, this, &PaperWindow::refresh);
    timer.start(refreshMs);
    refresh();
}

void PaperWindow::buildLog()
{
    log->setModel(logModel);
    log->setRootIsDecorated(false);
    log->setUniformRowHeights(true);
    log->setAlternatingRowColors(true);
    log->setSelectionMode(QAbstractItemView::ExtendedSelection);
    log->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    log->setTextElideMode(Qt::ElideRight);
    QHeaderView *header = log->header();
    header->setStretchLastSection(true); // the bytes take what is left, cut to fit
    const QFontMetrics metrics(log->font());
    header->resizeSection(LogModel::Offset, metrics.horizontalAdvance(QStringLiteral("00000000")) + 16);
    header->resizeSection(LogModel::Command, metrics.horizontalAdvance(QStringLiteral("print-mode 00")) + 16);
    log->viewport()->installEventFilter(this);
    auto *copy = new QAction(QStringLiteral("Copy"), log);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    log->addAction(copy);
    connect(copy, &QAction::triggered, this, [this] {
        QStringList lines;
        for (const QModelIndex &index : log->selectionModel()->selectedRows())
            lines << logModel->line(index.row());
        if (!lines.isEmpty())
            QGuiApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
    });
}

void PaperWindow::fitLogColumns()
{
    // The meaning gets what the offset, the command and a few bytes leave;
    // on a wide log the bytes get more, up to about eight.
    QHeaderView *header = log->header();
    const QFontMetrics metrics(log->font());
    const int fewBytes = metrics.horizontalAdvance(QStringLiteral("1B 2A 00 ...")) + 16;
    const int eightBytes = metrics.horizontalAdvance(QStringLiteral("1D 76 30 00 30 00 00 01 ...")) + 16;
    const int longMeaning = metrics.horizontalAdvance(QString(48, QLatin1Char('x')));
    const int left =
        log->viewport()->width() - header->sectionSize(LogModel::Offset) - header->sectionSize(LogModel::Command);
    const int meaning = std::max(left - eightBytes, std::min(left - fewBytes, longMeaning));
    header->resizeSection(LogModel::Meaning, std::max(header->minimumSectionSize() * 4, meaning));
}

void PaperWindow::placeWithin(const QRect &available)
{
    const QSize inside = available.size() - frameAllowance;
    const QSize size = preferredSize.boundedTo(inside).expandedTo(minimumSizeHint());
    resize(size);
    move(available.x() + std::max(0, (available.width() - size.width() - frameAllowance.width()) / 2),
         available.y() + std::max(0, (available.height() - size.height() - frameAllowance.height()) / 2));
    // The paper at 1:1 with its margins and scroll bar, the log in the rest.
    const int dots = service.printer().core().paper().width();
    const int paper =
        std::min(size.width() / 2, dots + 2 * paperMargin + scroll->verticalScrollBar()->sizeHint().width() + 4);
    splitter->setSizes({paper, size.width() - paper});
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
        shownFinished = -1; // decided again
        followPrinting(true);
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
    if (event->type() == QEvent::Resize) {
        if (watched == scroll->viewport())
            view->setAvailableWidth(scroll->viewport()->width() - 2 * paperMargin);
        else if (watched == log->viewport())
            fitLogColumns();
    }
    return QMainWindow::eventFilter(watched, event);
}

QString PaperWindow::shownFile() const
{
    const QStringList pages = service.pagesWritten();
    if (browsed >= 0 && browsed < pages.size())
        return pages.at(browsed);
    return shownFinished > 0 ? finishedPath : QString();
}

QString PaperWindow::pageCounter() const { return pageLabel->text(); }

void PaperWindow::updateActions()
{
    const QStringList pages = service.pagesWritten();
    const int count = static_cast<int>(pages.size());
    previousAction->setEnabled(count > 0 && browsed != 0);
    nextAction->setEnabled(browsed >= 0);
    liveAction->setEnabled(browsed >= 0);
    openAction->setEnabled(!shownFile().isEmpty());
    QString text;
    if (browsed >= 0) {
        text = QStringLiteral("%1 (page %2 of %3 written)")
                   .arg(QFileInfo(pages.at(browsed)).fileName())
                   .arg(browsed + 1)
                   .arg(count);
    } else if (shownFinished > 0) {
        text = QStringLiteral("printed page %1%2 (%3 written)")
                   .arg(finishedNumber)
                   .arg(finishedPath.isEmpty() ? QString() : QStringLiteral(": ") + QFileInfo(finishedPath).fileName())
                   .arg(count);
    } else {
        const kvp::Paper &paper = service.printer().core().paper();
        text = QStringLiteral("%1 page %2 (%3 written)")
                   .arg(paper.rows() > 0 ? QStringLiteral("printing") : QStringLiteral("waiting for"))
                   .arg(paper.pagesDelivered() + 1)
                   .arg(count);
    }
    pageLabel->setText(text);
}

void PaperWindow::openPageFile()
{
    const QString path = shownFile();
    if (path.isEmpty())
        return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    pageOpener(absolute, [this, absolute](const QString &why) { reportNotOpened(absolute, why); });
}

void PaperWindow::reportNotOpened(const QString &path, const QString &why)
{
    auto *box = new QMessageBox(QMessageBox::Information, QStringLiteral("Open PNG"),
                                QStringLiteral("%1 could not be opened: %2.").arg(QFileInfo(path).fileName(), why),
                                QMessageBox::Close, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setInformativeText(path);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton *copy = box->addButton(QStringLiteral("Copy path"), QMessageBox::AcceptRole);
    connect(copy, &QPushButton::clicked, this, [path] { QGuiApplication::clipboard()->setText(path); });
    box->setDefaultButton(copy);
    box->open();
}

void PaperWindow::followPrinting(bool atEnd)
{
    const kvp::Paper &paper = service.printer().core().paper();
    // The last finished page stays in view until the next one has a row.
    const int wanted = paper.rows() == 0 && !finished.isNull() ? finishedNumber : 0;
    bool grown = false;
    if (wanted != shownFinished) {
        shownFinished = wanted;
        if (wanted > 0)
            view->showImage(finished);
        else
            view->showLive(&paper);
        grown = true;
    } else if (wanted == 0) {
        grown = view->followPaper();
    }
    // Follows the paper down only while the reader is at its end.
    if (grown && atEnd)
        scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
}

void PaperWindow::refresh()
{
    QScrollBar *bar = scroll->verticalScrollBar();
    if (browsed < 0)
        followPrinting(bar->value() >= bar->maximum() - 2);
    if (!pendingLog.empty()) {
        QScrollBar *logBar = log->verticalScrollBar();
        const bool logAtEnd = logBar->value() >= logBar->maximum() - 2;
        logModel->append(pendingLog);
        pendingLog.clear();
        if (logAtEnd)
            log->scrollToBottom();
    }
    updateActions();
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
