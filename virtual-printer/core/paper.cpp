#include "paper.h"

#include <algorithm>
#include <cstring>

namespace kvp {

std::vector<uint8_t> RowPool::take()
{
    const std::lock_guard<std::mutex> guard(lock);
    if (spare.empty())
        return {};
    std::vector<uint8_t> rows = std::move(spare.back());
    spare.pop_back();
    spareBytes -= rows.capacity();
    rows.clear();
    return rows;
}

void RowPool::give(std::vector<uint8_t> rows)
{
    const std::lock_guard<std::mutex> guard(lock);
    if (spareBytes + rows.capacity() > spareBytesKept)
        return;
    spareBytes += rows.capacity();
    spare.push_back(std::move(rows));
}

namespace {
// A page's rows with the pool they return to when the page is let go.
struct PageRows
{
    std::shared_ptr<RowPool> pool;
    std::vector<uint8_t> rows;
};

void returnRows(void *info)
{
    auto *held = static_cast<PageRows *>(info);
    held->pool->give(std::move(held->rows));
    delete held;
}
} // namespace

Paper::Paper(int width, int maxPageDots)
    : widthDots(std::max(8, width))
    , maxDots(std::max(256, maxPageDots))
{ }

void Paper::setWidth(int width)
{
    width = std::max(8, width);
    if (width == widthDots)
        return;
    endPage(QStringLiteral("paper width changed"));
    widthDots = width;
    pixels.clear();
    rowCount = 0;
    pendingFeed = 0;
}

void Paper::materializeFeed()
{
    if (pendingFeed <= 0)
        return;
    int count = std::min(pendingFeed, maxDots - rowCount);
    pendingFeed = 0;
    if (count <= 0)
        return;
    startRows();
    pixels.resize(static_cast<size_t>(rowCount + count) * widthDots, 255);
    rowCount += count;
    rowsTotal += static_cast<uint64_t>(count);
}

uint8_t *Paper::addRows(int count)
{
    count = std::max(0, std::min(count, maxDots));
    materializeFeed();
    if (rowCount + count > maxDots)
        endPage(QStringLiteral("maximum page length")); // starts an empty page
    const size_t start = static_cast<size_t>(rowCount) * widthDots;
    startRows();
    pixels.resize(start + static_cast<size_t>(count) * widthDots, 255);
    rowCount += count;
    rowsTotal += static_cast<uint64_t>(count);
    ++revisionNumber;
    return pixels.data() + start;
}

void Paper::startRows()
{
    if (!pixels.empty())
        return;
    if (pixels.capacity() == 0)
        pixels = pool->take();
    pixels.reserve(lastPageBytes); // pages tend to be alike: grow without copies
}

void Paper::feed(int dots)
{
    if (dots <= 0)
        return;
    pendingFeed = std::min(pendingFeed + dots, maxDots);
    ++revisionNumber;
}

bool Paper::endPage(const QString &reason)
{
    const bool deliver = ink;
    if (deliver) {
        materializeFeed();
        Page page;
        page.number = ++delivered;
        page.reason = reason;
        // The page takes the rows over instead of copying them.
        lastPageBytes = static_cast<size_t>(rowCount) * widthDots;
        auto *held = new PageRows{pool, std::move(pixels)};
        held->rows.resize(static_cast<size_t>(rowCount) * widthDots, 255);
        page.image =
            QImage(held->rows.data(), widthDots, rowCount, widthDots, QImage::Format_Grayscale8, returnRows, held);
        if (onPage)
            onPage(page);
    }
    pixels = std::vector<uint8_t>();
    rowCount = 0;
    pendingFeed = 0;
    ink = false;
    ++revisionNumber;
    return deliver;
}

QImage Paper::snapshot() const
{
    QImage image(widthDots, rowCount + pendingFeed, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < rowCount; ++y)
        std::memcpy(image.scanLine(y), pixels.data() + static_cast<size_t>(y) * widthDots,
                    static_cast<size_t>(widthDots));
    return image;
}

} // namespace kvp
