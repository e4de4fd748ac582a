#include "paperview.h"

#include "paper.h"

#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {
// Keeps a fit-width page from vanishing in a narrow window.
constexpr double minimumScale = 0.1;
} // namespace

PaperView::PaperView(QWidget *parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PaperView::showLive(const kvp::Paper *paper)
{
    live = paper;
    image = QImage();
    shownRows = paper ? paper->rows() : 0;
    shownWidth = paper ? paper->width() : 0;
    pagesSeen = paper ? paper->pagesDelivered() : 0;
    invalidateAll();
}

void PaperView::showImage(const QImage &page)
{
    live = nullptr;
    image = page.convertToFormat(QImage::Format_Grayscale8);
    shownRows = image.height();
    shownWidth = image.width();
    invalidateAll();
}

int PaperView::paperWidth() const { return shownWidth; }

void PaperView::setZoom(Zoom mode)
{
    zoomMode = mode;
    resizeToPaper();
    update();
}

void PaperView::setAvailableWidth(int width)
{
    availableWidth = width;
    if (zoomMode == Zoom::FitWidth) {
        resizeToPaper();
        update();
    }
}

double PaperView::scale() const
{
    switch (zoomMode) {
    case Zoom::Actual: return 1.0;
    case Zoom::Double: return 2.0;
    case Zoom::FitWidth: break;
    }
    if (shownWidth <= 0 || availableWidth <= 0)
        return 1.0;
    return std::max(minimumScale, static_cast<double>(availableWidth) / shownWidth);
}

bool PaperView::followPaper()
{
    if (!live)
        return false;
    const int rows = live->rows();
    // A new page (or a new paper width) starts over from the top.
    if (live->pagesDelivered() != pagesSeen || live->width() != shownWidth || rows < shownRows) {
        pagesSeen = live->pagesDelivered();
        shownWidth = live->width();
        shownRows = rows;
        invalidateAll();
        return rows > 0;
    }
    if (rows == shownRows)
        return false;
    const int first = shownRows;
    shownRows = rows;
    resizeToPaper();
    const double s = scale();
    const int top = static_cast<int>(std::floor(first * s));
    update(QRect(0, top, width(), static_cast<int>(std::ceil(rows * s)) - top));
    invalidated += static_cast<uint64_t>(rows - first);
    return true;
}

void PaperView::resizeToPaper()
{
    const double s = scale();
    setFixedSize(std::max(1, static_cast<int>(std::ceil(shownWidth * s))),
                 std::max(1, static_cast<int>(std::ceil(shownRows * s))));
}

void PaperView::invalidateAll()
{
    resizeToPaper();
    update();
    invalidated += static_cast<uint64_t>(shownRows);
}

void PaperView::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    painter.fillRect(area, Qt::white);
    const double s = scale();
    const int first = std::clamp(static_cast<int>(std::floor(area.top() / s)), 0, shownRows);
    // The live page may have ended since the last look: never read past what it holds now.
    const int available = live ? (live->width() == shownWidth ? std::min(shownRows, live->rows()) : 0) : shownRows;
    const int last = std::clamp(static_cast<int>(std::ceil((area.bottom() + 1) / s)), 0, available);
    if (last <= first || shownWidth <= 0)
        return;
    painter.scale(s, s);
    const QRect target(0, first, shownWidth, last - first);
    if (live) {
        // Wraps the paper's own rows: read-only, nothing is copied.
        const QImage rows(live->row(first), shownWidth, last - first, shownWidth, QImage::Format_Grayscale8);
        painter.drawImage(target, rows);
    } else {
        painter.drawImage(target, image, target);
    }
}
