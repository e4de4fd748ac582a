#pragma once

// Reading an image file for printing and describing it, free of the window.

#include "bitmap/pictureoptions.h"

#include <QImage>
#include <QString>

class QFileDialog;
class QIODevice;
class QImageReader;

namespace bitmap {

// The rows of a picture that its file's data does not reach (a file cut
// short), from 0 at the top; they print white. Empty for a whole file.
struct MissingRows
{
    int first = 0;
    int last = -1;
    bool isEmpty() const { return last < first; }
};

struct ImageFile
{
    QImage image;           // in the printable 1-bit form (monoimage.h); null when reading failed
    bool converted = false; // the file held more than 1 bit per pixel
    QString error;          // why reading failed: the image reader's own text, or why the picture is refused
    MissingRows missing;    // rows the file's data does not reach
    bool cancelled = false; // the read was cancelled
};

// Reads any format Qt's image reader knows (detected from the contents),
// applies the orientation stored in the file and brings the image to the
// printable 1-bit form, with the picture options applied (the defaults
// change nothing). A PNG is read a band of rows at a time (pngrows.h), so
// that it is refused only when its 1-bit form is too big. Once
// `cancel` is set, the read stops at its next band or read from the file.
ImageFile readImageFile(const QString &fileName, const PictureOptions &options = {},
                        const CancelFlag *cancel = nullptr);

// The same for image bytes from an open device, read from its current
// position.
ImageFile readImage(QIODevice *device, const PictureOptions &options = {}, const CancelFlag *cancel = nullptr);

// The reading step of both: the picture as `reader` delivers it, with the
// orientation stored in the file applied, before the 1-bit form. Pixels the
// decoder never reaches (image data that ends early) are white; `missing`,
// when given, tells their rows. Palette indices past a PNG's palette are
// white too. Null when reading failed; reader.errorString() tells why.
QImage readPicture(QImageReader &reader, MissingRows *missing = nullptr, const CancelFlag *cancel = nullptr);

// The console's description of a loaded (1-bit) image: path with native
// separators, width, height, colour depth and size in bytes.
QString loadReport(const QString &fileName, const QImage &image);
// The same for a loaded file, with a line more when the file is damaged.
QString loadReport(const QString &fileName, const ImageFile &file);

// Prepares the "Open File" dialog: the start folder on the first dialog of
// a run only (the last picture folder of the platform, else the current
// folder), "All images" first, then every image type the reader supports
// as a MIME filter, sorted, with "image/bmp" selected.
void prepareOpenDialog(QFileDialog &dialog, bool firstDialog);

} // namespace bitmap
