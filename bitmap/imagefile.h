#pragma once

// Reading an image file for printing and describing it, free of the window.

#include "bitmap/pictureoptions.h"

#include <QImage>
#include <QString>

class QFileDialog;
class QIODevice;
class QImageReader;

namespace bitmap {

struct ImageFile
{
    QImage image;           // in the printable 1-bit form (monoimage.h); null when reading failed
    bool converted = false; // the file held more than 1 bit per pixel
    QString error;          // why reading failed: the image reader's own text
};

// Reads any format Qt's image reader knows (detected from the contents),
// applies the orientation stored in the file and brings the image to the
// printable 1-bit form, with the picture options applied (the defaults
// change nothing).
ImageFile readImageFile(const QString &fileName, const PictureOptions &options = {});

// The same for image bytes from an open device, read from its current
// position.
ImageFile readImage(QIODevice *device);

// The reading step of both: the picture as `reader` delivers it, with the
// orientation stored in the file applied, before the 1-bit form. Pixels the
// decoder never reaches (image data that ends early) are white, or colour 0
// of a colour table. Null when reading failed; reader.errorString() tells
// why.
QImage readPicture(QImageReader &reader);

// The console's description of a loaded (1-bit) image: path with native
// separators, width, height, colour depth and size in bytes.
QString loadReport(const QString &fileName, const QImage &image);

// Prepares the "Open File" dialog: the start folder on the first dialog of
// a run only (the last picture folder of the platform, else the current
// folder), and every image type the reader supports as a MIME filter,
// sorted, with "image/bmp" selected.
void prepareOpenDialog(QFileDialog &dialog, bool firstDialog);

} // namespace bitmap
