// The image fuzzer's inputs in the normal suite: its seeds and the files it
// found faults with (tests/fuzz-regressions/image), replayed through the
// fuzzer's own path and checks (bitmap/fuzz/imagepath.cpp) under the same
// allocation limit. The findings also have expectations of their own, and
// so do files cut short.

#include "bitmap/fuzz/imagepath.h"
#include "bitmap/imagefile.h"
#include "bitmap/monoimage.h"
#include "support/bitmaptesting.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QPainter>
#include <QTest>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString regression(const QString &name) { return QStringLiteral(KIVO_IMAGE_REGRESSIONS "/") + name; }

// Leaves freed heap blocks of many sizes full of `fill` bytes: memory a
// reader forgets to write shows up (0x01 is colour 1 of an 8-bit image).
void dirtyTheHeap(unsigned char fill)
{
    std::vector<std::size_t> sizes;
    for (std::size_t size = 16; size <= 4096; size += 8)
        sizes.push_back(size);
    for (std::size_t size = 8192; size <= (std::size_t(1) << 20); size *= 2)
        sizes.push_back(size + 64);
    std::vector<void *> blocks;
    for (std::size_t size : sizes) {
        blocks.push_back(std::malloc(size));
        std::memset(blocks.back(), fill, size);
    }
    for (void *block : blocks)
        std::free(block);
}

bitmap::ImageFile readBytes(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    return bitmap::readImage(&buffer);
}

QByteArray encoded(const QImage &image, const char *format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    image.save(&buffer, format);
    return bytes;
}

} // namespace

class TestImageFuzzInputs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void everyRuleHolds_data();
    void everyRuleHolds();

    void everyLoadIsTheSame_data();
    void everyLoadIsTheSame();
    void runLengthDataEndingEarlyLeavesColourZero();
    void filesCutShortPrintWhiteWhereTheirDataEnds_data();
    void filesCutShortPrintWhiteWhereTheirDataEnds();
    void indicesPastTheColourTablePrintNothing();
};

void TestImageFuzzInputs::initTestCase() { QImageReader::setAllocationLimit(imagepath::allocationLimitMb); }

void TestImageFuzzInputs::everyRuleHolds_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("isSeed");
    const QDir seeds(QStringLiteral(KIVO_IMAGE_SEEDS));
    const QDir regressions(QStringLiteral(KIVO_IMAGE_REGRESSIONS));
    QVERIFY(seeds.exists() && regressions.exists());
    for (const QString &name : seeds.entryList(QDir::Files, QDir::Name))
        QTest::newRow(qPrintable("seed " + name)) << seeds.filePath(name) << true;
    for (const QString &name : regressions.entryList(QDir::Files, QDir::Name))
        QTest::newRow(qPrintable("found " + name)) << regressions.filePath(name) << false;
}

void TestImageFuzzInputs::everyRuleHolds()
{
    QFETCH(QString, path);
    QFETCH(bool, isSeed);
    const QByteArray bytes = fileBytes(path);
    QVERIFY(!bytes.isEmpty());
    const imagepath::Result result = imagepath::run(bytes);
    QVERIFY2(result.fault.isEmpty(), qPrintable(result.fault));
    if (isSeed) {
        // A seed stands for its format: it must be read, and printed.
        QVERIFY2(!result.file.image.isNull(), qPrintable(result.file.error));
        QVERIFY(!result.sent.isEmpty());
    }
}

void TestImageFuzzInputs::everyLoadIsTheSame_data() { everyRuleHolds_data(); }

void TestImageFuzzInputs::everyLoadIsTheSame()
{
    // Whatever the heap held before, a file loads to the same picture:
    // no pixel is left as the memory was.
    QFETCH(QString, path);
    const QByteArray bytes = fileBytes(path);
    dirtyTheHeap(0x00);
    const bitmap::ImageFile first = readBytes(bytes);
    for (unsigned char fill : {0xFF, 0x5A, 0x01}) {
        dirtyTheHeap(fill);
        const bitmap::ImageFile again = readBytes(bytes);
        QCOMPARE(again.image.isNull(), first.image.isNull());
        QCOMPARE(bitmap::rasterRows(again.image), bitmap::rasterRows(first.image));
    }
}

void TestImageFuzzInputs::runLengthDataEndingEarlyLeavesColourZero()
{
    // A 9 × 5 BMP (8-bit run-length data; colours white, black, red, grey)
    // whose data skips pixels with a delta and ends rows early: the skipped
    // pixels are colour 0, white, on every load. One drawn pixel has index
    // 4, past the four-colour table: it prints nothing either.
    const QByteArray bytes = fileBytes(regression("bmp-rle8-data-ends-early.bmp"));
    QVERIFY(!bytes.isEmpty());

    QImage drawn(9, 5, QImage::Format_Indexed8);
    drawn.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(200, 0, 0), qRgb(128, 128, 128)});
    drawn.fill(0u);
    const int bottom[] = {1, 1, 1, 2, 3, 0, 2}; // the 4 at x = 5 drawn as white
    for (int x = 0; x < 7; ++x)
        drawn.scanLine(4)[x] = uchar(bottom[x]);
    drawn.scanLine(2)[0] = drawn.scanLine(2)[1] = 2;
    for (int x = 0; x < 5; ++x)
        drawn.scanLine(0)[x] = 3;
    const QByteArray expected = bitmap::rasterRows(bitmap::toPrintableMono(drawn));

    for (int load = 0; load < 3; ++load) {
        dirtyTheHeap(0x01);
        const bitmap::ImageFile file = readBytes(bytes);
        QVERIFY2(!file.image.isNull(), qPrintable(file.error));
        QCOMPARE(bitmap::rasterRows(file.image), expected);
    }
}

void TestImageFuzzInputs::filesCutShortPrintWhiteWhereTheirDataEnds_data()
{
    QTest::addColumn<QByteArray>("whole");
    QTest::addColumn<bool>("bottomRowFirst");
    QImage drawing(96, 64, QImage::Format_RGB32);
    drawing.fill(Qt::white);
    QPainter(&drawing).fillRect(8, 4, 40, 52, Qt::black);
    // The JPEG decoder fills what it lacks with mid grey, the GIF decoder
    // with black; a BMP stores its bottom row first.
    QTest::newRow("JPEG") << encoded(bitmaptest::photoLike(192, 128), "jpeg") << false;
    QTest::newRow("interlaced GIF") << fileBytes(QStringLiteral(KIVO_IMAGE_SEEDS "/gif-interlaced-local-palette.gif"))
                                    << false;
    QTest::newRow("BMP") << encoded(drawing.convertToFormat(QImage::Format_Indexed8), "bmp") << true;
}

void TestImageFuzzInputs::filesCutShortPrintWhiteWhereTheirDataEnds()
{
    // Two thirds of the file: the rows it reaches print as the whole file
    // does, the rows past its end nothing (the row where it ends is partly
    // either), and the report tells the missing rows.
    QFETCH(QByteArray, whole);
    QFETCH(bool, bottomRowFirst);
    const bitmap::ImageFile wholeFile = readBytes(whole), file = readBytes(whole.left(whole.size() * 2 / 3));
    const int height = file.image.height();
    QVERIFY(wholeFile.missing.isEmpty() && !file.missing.isEmpty());
    QCOMPARE(bottomRowFirst ? file.missing.first : file.missing.last, bottomRowFirst ? 0 : height - 1);
    const qsizetype rowBytes = file.image.bytesPerLine();
    const QByteArray rows = bitmap::rasterRows(file.image), wholeRows = bitmap::rasterRows(wholeFile.image);
    for (int y = 0; y < height; ++y) {
        const bool read = y < file.missing.first || y > file.missing.last;
        if (y != (bottomRowFirst ? file.missing.last : file.missing.first))
            QCOMPARE(rows.mid(y * rowBytes, rowBytes),
                     read ? wholeRows.mid(y * rowBytes, rowBytes) : QByteArray(rowBytes, '\0'));
    }
    QCOMPARE(bitmap::loadReport("cut", file),
             bitmap::loadReport("cut", file.image)
                 + QString::asprintf("The file is damaged: its data ends early. Rows %d to %d of %d are missing "
                                     "and print white.\n",
                                     file.missing.first + 1, file.missing.last + 1, height));
}

void TestImageFuzzInputs::indicesPastTheColourTablePrintNothing()
{
    // Indices 2 to 255 with a two-colour table, opaque and with a
    // transparent colour (the second goes through the painter), black second
    // and first, in memory and read from a PNG file (whose reader makes them
    // index 0).
    for (QRgb background : {qRgb(255, 255, 255), qRgba(0, 0, 0, 0)}) {
        for (const bool blackFirst : {false, true}) {
            QImage image(256, 3, QImage::Format_Indexed8);
            image.setColorTable(blackFirst ? QList<QRgb>{qRgb(0, 0, 0), background}
                                           : QList<QRgb>{background, qRgb(0, 0, 0)});
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 256; ++x)
                    image.scanLine(y)[x] = uchar(x);
            const QImage mono = bitmap::toPrintableMono(image);
            QCOMPARE(mono.format(), QImage::Format_Mono);
            const qsizetype rowBytes = 32;
            QByteArray expected(rowBytes * 3, '\0');
            for (qsizetype y = 0; y < 3; ++y)
                expected[rowBytes * y] = char(blackFirst ? 0x80 : 0x40); // only the black pixel
            QCOMPARE(bitmap::rasterRows(mono), expected);
            QCOMPARE(bitmap::rasterRows(readBytes(encoded(image, "png")).image), expected);
        }
    }

    // An 8-bit image without a table is read as grey levels.
    QImage greys(256, 1, QImage::Format_Indexed8);
    for (int x = 0; x < 256; ++x)
        greys.scanLine(0)[x] = uchar(x);
    const QByteArray rows = bitmap::rasterRows(bitmap::toPrintableMono(greys));
    QCOMPARE(uchar(rows[0]) & 0x80, 0x80);  // index 0: black
    QCOMPARE(uchar(rows[31]) & 0x01, 0x00); // index 255: white
}

QTEST_MAIN(TestImageFuzzInputs)
#include "tst_image_fuzz_inputs.moc"
