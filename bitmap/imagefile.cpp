#include "bitmap/imagefile.h"

#include "bitmap/monobands.h"
#include "bitmap/monoimage.h"
#include "bitmap/pngrows.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QStandardPaths>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <tuple>

namespace bitmap {

namespace {

// True when an image of this size and format stays within the reader's
// allocation limit (0: no limit), counted as Qt counts it.
bool withinAllocationLimit(QSize size, QImage::Format format)
{
    const int depth = QImage::toPixelFormat(format).bitsPerPixel();
    if (size.isEmpty() || depth <= 0)
        return false;
    const qint64 limit = qint64(QImageReader::allocationLimit()) << 20;
    const qint64 bytesPerLine = (qint64(size.width()) * depth + 31) / 32 * 4;
    return limit == 0 || bytesPerLine * size.height() <= limit;
}

// The largest 1-bit picture a file may give: with the bands on the way it
// keeps a load within about 300 MB.
constexpr qint64 largestMonoBytes = qint64(240) << 20;

// A device whose reads fail once the read is cancelled: a decoder of Qt's
// stops at its next read, as at the end of a file cut short.
template<typename Device>
class Cancellable : public Device
{
public:
    using Device::Device;
    const CancelFlag *cancel = nullptr;

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        return cancel && *cancel ? -1 : Device::readData(data, maxSize);
    }
};

bool cancelled(const CancelFlag *cancel) { return cancel && *cancel; }

QString unreadable() { return QCoreApplication::translate("QImageReader", "Unable to read image data"); }

// A PNG read and converted a band of rows at a time, to the same dots as
// Qt's reader and printablePicture give: no copy of the whole picture but
// the 1-bit one, whatever its size. Null when it cannot be read so (an
// interlaced file, a damaged header).
std::optional<ImageFile> readPngInBands(QIODevice *device, const PictureOptions &options, const CancelFlag *cancel)
{
    PngRows png(device);
    if (!png.isValid())
        return std::nullopt;
    ImageFile file;
    const QSize size = MonoBands::resultSize(png.size(), options);
    const qint64 bytes = qint64(size.width() + 31) / 32 * 4 * size.height();
    if (bytes > largestMonoBytes) {
        file.error = QCoreApplication::translate("MainWindow",
                                                 "The picture is too big: %1 x %2 dots take %3 MB at 1 bit per dot, "
                                                 "more than the %4 MB a picture may take")
                         .arg(size.width())
                         .arg(size.height())
                         .arg((bytes + (1 << 20) - 1) >> 20)
                         .arg(largestMonoBytes >> 20);
        return file;
    }
    MonoBands bands(png.size(), options);
    if (bands.isNull()) {
        file.error = QCoreApplication::translate("MainWindow", "Not enough memory to convert the image");
        return file;
    }
    const int rows = MonoBands::bandRows(png.size().width());
    for (int y = 0; y < png.size().height() && !cancelled(cancel); y += rows) {
        const QImage band = png.readRows(rows);
        file.converted = band.depth() > 1;
        if (!bands.addBand(band)) {
            file.error = unreadable(); // as Qt's reader says of a damaged PNG
            return file;
        }
    }
    if (!cancelled(cancel) && !png.finish())
        file.error = unreadable();
    else
        file.image = bands.result();
    return file;
}

// A file read a band of rows at a time: a PNG on a device that can go back
// (if its rows cannot come in bands, Qt's reader reads it from the start).
bool readsInBands(QImageReader &reader)
{
    const QIODevice *device = reader.device();
    return device && !device->isSequential() && reader.format() == "png";
}

ImageFile readWith(QImageReader &reader, const PictureOptions &options, const CancelFlag *cancel)
{
    QIODevice *device = reader.device();
    const qint64 start = device && device->isOpen() ? device->pos() : 0;
    std::optional<ImageFile> file;
    if (readsInBands(reader)) {
        file = readPngInBands(device, options, cancel);
        if (!file && !device->seek(start)) {
            file = ImageFile();
            file->error = unreadable();
        }
    }
    if (!file) {
        file = ImageFile();
        const QImage read = readPicture(reader, &file->missing, cancel);
        if (read.isNull()) {
            file->error = reader.errorString();
        } else {
            file->converted = read.depth() > 1;
            file->image = printablePicture(read, options, cancel);
            if (file->image.isNull())
                file->error = QCoreApplication::translate("MainWindow", "Not enough memory to convert the image");
        }
    }
    if (cancelled(cancel)) {
        file = ImageFile();
        file->cancelled = true;
        file->error = QCoreApplication::translate("MainWindow", "Reading was cancelled");
    }
    return *file;
}

// The reading step proper (readPicture), for the file as it is and for the
// same bytes changed.
QImage decode(QImageReader &reader)
{
    reader.setAutoTransform(true);
    // Some decoders leave the pixels they never reach as the memory held
    // them: a run-length coded BMP whose data ends early, for one, would
    // print different dots on every load. Handed a cleared image of the size
    // and format the file announces, the reader decodes into it, so those
    // pixels are white paper, or colour 0 of a colour table. (Past the
    // allocation limit nothing is made here, and the reader refuses the file
    // as before.)
    QImage picture;
    QSize size = reader.size();
    // A BMP stored top row first announces its height as negative.
    if (size.height() < 0 && size.height() > std::numeric_limits<int>::min())
        size.setHeight(-size.height());
    // The format is asked only of a file whose header gave a size, and then
    // still checked: a JPEG reader that could not read the header answers
    // with whatever its memory held.
    const int format = size.isEmpty() ? QImage::Format_Invalid : int(reader.imageFormat());
    if (format > QImage::Format_Invalid && format < QImage::NImageFormats
        && withinAllocationLimit(size, QImage::Format(format))) {
        picture = QImage(size, QImage::Format(format));
        if (format == QImage::Format_Mono || format == QImage::Format_MonoLSB || format == QImage::Format_Indexed8)
            picture.fill(0u);
        else
            picture.fill(Qt::white);
    }
    if (!reader.read(&picture))
        return {};
    return picture;
}

QImage decodeBytes(const QByteArray &bytes, const QByteArray &format, const CancelFlag *cancel)
{
    Cancellable<QBuffer> buffer;
    buffer.cancel = cancel;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    return decode(reader);
}

QByteArray bigEndian(quint32 value)
{
    char bytes[4];
    qToBigEndian(value, bytes);
    return {bytes, 4};
}

// The CRC that ends a PNG chunk, over its type and data.
quint32 pngCrc(const QByteArray &typeAndData)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : typeAndData) {
        crc ^= uchar(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG with its palette grown to 256 colours, the added ones white; empty
// when it has no shorter palette. Qt's PNG reader turns every index past the
// palette into index 0, which may well be black; with the full palette the
// indices stay as the file has them.
QByteArray withFullPalette(const QByteArray &png)
{
    constexpr qsizetype signature = 8, frame = 12, fullPalette = 768; // 256 colours of 3 bytes
    for (qsizetype pos = signature; pos + frame <= png.size();) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + pos);
        const QByteArray type = png.mid(pos + 4, 4);
        if (length > quint32(png.size() - pos - frame) || type == "IDAT")
            return {};
        if (type == "PLTE") {
            if (length % 3 != 0 || length >= fullPalette)
                return {};
            const QByteArray chunk = type + png.mid(pos + 8, length) + QByteArray(fullPalette - length, '\xFF');
            return png.left(pos) + bigEndian(fullPalette) + chunk + bigEndian(pngCrc(chunk))
                + png.mid(pos + frame + length);
        }
        pos += frame + length;
    }
    return {};
}

// The first pixel of row y where two pictures of one size and format
// differ (to the byte, for fewer bits a pixel); the width when none does.
int firstDifference(const QImage &a, const QImage &b, int y)
{
    const uchar *rowA = a.constScanLine(y);
    const uchar *rowB = b.constScanLine(y);
    const qint64 bits = qint64(a.width()) * a.depth();
    const qsizetype whole = qsizetype(bits / 8);
    const qsizetype at = std::mismatch(rowA, rowA + whole, rowB).first - rowA;
    if (at < whole)
        return int(at * 8 / a.depth());
    const int rest = int(bits % 8); // the pixels of a last byte that is not full, without its padding
    const uchar used = a.format() == QImage::Format_MonoLSB ? uchar((1 << rest) - 1) : uchar(0xFF << (8 - rest));
    return rest != 0 && ((rowA[whole] ^ rowB[whole]) & used) ? int(whole * 8 / a.depth()) : a.width();
}

// The first pixel, in the order the file stores them (row by row, from the
// top or from the bottom), that the data of a file cut short does not
// reach, as that order's index; -1 for a whole file. Decoders fill what they
// do not reach in their own way (a JPEG mid grey, a GIF its background) and
// report success. Decoded again with bytes added at the end, the picture
// changes first where the data ends. (A whole file is not read past its end.)
qint64 firstUnreachedPixel(const QImage &picture, const QByteArray &bytes, const QByteArray &format,
                           bool bottomRowFirst, const CancelFlag *cancel)
{
    const int width = picture.width();
    qint64 first = -1;
    for (const char tail : {'\x01', '\x55'}) {
        QImage changed = decodeBytes(bytes + QByteArray(256, tail), format, cancel);
        if (changed.size() != picture.size())
            continue;
        if (changed.format() != picture.format() || changed.colorTable() != picture.colorTable())
            changed = changed.convertToFormat(picture.format(), picture.colorTable());
        const int rows = first < 0 ? picture.height() : int(first / width) + 1;
        for (int row = 0; row < rows; ++row) {
            const int x = firstDifference(picture, changed, bottomRowFirst ? picture.height() - 1 - row : row);
            if (x < width) {
                const qint64 pixel = qint64(row) * width + x;
                first = first < 0 ? pixel : std::min(first, pixel);
                break;
            }
        }
        if (first < 0)
            break; // the first tail changed nothing: the file is whole
    }
    return first;
}

// Copies the pixels x0 to x1 (excluded) of one row from `source`, a row of
// the same format, byte by byte where whole bytes allow.
void copyPixels(uchar *row, const uchar *source, int x0, int x1, int depth, bool lsbFirst)
{
    if (depth >= 8) {
        const size_t bytes = size_t(depth / 8);
        std::memcpy(row + size_t(x0) * bytes, source + size_t(x0) * bytes, size_t(x1 - x0) * bytes);
        return;
    }
    for (int x = x0; x < x1;) {
        if (x % 8 == 0 && x + 8 <= x1) {
            row[x / 8] = source[x / 8];
            x += 8;
            continue;
        }
        const uchar bit = lsbFirst ? uchar(1u << (x % 8)) : uchar(0x80u >> (x % 8));
        row[x / 8] = uchar((row[x / 8] & ~bit) | (source[x / 8] & bit));
        ++x;
    }
}

// Makes the pixels from `from` to `to` (row by row, `to` excluded) white
// paper: in a picture with a colour table its lightest colour, after white
// was added to a table with room. One white row is made and copied, so a
// very wide picture costs bytes, not calls per pixel.
void paintWhite(QImage &picture, qint64 from, qint64 to)
{
    const bool indexed = picture.depth() <= 8 && picture.format() != QImage::Format_Grayscale8
        && picture.format() != QImage::Format_Alpha8;
    QImage white(picture.width(), 1, picture.format());
    if (white.isNull() || from >= to)
        return;
    if (indexed) {
        QList<QRgb> table = picture.colorTable();
        if (table.size() < (1 << picture.depth()))
            table.append(qRgb(255, 255, 255));
        picture.setColorTable(table);
        const auto lightest = std::max_element(
            table.cbegin(), table.cend(), [](QRgb a, QRgb b) { return lightnessOnPaper(a) < lightnessOnPaper(b); });
        white.setColorTable(table);
        white.fill(uint(lightest - table.cbegin()));
    } else {
        white.fill(Qt::white);
    }
    const qint64 width = picture.width();
    const bool lsbFirst = picture.format() == QImage::Format_MonoLSB;
    for (qint64 y = from / width; y * width < to && y < picture.height(); ++y) {
        const int x0 = int(std::max<qint64>(from - y * width, 0));
        const int x1 = int(std::min<qint64>(to - y * width, width));
        copyPixels(picture.scanLine(int(y)), white.constScanLine(0), x0, x1, picture.depth(), lsbFirst);
    }
}

// The bytes of the file the reader has read, when its device can give them
// again.
// True when the bytes end as a whole file of the format does (a JPEG with
// its end marker, a GIF with its trailer, a PNG with its end chunk): then
// nothing was cut off, and the check below, which decodes the file again,
// is spared. Other formats are always checked.
bool endsWhole(const QByteArray &bytes, const QByteArray &format)
{
    if (format == "jpeg" || format == "jpg")
        return bytes.endsWith("\xFF\xD9");
    if (format == "gif")
        return bytes.endsWith('\x3B');
    if (format == "png")
        return bytes.right(12).startsWith(QByteArray("\0\0\0\0IEND", 8));
    return false;
}

QByteArray bytesRead(QIODevice *device, qint64 start)
{
    if (!device || device->isSequential() || device->pos() < device->size() || !device->seek(start))
        return {};
    return device->readAll();
}

} // namespace

QImage readPicture(QImageReader &reader, MissingRows *missing, const CancelFlag *cancel)
{
    QIODevice *device = reader.device();
    const qint64 start = device && device->isOpen() ? device->pos() : 0;
    const QByteArray format = reader.format();
    // A BMP stores its rows bottom row first unless its height is negative.
    const bool bottomRowFirst = format == "bmp" && reader.size().height() > 0;
    QImage picture = decode(reader);
    // Only a reader that took every byte may have run out of them. (A file
    // name's reader owns its device, which is then still open.)
    QByteArray bytes = picture.isNull() ? QByteArray() : bytesRead(device, start);
    if (bytes.isEmpty())
        return picture;
    if (format == "png" && picture.format() == QImage::Format_Indexed8 && picture.colorCount() < 256) {
        const QByteArray fullBytes = withFullPalette(bytes);
        const QImage fullPalette = decodeBytes(fullBytes, format, cancel);
        if (fullPalette.size() == picture.size())
            std::tie(picture, bytes) = std::tie(fullPalette, fullBytes);
    }
    if (endsWhole(bytes, format) || cancelled(cancel))
        return picture;
    const qint64 first = firstUnreachedPixel(picture, bytes, format, bottomRowFirst, cancel);
    if (first < 0)
        return picture;
    // From that pixel on, the rest of its row and every row after it in the file.
    const qint64 width = picture.width();
    const int fileRow = int(first / width);
    MissingRows rows{fileRow, picture.height() - 1};
    if (bottomRowFirst) {
        const int y = picture.height() - 1 - fileRow;
        rows = {0, y};
        paintWhite(picture, 0, y * width);
        paintWhite(picture, y * width + first % width, (y + 1) * width);
    } else {
        paintWhite(picture, first, width * picture.height());
    }
    if (missing)
        *missing = rows;
    return picture;
}

ImageFile readImageFile(const QString &fileName, const PictureOptions &options, const CancelFlag *cancel)
{
    // Only a regular file: opening a FIFO waits for a writer and a device
    // may never end, and neither could be cancelled.
    if (const QFileInfo info(fileName); info.exists() && !info.isFile()) {
        ImageFile refused;
        refused.error = QCoreApplication::translate("bitmap", "it is no regular file (a folder, a device or a FIFO)");
        return refused;
    }
    // A file of Qt's own kind, so that the reader still tries the suffix's
    // format first.
    Cancellable<QFile> file(fileName);
    file.cancel = cancel;
    if (!file.open(QIODevice::ReadOnly)) {
        QImageReader reader(fileName); // for its own reason
        return readWith(reader, options, cancel);
    }
    QImageReader reader(&file);
    return readWith(reader, options, cancel);
}

ImageFile readImage(QIODevice *device, const PictureOptions &options, const CancelFlag *cancel)
{
    QImageReader reader(device);
    return readWith(reader, options, cancel);
}

QString loadReport(const QString &fileName, const QImage &image)
{
    // One substitution pass for all five values, so that a "%2" in a file
    // name stays as it is instead of taking the width.
    return QCoreApplication::translate("MainWindow",
                                       "Opened \"%1\"\nWidth: %2 pixel\nHeight: %3 pixel\nColor depth: %4\nBytes: %5\n")
        .arg(QDir::toNativeSeparators(fileName), QString::number(image.width()), QString::number(image.height()),
             QString::number(image.depth()), QString::number(image.sizeInBytes()));
}

QString loadReport(const QString &fileName, const ImageFile &file)
{
    QString report = loadReport(fileName, file.image);
    if (!file.missing.isEmpty())
        report += QCoreApplication::translate("MainWindow",
                                              "The file is damaged: its data ends early. Rows %1 to %2 of %3 are "
                                              "missing and print white.\n")
                      .arg(file.missing.first + 1)
                      .arg(file.missing.last + 1)
                      .arg(file.image.height());
    return report;
}

void prepareOpenDialog(QFileDialog &dialog, bool firstDialog)
{
    if (firstDialog) {
        const QStringList pictures = QStandardPaths::standardLocations(QStandardPaths::PicturesLocation);
        dialog.setDirectory(pictures.isEmpty() ? QDir::currentPath() : pictures.last());
    }
    QStringList mimeTypes;
    for (const QByteArray &mimeType : QImageReader::supportedMimeTypes())
        mimeTypes.append(QString::fromUtf8(mimeType));
    mimeTypes.sort(Qt::CaseSensitive);
    dialog.setMimeTypeFilters(mimeTypes);
    // First, one entry for every picture the reader takes.
    QStringList patterns;
    for (const QByteArray &suffix : QImageReader::supportedImageFormats())
        patterns.append(QStringLiteral("*.") + QString::fromLatin1(suffix));
    QStringList filters = dialog.nameFilters();
    filters.prepend(QCoreApplication::translate("MainWindow", "All images (%1)").arg(patterns.join(u' ')));
    dialog.setNameFilters(filters);
    dialog.selectMimeTypeFilter(QStringLiteral("image/bmp"));
}

} // namespace bitmap
