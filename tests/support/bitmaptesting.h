#pragma once

// Pictures for the bitmap tests and the tests' own reading of how a picture
// goes to the controller: 1 for a dark pixel, leftmost pixel in the most
// significant bit, rows of 4 x ceil(width / 32) bytes with 0 past the width.

#include <QByteArray>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QString>
#include <QTemporaryDir>

namespace bitmaptest {

// A pattern no row or column repeats in a simple way.
inline bool patternDark(int x, int y) { return ((x * 7 + y * 3) % 5 == 0) || (x == y) || (x % 13 == 3 && y % 2 == 0); }

// A 1-bit image of the pattern with the colour table (light, dark) unless
// `darkFirst` puts the dark colour at index 0. Every byte of the pixel
// buffer, padding included, starts as 0xFF or 0x00 so that leftovers show.
inline QImage patternImage(int width, int height, bool darkFirst = false, QImage::Format format = QImage::Format_Mono,
                           QRgb light = 0xFFFFFFFF, QRgb dark = 0xFF000000)
{
    QImage image(width, height, format);
    std::fill(image.bits(), image.bits() + image.sizeInBytes(), darkFirst ? uchar(0x00) : uchar(0xFF));
    image.setColorTable(darkFirst ? QList<QRgb>{dark, light} : QList<QRgb>{light, dark});
    const uint darkIndex = darkFirst ? 0 : 1;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, patternDark(x, y) ? darkIndex : 1 - darkIndex);
    return image;
}

inline int rowBytes(int width) { return 4 * ((width + 31) / 32); }

// The raster rows the controller should get for a picture whose pixel
// (x, y) is dark when `dark(x, y)`.
template<typename Dark>
QByteArray expectedRows(int width, int height, Dark dark)
{
    const int bytes = rowBytes(width);
    QByteArray rows(qsizetype(bytes) * height, '\0');
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (dark(x, y))
                rows[qsizetype(y) * bytes + x / 8] = char(rows[qsizetype(y) * bytes + x / 8] | (0x80 >> (x % 8)));
    return rows;
}

// The dots of a printed page (dark pixels) as raster rows `width` dots wide.
inline QByteArray pageRows(const QImage &page, int width)
{
    return expectedRows(width, page.height(),
                        [&page](int x, int y) { return x < page.width() && qGray(page.pixel(x, y)) < 128; });
}

// A photo-like colour picture: gradients and a few shapes.
inline QImage photoLike(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, QColor(30, 60, 160));
    sky.setColorAt(1, QColor(250, 220, 180));
    painter.fillRect(image.rect(), sky);
    QRadialGradient sun(width * 0.7, height * 0.3, height * 0.25);
    sun.setColorAt(0, Qt::white);
    sun.setColorAt(1, QColor(255, 200, 0, 0));
    painter.fillRect(image.rect(), sun);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(20, 90, 30));
    painter.drawEllipse(QPointF(width * 0.3, height * 1.1), width * 0.6, height * 0.45);
    return image;
}

// Writes `image` as `name` in `dir`; returns the path (empty on failure).
inline QString save(const QTemporaryDir &dir, const QString &name, const QImage &image, const char *format = nullptr)
{
    const QString path = dir.filePath(name);
    QImageWriter writer(path, format);
    return writer.write(image) ? path : QString();
}

inline QString saveBytes(const QTemporaryDir &dir, const QString &name, const QByteArray &bytes)
{
    QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return QString();
    return path;
}

} // namespace bitmaptest
