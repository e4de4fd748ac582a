#include "imagepath.h"

#include "bitmap/monoimage.h"
#include "bitmap/printjob.h"

#include <QBuffer>
#include <QImageReader>

namespace imagepath {

namespace {

// The check's own idea of a colour on paper: transparency over white.
int paperLightness(QRgb c)
{
    const int a = qAlpha(c);
    auto mix = [a](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
    return qGray(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)));
}

bool bitAt(const uchar *row, int x) { return (row[x >> 3] >> (7 - (x & 7))) & 1; }

QString at(int x, int y) { return QStringLiteral(" at (%1, %2)").arg(x).arg(y); }

// Pixel by pixel, the checks look at every row of a picture of up to about
// a million pixels, and at evenly spread rows (the last one included) of a
// larger one: a 1-bit picture within the allocation limit can hold a hundred
// million pixels, and checking them all would take the fuzzer's time limit.
int rowStep(const QImage &image)
{
    const qint64 pixels = qint64(image.width()) * image.height();
    return int(qMax<qint64>(1, (pixels + (1 << 20) - 1) >> 20));
}

bool checkedRow(int y, int step, int height) { return y % step == 0 || y == height - 1; }

// The 1-bit form and its relation to the picture in the file.
QString checkForm(const QImage &source, const bitmap::ImageFile &file)
{
    const QImage &mono = file.image;
    if (mono.format() != QImage::Format_Mono)
        return QStringLiteral("stored image is not Format_Mono but %1").arg(int(mono.format()));
    if (mono.size() != source.size())
        return QStringLiteral("stored image is %1 x %2, the file's %3 x %4")
            .arg(mono.width())
            .arg(mono.height())
            .arg(source.width())
            .arg(source.height());
    if (mono.colorCount() != 2)
        return QStringLiteral("stored image has %1 colours").arg(mono.colorCount());
    if (qAlpha(mono.color(0)) != 255 || qAlpha(mono.color(1)) != 255)
        return QStringLiteral("stored image has a transparent colour");
    const int light0 = qGray(mono.color(0));
    const int light1 = qGray(mono.color(1));
    if (light1 > light0)
        return QStringLiteral("bit 1 is the lighter colour (%1 against %2)").arg(light1).arg(light0);
    if (file.converted != (source.depth() > 1))
        return QStringLiteral("converted flag %1 for a file of depth %2").arg(file.converted).arg(source.depth());

    // The picture as shown, converted a band of rows at a time (of about a
    // million pixels, or one row when most rows are skipped), so that a
    // large picture needs no second copy at 4 bytes a pixel.
    const int step = rowStep(mono);
    const int bandRows = step > 8 ? 1 : qMax(1, (1 << 20) / mono.width());
    QImage shown;
    int bandStart = 0;
    for (int y = 0; y < mono.height(); ++y) {
        if (!checkedRow(y, step, mono.height()))
            continue;
        if (shown.isNull() || y >= bandStart + shown.height()) {
            bandStart = y;
            shown = source.copy(0, y, source.width(), qMin(bandRows, source.height() - y))
                        .convertToFormat(QImage::Format_ARGB32);
            if (shown.isNull())
                return QStringLiteral("the check ran out of memory");
        }
        const uchar *bits = mono.constScanLine(y);
        const auto *pixels = reinterpret_cast<const QRgb *>(shown.constScanLine(y - bandStart));
        for (int x = 0; x < mono.width(); ++x) {
            const bool bit = bitAt(bits, x);
            if (light0 == light1 && bit != (light0 < 128))
                return QStringLiteral("one-shade image of lightness %1 has bit %2").arg(light0).arg(bit) + at(x, y);
            const int onPaper = paperLightness(pixels[x]);
            if (source.depth() <= 1) {
                // A 1-bit file is kept as it is shown, only flattened on white.
                const int kept = bit ? light1 : light0;
                if (kept != onPaper)
                    return QStringLiteral("pixel shown with lightness %1 is kept as %2").arg(onPaper).arg(kept)
                        + at(x, y);
            } else if ((onPaper == 255 && bit) || (onPaper == 0 && !bit)) {
                // Dithering spreads the error of mid tones, but white paper
                // never gets a dot and solid black never loses one.
                return QStringLiteral("pixel of lightness %1 became bit %2").arg(onPaper).arg(bit) + at(x, y);
            }
        }
    }
    return {};
}

// The raster rows: one per pixel row, a 1 for each dark pixel, nothing in
// the padding.
QString checkRows(const QImage &mono, const QByteArray &rows)
{
    const int bytesPerLine = int(mono.bytesPerLine());
    if (rows.size() != qsizetype(bytesPerLine) * mono.height())
        return QStringLiteral("raster block of %1 bytes for %2 rows of %3")
            .arg(rows.size())
            .arg(mono.height())
            .arg(bytesPerLine);
    const int step = rowStep(mono);
    for (int y = 0; y < mono.height(); ++y) {
        const auto *row = reinterpret_cast<const uchar *>(rows.constData()) + qsizetype(y) * bytesPerLine;
        const uchar *bits = mono.constScanLine(y);
        // Every row's padding; all its pixels on the rows checked.
        const int from = checkedRow(y, step, mono.height()) ? 0 : mono.width();
        for (int x = from; x < bytesPerLine * 8; ++x) {
            const bool expected = x < mono.width() && bitAt(bits, x);
            if (bitAt(row, x) != expected)
                return QStringLiteral("raster bit %1 where %2 belongs").arg(bitAt(row, x)).arg(expected) + at(x, y);
        }
    }
    return {};
}

// The bytes sent: 1B 40, then raster commands 1D 76 30 00 with the row
// length and a row count of at most 65535 each, whose blocks together are
// the rows in order.
QString checkSent(const QByteArray &sent, const QByteArray &rows, int bytesPerLine)
{
    if (!sent.startsWith("\x1b\x40"))
        return QStringLiteral("printing does not start with 1B 40");
    const auto *p = reinterpret_cast<const uchar *>(sent.constData());
    qsizetype pos = 2;
    qsizetype rowBytesSeen = 0;
    int commands = 0;
    while (pos < sent.size()) {
        if (sent.size() - pos < 8 || p[pos] != 0x1D || p[pos + 1] != 0x76 || p[pos + 2] != 0x30 || p[pos + 3] != 0)
            return QStringLiteral("no raster command header at byte %1").arg(pos);
        const int width = p[pos + 4] | (p[pos + 5] << 8);
        const int height = p[pos + 6] | (p[pos + 7] << 8);
        if (width != bytesPerLine)
            return QStringLiteral("raster command %1 bytes wide, rows are %2").arg(width).arg(bytesPerLine);
        if (height == 0)
            return QStringLiteral("raster command of no rows at byte %1").arg(pos);
        const qsizetype block = qsizetype(width) * height;
        pos += 8;
        if (sent.size() - pos < block)
            return QStringLiteral("raster block cut short at byte %1").arg(pos);
        if (sent.mid(pos, block) != rows.mid(rowBytesSeen, block))
            return QStringLiteral("raster block of command %1 is not the rows in order").arg(commands);
        pos += block;
        rowBytesSeen += block;
        ++commands;
    }
    if (rowBytesSeen != rows.size())
        return QStringLiteral("raster blocks add up to %1 bytes, the rows are %2").arg(rowBytesSeen).arg(rows.size());
    if (commands != (rows.size() / bytesPerLine + bitmap::maxRowsPerCommand - 1) / bitmap::maxRowsPerCommand)
        return QStringLiteral("%1 raster commands for %2 rows").arg(commands).arg(rows.size() / bytesPerLine);
    return {};
}

} // namespace

Result run(const QByteArray &bytes)
{
    Result result;

    // The reading step alone, to know what the file shows.
    {
        QBuffer buffer;
        buffer.setData(bytes);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        result.readerFormat = reader.format();
        result.source = bitmap::readPicture(reader);
        result.readerError = int(reader.error());
        result.consumed = buffer.pos();
    }

    // The program's whole reading.
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    result.file = bitmap::readImage(&buffer);

    const QImage &mono = result.file.image;
    if (result.source.isNull()) {
        if (!mono.isNull())
            result.fault = QStringLiteral("the program read an image where the reader found none");
        else if (result.file.error.isEmpty())
            result.fault = QStringLiteral("reading failed without a reason");
        return result;
    }
    if (mono.isNull()) {
        result.fault = QStringLiteral("a %1 x %2 image of depth %3 was not loaded: %4")
                           .arg(result.source.width())
                           .arg(result.source.height())
                           .arg(result.source.depth())
                           .arg(result.file.error);
        return result;
    }

    result.fault = checkForm(result.source, result.file);
    if (!result.fault.isEmpty())
        return result;

    const QByteArray rows = bitmap::rasterRows(mono);
    result.fault = checkRows(mono, rows);
    if (!result.fault.isEmpty())
        return result;

    // What the print button does with the stored image (one rule for both):
    // refuse it when it is wider than the head, else reset the controller
    // and send the rows.
    const bitmap::PrintJob job = bitmap::printJob(mono);
    if (job.refusal != bitmap::PrintJob::Refusal::None)
        return result;
    for (const printer::Command &command : job.commands)
        result.sent += command.bytes();
    result.fault = checkSent(result.sent, rows, int(mono.bytesPerLine()));
    return result;
}

} // namespace imagepath
