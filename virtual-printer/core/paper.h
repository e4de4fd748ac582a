#pragma once
// The paper: dot rows in grey levels (255 blank paper, 0 full black) that
// grow as the controller prints, cut into pages at cuts, label marks, after
// silence, or when a page reaches its maximum length.

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace kvp {

struct Page
{
    QImage image; // Format_Grayscale8, one byte per dot
    int number = 0;
    QString reason;
};

// Page buffers come back here once their page is written (on whichever
// thread lets the page go), so the next page grows into memory that is
// already mapped instead of faulting in fresh memory for every page.
class RowPool
{
public:
    std::vector<uint8_t> take();
    void give(std::vector<uint8_t> rows);

private:
    // Enough for the pages of one engine slice, which are all let go
    // together when the slice ends.
    static constexpr size_t spareBytesKept = size_t(32) << 20;
    std::mutex lock;
    std::vector<std::vector<uint8_t>> spare;
    size_t spareBytes = 0;
};

class Paper
{
public:
    Paper(int width, int maxPageDots);

    int width() const { return widthDots; }
    // A new width ends the current page.
    void setWidth(int width);
    int maxPageDots() const { return maxDots; }

    // Appends blank rows and returns a pointer to the first; pending feed
    // becomes blank paper first. The pointer is valid until the next call.
    // At most maxPageDots() rows come at once (a page ends first when they
    // do not fit); anything taller is asked for in bands.
    uint8_t *addRows(int count);
    // Tells the paper that something was actually printed on the current page.
    void markInk() { ink = true; }
    // Blank paper feed; it becomes rows lazily, when something follows.
    void feed(int dots);

    bool hasInk() const { return ink; }
    int rows() const { return rowCount; }
    // Ends the page. A page that carries no ink is dropped. Returns true if a
    // page was delivered.
    bool endPage(const QString &reason);
    int pagesDelivered() const { return delivered; }
    // Rows made since the start, a measure of the work the input asked for.
    uint64_t rowsMade() const { return rowsTotal; }

    // The current page so far (for the window).
    QImage snapshot() const;
    // Dot row y (0 <= y < rows()) of the current page, width() bytes; valid
    // until the paper next grows. Lets the window paint without copying.
    const uint8_t *row(int y) const { return pixels.data() + static_cast<size_t>(y) * widthDots; }
    uint64_t revision() const { return revisionNumber; }

    std::function<void(const Page &)> onPage;

private:
    void materializeFeed();
    void startRows();

    int widthDots;
    int maxDots;
    std::vector<uint8_t> pixels;
    int rowCount = 0;
    int pendingFeed = 0;
    bool ink = false;
    int delivered = 0;
    uint64_t revisionNumber = 0;
    uint64_t rowsTotal = 0;
    size_t lastPageBytes = 0;
    std::shared_ptr<RowPool> pool = std::make_shared<RowPool>();
};

} // namespace kvp
