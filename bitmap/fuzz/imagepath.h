#pragma once

// The image path as one call, for the fuzzer and for the test that replays
// its findings: file bytes through the program's reading and 1-bit form to
// the bytes the "Print Raster Image" button would send, checking on the way
// the rules that a loaded picture must keep.

#include "bitmap/imagefile.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace imagepath {

// Qt's image allocation limit, in megabytes, that the fuzzer reads under:
// low, so that a tiny file announcing a giant picture costs little. The
// replaying test sets the same limit.
constexpr int allocationLimitMb = 16;

struct Result
{
    QImage source;           // the file's picture before the 1-bit form (bitmap::readPicture); null when reading failed
    QByteArray readerFormat; // the format the reader detected (empty when none)
    int readerError = 0;     // QImageReader::ImageReaderError of that reading
    qint64 consumed = 0;     // bytes the reader took from the file
    bitmap::ImageFile file;  // what the program keeps after loading
    QByteArray sent;         // what printing it sends; empty when the program refuses (too wide, nothing loaded)
    QString fault;           // the first rule found broken; empty when all held
};

// Runs `bytes` through the whole path. The bytes are read in place, not
// copied, so a reader that strays past their end is seen by the address
// sanitizer.
Result run(const QByteArray &bytes);

} // namespace imagepath
