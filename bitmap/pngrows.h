#pragma once

// A PNG file read a band of rows at a time with libpng, in the pixel format,
// colour table and values that Qt's own PNG reader gives the whole picture
// (the same libpng transforms), so that a picture too big for Qt's reader
// still converts dot for dot as a small one does. Palette indices past the
// palette are white, as readPicture makes them.

#include <QImage>

#include <memory>

class QIODevice;

namespace bitmap {

class PngRows
{
public:
    // Reads the header from `device` (at its current position), which must
    // outlive this reader.
    explicit PngRows(QIODevice *device);
    ~PngRows();
    PngRows(const PngRows &) = delete;
    PngRows &operator=(const PngRows &) = delete;

    // The header was read and the rows can come a band at a time (an
    // interlaced file's rows cannot).
    bool isValid() const;
    QSize size() const;

    // The next `count` rows (fewer at the bottom); null when the data is
    // damaged or ends early.
    QImage readRows(int count);
    // Reads what follows the last row; false when that part is damaged.
    bool finish();

    struct Png; // libpng's state, and what the reading callback needs

private:
    std::unique_ptr<Png> png;
};

} // namespace bitmap
