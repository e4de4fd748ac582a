#include "bitmap/imagefile.h"

#include "bitmap/monoimage.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QImageReader>
#include <QStandardPaths>

namespace bitmap {

ImageFile readImageFile(const QString &fileName)
{
    ImageFile file;
    QImageReader reader(fileName);
    reader.setAutoTransform(true);
    const QImage read = reader.read();
    if (read.isNull()) {
        file.error = reader.errorString();
        return file;
    }
    file.converted = read.depth() > 1;
    file.image = toPrintableMono(read);
    if (file.image.isNull())
        file.error = QCoreApplication::translate("MainWindow", "Not enough memory to convert the image");
    return file;
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
