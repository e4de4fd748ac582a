#pragma once
// The paper: dot rows in grey levels (255 blank paper, 0 full black) that
// grow as the controller prints, cut into pages at cuts, label marks, after
// silence, or when a page reaches its maximum length.

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace kvp {

struct Page {
    QImage image; // Format_Grayscale8
    int number = 0;
    QString reason;
};

class Paper {
public:
    Paper(int width, int maxPageDots);

    int width() const { return m_width; }
    // A new width ends the current page.
    void setWidth(int width);
    int maxPageDots() const { return m_maxDots; }

    // Appends blank rows and returns a pointer to the first; pending feed
    // becomes blank paper first. The pointer is valid until the next call.
    std::uint8_t *addRows(int count);
    // Tells the paper that something was actually printed on the current page.
    void markInk() { m_ink = true; }
    // Blank paper feed; it becomes rows lazily, when something follows.
    void feed(int dots);

    bool hasInk() const { return m_ink; }
    int rows() const { return m_rows; }
    // Ends the page. A page that carries no ink is dropped. Returns true if a
    // page was delivered.
    bool endPage(const QString &reason);
    int pagesDelivered() const { return m_delivered; }

    // The current page so far (for the window).
    QImage snapshot() const;
    std::uint64_t revision() const { return m_revision; }

    std::function<void(const Page &)> onPage;

private:
    void materializeFeed();

    int m_width;
    int m_maxDots;
    std::vector<std::uint8_t> m_pixels;
    int m_rows = 0;
    int m_pendingFeed = 0;
    bool m_ink = false;
    int m_delivered = 0;
    std::uint64_t m_revision = 0;
};

} // namespace kvp
