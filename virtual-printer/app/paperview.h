#pragma once
// The paper as a widget: paints only the rows in view, straight from the
// live page's dot rows or from a page read back from its file, at one of
// three zooms. Following the live page invalidates only the rows added
// since the last look, so a tick costs the same on a long page as on a short one.

#include <QImage>
#include <QWidget>

#include <cstdint>

namespace kvp {
class Paper;
}

class PaperView : public QWidget
{
    Q_OBJECT
public:
    enum class Zoom { FitWidth, Actual, Double };

    explicit PaperView(QWidget *parent = nullptr);

    // Shows the printer's current page as it grows (see followPaper()).
    void showLive(const kvp::Paper *paper);
    // Shows a finished page; an image that failed to load shows nothing.
    void showImage(const QImage &page);
    bool isLive() const { return live != nullptr; }

    void setZoom(Zoom mode);
    Zoom zoom() const { return zoomMode; }
    // The width available in the scroll area, for FitWidth.
    void setAvailableWidth(int width);
    double scale() const;
    int paperWidth() const;
    int paperRows() const { return shownRows; }

    // Takes in what the live page printed since the last call; returns true
    // when rows were added.
    bool followPaper();
    // Rows scheduled for painting since the widget was made (for tests).
    uint64_t rowsInvalidated() const { return invalidated; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void resizeToPaper();
    void invalidateAll();

    const kvp::Paper *live = nullptr;
    QImage image;
    Zoom zoomMode = Zoom::Actual; // dot for dot, as the page files are
    int availableWidth = 0;
    int shownRows = 0;
    int shownWidth = 0;
    int pagesSeen = 0;
    uint64_t invalidated = 0;
};
