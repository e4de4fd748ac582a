#pragma once
// Pages as PNG, written for speed. A page uses few grey levels (white paper,
// the ink of one or two darkness settings), so it is stored as a palette of
// those levels in 1, 2 or 4 bits per dot: a fraction of the bytes to
// compress. Rows are stored unfiltered and compressed with zlib's run-length
// strategy, many times faster than the adaptive filters an image library
// tries on every row, for files that stay small.

#include <QByteArray>
#include <QImage>

namespace kvp {

// A Format_Grayscale8 page as PNG: a palette PNG of its levels when it has at
// most 16, 8-bit greyscale otherwise. An empty array when libpng fails.
QByteArray encodePagePng(const QImage &page);

} // namespace kvp
