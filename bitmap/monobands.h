#pragma once

// The 1-bit picture made from bands of rows, top to bottom: what
// printablePicture (pictureoptions.h) makes of a whole picture, dot for
// dot, while only a band, the error that diffusion carries to the next row
// and the rows that scaling still needs are held besides the result.

#include "bitmap/pictureoptions.h"
#include "bitmap/rowscaler.h"

#include <QImage>

#include <memory>
#include <vector>

namespace bitmap {

class MonoBands
{
public:
    // For a picture of `source` pixels. isNull() when the result does not
    // fit in memory.
    MonoBands(QSize source, const PictureOptions &options);

    // The printed size: the source's, or fitted to the paper.
    static QSize resultSize(QSize source, const PictureOptions &options);

    bool isNull() const { return mono.isNull(); }

    // The next rows of the picture, any format; every band of one picture
    // in the same format and colour table. False when memory ran out.
    bool addBand(const QImage &band);

    // The picture in the one 1-bit form, once every row was added.
    const QImage &result() const { return mono; }

    // The rows of `picture` from `first`, `count` of them, as an image that
    // borrows its pixels (no copy).
    static QImage rowsOf(const QImage &picture, int first, int count);
    // How many rows of `width` pixels make a band of about a million pixels.
    static int bandRows(int width);

private:
    void addPaperRow(const QRgb *row);
    void diffuse(const QRgb *row, uchar *out);
    void finishRow(uchar *out);

    PictureOptions options;
    QImage mono;
    int nextRow = 0;
    bool keepBits = false;             // a 1-bit picture as it is (normalisedMono)
    std::unique_ptr<RowScaler> scaler; // Fit to width
    std::vector<int> errors;           // diffusion: the error carried to the next row
};

} // namespace bitmap
