#pragma once

// Smooth scaling a row at a time: the arithmetic of Qt's smooth scaling of
// an opaque 32-bit image (QImage::scaled with Qt::SmoothTransformation),
// fed the source rows top to bottom and holding only the few that the next
// scaled row needs, so that a huge picture is fitted to the paper without
// a 32-bit copy of all of it.

#include <QRgb>
#include <QSize>

#include <deque>
#include <functional>
#include <vector>

namespace bitmap {

class RowScaler
{
public:
    // Scales pictures of `source` pixels to `target` (both at least 1 x 1).
    RowScaler(QSize source, QSize target);

    // Takes the next source row (source.width() opaque pixels) and hands
    // every scaled row it completes to `out`, top to bottom.
    void addRow(const QRgb *row, const std::function<void(const QRgb *)> &out);

    // The source rows held now (a memory figure for the tests).
    int rowsHeld() const { return int(held.size()); }

private:
    // The last source row that target row `y` reads.
    int lastRowOf(int y) const;
    void scaleRow(int y, QRgb *out) const;
    // One held row, as the scaling reads it: whole when the width grows,
    // else already summed over each target pixel's source pixels.
    std::vector<QRgb> reduce(const QRgb *row) const;
    const QRgb *rowAt(int sourceRow) const { return held[size_t(sourceRow - firstHeld)].data(); }

    QSize from, to;
    bool upX = false, upY = false;
    std::vector<int> xPoints, xWeights, yPoints, yWeights;
    std::deque<std::vector<QRgb>> held; // source rows firstHeld, firstHeld + 1, ...
    int firstHeld = 0;
    int rowsIn = 0;
    int rowsOut = 0;
};

} // namespace bitmap
