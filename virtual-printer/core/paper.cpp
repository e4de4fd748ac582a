#include "paper.h"

#include <algorithm>
#include <cstring>

namespace kvp {

Paper::Paper(int width, int maxPageDots)
    : m_width(std::max(8, width))
    , m_maxDots(std::max(256, maxPageDots))
{
}

void Paper::setWidth(int width)
{
    width = std::max(8, width);
    if (width == m_width)
        return;
    endPage(QStringLiteral("paper width changed"));
    m_width = width;
    m_pixels.clear();
    m_rows = 0;
    m_pendingFeed = 0;
}

void Paper::materializeFeed()
{
    if (m_pendingFeed <= 0)
        return;
    int count = std::min(m_pendingFeed, m_maxDots - m_rows);
    m_pendingFeed = 0;
    if (count <= 0)
        return;
    m_pixels.resize(static_cast<size_t>(m_rows + count) * m_width, 255);
    m_rows += count;
}

std::uint8_t *Paper::addRows(int count)
{
    count = std::max(0, std::min(count, m_maxDots));
    materializeFeed();
    if (m_rows + count > m_maxDots)
        endPage(QStringLiteral("maximum page length")); // starts an empty page
    const size_t start = static_cast<size_t>(m_rows) * m_width;
    m_pixels.resize(start + static_cast<size_t>(count) * m_width, 255);
    m_rows += count;
    ++m_revision;
    return m_pixels.data() + start;
}

void Paper::feed(int dots)
{
    if (dots <= 0)
        return;
    m_pendingFeed = std::min(m_pendingFeed + dots, m_maxDots);
    ++m_revision;
}

bool Paper::endPage(const QString &reason)
{
    const bool deliver = m_ink;
    if (deliver) {
        materializeFeed();
        Page page;
        page.number = ++m_delivered;
        page.reason = reason;
        page.image = QImage(m_width, m_rows, QImage::Format_Grayscale8);
        for (int y = 0; y < m_rows; ++y)
            std::memcpy(page.image.scanLine(y), m_pixels.data() + static_cast<size_t>(y) * m_width, static_cast<size_t>(m_width));
        if (onPage)
            onPage(page);
    }
    m_pixels.clear();
    m_pixels.shrink_to_fit();
    m_rows = 0;
    m_pendingFeed = 0;
    m_ink = false;
    ++m_revision;
    return deliver;
}

QImage Paper::snapshot() const
{
    QImage image(m_width, m_rows + m_pendingFeed, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < m_rows; ++y)
        std::memcpy(image.scanLine(y), m_pixels.data() + static_cast<size_t>(y) * m_width, static_cast<size_t>(m_width));
    return image;
}

} // namespace kvp
