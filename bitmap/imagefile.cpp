#include "bitmap/imagefile.h"

#include "bitmap/monoimage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QImageReader>
#include <QStandardPaths>

#include <limits>

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

ImageFile readWith(QImageReader &reader, const PictureOptions &options = {})
{
    ImageFile file;
    const QImage read = readPicture(reader);
    if (read.isNull()) {
        file.error = reader.errorString();
        return file;
    }
    file.converted = read.depth() > 1;
    file.image = printablePicture(read, options);
    if (file.image.isNull())
        file.error = QCoreApplication::translate("MainWindow", "Not enough memory to convert the image");
    return file;
}

} // namespace

QImage readPicture(QImageReader &reader)
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

ImageFile readImageFile(const QString &fileName, const PictureOptions &options)
{
    QImageReader reader(fileName);
    return readWith(reader, options);
}

ImageFile readImage(QIODevice *device)
{
    QImageReader reader(device);
    return readWith(reader);
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
    dialog.selectMimeTypeFilter(QStringLiteral("image/bmp"));
}

} // namespace bitmap
