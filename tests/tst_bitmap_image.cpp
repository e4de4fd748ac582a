// The image work behind bitmap printing, without the window: the one 1-bit
// form every loaded image is kept in, the raster rows made from it and their
// split into raster commands.

#include "support/bitmaptesting.h"
#include "support/expectedstream.h"

#include "bitmap/imagefile.h"
#include "bitmap/monoimage.h"

#include <QImageReader>
#include <QTest>

using namespace bitmaptest;

namespace {

// How the test sees a colour on paper: transparency over white.
QRgb overWhite(QRgb c)
{
    const int a = qAlpha(c);
    auto mix = [a](int v) { return (v * a + 255 * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(c)), mix(qGreen(c)), mix(qBlue(c)));
}

bool bitAt(const QImage &mono, int x, int y) { return mono.constScanLine(y)[x / 8] & (0x80 >> (x % 8)); }

} // namespace

class TestBitmapImage : public QObject
{
    Q_OBJECT

private slots:
    void normalisedKeepsWhatIsShownAndMakesOneTheDarker_data();
    void normalisedKeepsWhatIsShownAndMakesOneTheDarker();
    void oneShadeImagesPrintAsThatShade();
    void normalisedLeavesAnImageInTheFormUncopied();
    void colourImagesAreConvertedOnWhitePaper();

    void rasterRowsZeroThePaddingAndKeepEveryPixel();
    void rasterRowsOfQtsOwnConversionHaveNoStrayDots();
    void rasterRowsOfAnImageNotInTheFormPrintItsDarkPixels();

    void bandsCoverEveryRowOnce_data();
    void bandsCoverEveryRowOnce();
    void tallPicturesBecomeConsecutiveCommands();

    void readingReportsTheReadersOwnError();
    void readingRejectsImagesAboveTheAllocationLimit();
    void reportDescribesTheStoredImage();
};

void TestBitmapImage::normalisedKeepsWhatIsShownAndMakesOneTheDarker_data()
{
    QTest::addColumn<QImage>("source");
    QTest::addColumn<bool>("patternIsDark");
    const int w = 37, h = 11;
    QTest::newRow("Mono white,black") << patternImage(w, h) << true;
    QTest::newRow("Mono black,white") << patternImage(w, h, true) << true;
    QTest::newRow("MonoLSB white,black") << patternImage(w, h, false, QImage::Format_MonoLSB) << true;
    QTest::newRow("MonoLSB black,white") << patternImage(w, h, true, QImage::Format_MonoLSB) << true;
    QTest::newRow("yellow,navy") << patternImage(w, h, false, QImage::Format_Mono, 0xFFFFEE00, 0xFF000080) << true;
    QTest::newRow("navy,yellow") << patternImage(w, h, true, QImage::Format_Mono, 0xFFFFEE00, 0xFF000080) << true;
    QTest::newRow("transparent,black") << patternImage(w, h, false, QImage::Format_Mono, 0x00000000, 0xFF000000)
                                       << true;
    QTest::newRow("black,half-transparent grey")
        << patternImage(w, h, true, QImage::Format_Mono, 0x80404040, 0xFF000000) << true;
    // Without a colour table Qt shows a 0 bit black and a 1 bit white, so
    // the pattern (drawn as 1 bits here) is the light part.
    QImage noTable = patternImage(w, h);
    noTable.setColorTable({});
    QTest::newRow("no colour table") << noTable << false;
}

void TestBitmapImage::normalisedKeepsWhatIsShownAndMakesOneTheDarker()
{
    QFETCH(QImage, source);
    QFETCH(bool, patternIsDark);
    const QImage shownBefore = source.convertToFormat(QImage::Format_ARGB32);

    const QImage mono = bitmap::normalisedMono(source);
    QCOMPARE(mono.format(), QImage::Format_Mono);
    QCOMPARE(mono.size(), source.size());
    QCOMPARE(mono.colorCount(), 2);
    QVERIFY(qGray(mono.color(1)) < qGray(mono.color(0)));

    const QImage shownAfter = mono.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < mono.height(); ++y) {
        for (int x = 0; x < mono.width(); ++x) {
            QCOMPARE(shownAfter.pixel(x, y), overWhite(shownBefore.pixel(x, y)));
            QCOMPARE(bitAt(mono, x, y), patternDark(x, y) == patternIsDark);
        }
    }
}

void TestBitmapImage::oneShadeImagesPrintAsThatShade()
{
    // Both colours the same: the pattern cannot be seen, so none is printed.
    QImage allWhite = patternImage(20, 3, false, QImage::Format_Mono, 0xFFFFFFFF, 0xFFFFFFFF);
    QCOMPARE(bitmap::rasterRows(allWhite), QByteArray(12, '\0')); // 4 bytes x 3 rows
    QImage allBlack = patternImage(20, 3, false, QImage::Format_Mono, 0xFF000000, 0xFF000000);
    QCOMPARE(bitmap::rasterRows(allBlack), expectedRows(20, 3, [](int, int) { return true; }));

    // A single-entry table with every pixel at index 0: one dark colour.
    QImage oneEntry(20, 3, QImage::Format_Mono);
    oneEntry.fill(0u);
    oneEntry.setColorTable({0xFF102030});
    const QImage mono = bitmap::normalisedMono(oneEntry);
    QCOMPARE(mono.convertToFormat(QImage::Format_RGB32).pixel(5, 1), 0xFF102030u);
    QCOMPARE(bitmap::rasterRows(oneEntry), expectedRows(20, 3, [](int, int) { return true; }));

    // Two colours, only the dark one used: the ordinary rule already gives 1s.
    QImage darkOnly(20, 3, QImage::Format_Mono);
    darkOnly.setColorTable({0xFF000000, 0xFFFFFFFF});
    darkOnly.fill(0u);
    QCOMPARE(bitmap::rasterRows(darkOnly), expectedRows(20, 3, [](int, int) { return true; }));
}

void TestBitmapImage::normalisedLeavesAnImageInTheFormUncopied()
{
    const QImage inForm = patternImage(64, 8);
    const QImage mono = bitmap::normalisedMono(inForm);
    QCOMPARE(mono.constBits(), inForm.constBits());
}

void TestBitmapImage::colourImagesAreConvertedOnWhitePaper()
{
    // A black square on a fully transparent (black) background: the square
    // prints, the background does not.
    QImage logo(40, 10, QImage::Format_ARGB32);
    logo.fill(Qt::transparent);
    QPainter(&logo).fillRect(0, 0, 10, 10, Qt::black);
    const QImage mono = bitmap::toPrintableMono(logo);
    QCOMPARE(mono.format(), QImage::Format_Mono);
    QCOMPARE(bitmap::rasterRows(mono), expectedRows(40, 10, [](int x, int) { return x < 10; }));

    // An opaque colour picture goes through Qt's own conversion unchanged:
    // the same bits as Qt's Format_Mono, black as 1.
    const QImage photo = photoLike(120, 70);
    const QImage printable = bitmap::toPrintableMono(photo);
    const QImage qts = photo.convertToFormat(QImage::Format_Mono);
    QCOMPARE(qts.color(1), 0xFF000000u);
    QCOMPARE(bitmap::rasterRows(printable), bitmap::rasterRows(qts));
    QCOMPARE(printable.convertToFormat(QImage::Format_RGB32), qts.convertToFormat(QImage::Format_RGB32));
}

void TestBitmapImage::rasterRowsZeroThePaddingAndKeepEveryPixel()
{
    for (int width : {1, 7, 8, 9, 31, 32, 33, 100, 383, 384}) {
        for (bool darkFirst : {false, true}) {
            // The pattern's buffers start all 1s (light first) or all 0s
            // (dark first, which the form inverts): padding is dirty both ways.
            const QImage image = patternImage(width, 5, darkFirst);
            const QByteArray rows = bitmap::rasterRows(image);
            QCOMPARE(rows.size(), qsizetype(rowBytes(width)) * 5);
            QVERIFY2(rows == expectedPatternRows(width, 5), qPrintable(QString::number(width)));
        }
    }
}

void TestBitmapImage::rasterRowsOfQtsOwnConversionHaveNoStrayDots()
{
    // Qt's conversion of a 100 pixel wide image leaves 0x7F in the padding.
    QImage white(100, 50, QImage::Format_RGB32);
    white.fill(Qt::white);
    const QImage mono = white.convertToFormat(QImage::Format_Mono);
    QCOMPARE(mono.bytesPerLine(), 16);
    QCOMPARE(bitmap::rasterRows(mono), QByteArray(800, '\0'));
}

void TestBitmapImage::rasterRowsOfAnImageNotInTheFormPrintItsDarkPixels()
{
    const QImage blackFirst = patternImage(50, 6, true);
    QCOMPARE(bitmap::rasterRows(blackFirst), expectedPatternRows(50, 6));
    const QImage lsb = patternImage(50, 6, false, QImage::Format_MonoLSB);
    QCOMPARE(bitmap::rasterRows(lsb), expectedPatternRows(50, 6));
    QVERIFY(bitmap::rasterRows(QImage()).isEmpty());
}

void TestBitmapImage::bandsCoverEveryRowOnce_data()
{
    QTest::addColumn<int>("height");
    QTest::addColumn<QList<int>>("rows");
    QTest::newRow("none") << 0 << QList<int>{};
    QTest::newRow("one row") << 1 << QList<int>{1};
    QTest::newRow("exactly the limit") << 65535 << QList<int>{65535};
    QTest::newRow("one past") << 65536 << QList<int>{65535, 1};
    QTest::newRow("70000") << 70000 << QList<int>{65535, 4465};
    QTest::newRow("two full") << 131070 << QList<int>{65535, 65535};
    QTest::newRow("three") << 131071 << QList<int>{65535, 65535, 1};
}

void TestBitmapImage::bandsCoverEveryRowOnce()
{
    QFETCH(int, height);
    QFETCH(QList<int>, rows);
    const QList<bitmap::RasterBand> bands = bitmap::rasterBands(height);
    QCOMPARE(bands.size(), rows.size());
    int next = 0;
    for (int i = 0; i < bands.size(); ++i) {
        QCOMPARE(bands[i].firstRow, next);
        QCOMPARE(bands[i].rows, rows[i]);
        next += bands[i].rows;
    }
    QCOMPARE(next, height);
}

void TestBitmapImage::tallPicturesBecomeConsecutiveCommands()
{
    const int height = 70000;
    QByteArray rows(qsizetype(48) * height, '\0');
    for (qsizetype i = 0; i < rows.size(); ++i)
        rows[i] = char((i * 131) >> 7);
    const QList<printer::Command> commands = bitmap::rasterCommands(rows, 48);
    QCOMPARE(commands.size(), 2);

    QByteArray all;
    for (const printer::Command &command : commands)
        all += command.bytes();
    const QByteArray expected = ExpectedStream()
                                    .picturePrintH(48, 65535, rows.left(qsizetype(48) * 65535))
                                    .picturePrintH(48, 4465, rows.mid(qsizetype(48) * 65535))
                                    .bytes;
    QCOMPARE(all.size(), expected.size());
    QVERIFY(all == expected);

    // The data is the caller's buffer, not a copy of it.
    QCOMPARE(commands[0].writes.size(), 2);
    QCOMPARE(commands[0].writes[1].constData(), rows.constData());
    QCOMPARE(commands[1].writes[1].constData(), rows.constData() + qsizetype(48) * 65535);
}

void TestBitmapImage::readingReportsTheReadersOwnError()
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.bmp");
    const bitmap::ImageFile file = bitmap::readImageFile(missing);
    QVERIFY(file.image.isNull());
    QImageReader reader(missing);
    reader.read();
    QCOMPARE(file.error, reader.errorString());
    QVERIFY(!file.error.isEmpty());

    const QString text = saveBytes(dir, "notes.png", "not an image at all");
    QCOMPARE(bitmap::readImageFile(text).error, QStringLiteral("Unsupported image format"));
}

void TestBitmapImage::readingRejectsImagesAboveTheAllocationLimit()
{
    // A 20000 × 20000 grey map needs 400 MB, above the reader's limit; the
    // file itself is tiny.
    QTemporaryDir dir;
    const QString huge = saveBytes(dir, "huge.pgm", QByteArray("P5\n20000 20000\n255\n") + QByteArray(64, '\0'));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("exceeds the current allocation limit"));
    const bitmap::ImageFile file = bitmap::readImageFile(huge);
    QVERIFY(file.image.isNull());
    QCOMPARE(file.error, QStringLiteral("Unable to read image data"));
}

void TestBitmapImage::reportDescribesTheStoredImage()
{
    const QImage image = bitmap::normalisedMono(patternImage(200, 100));
    QCOMPARE(bitmap::loadReport("/tmp/pictures/logo.bmp", image),
             QStringLiteral("Opened \"/tmp/pictures/logo.bmp\"\nWidth: 200 pixel\nHeight: 100 pixel\n"
                            "Color depth: 1\nBytes: 2800\n"));
    // A file name that looks like a place marker stays as it is.
    QCOMPARE(bitmap::loadReport("/tmp/scan%2 copy%5.png", image).section('\n', 0, 1),
             QStringLiteral("Opened \"/tmp/scan%2 copy%5.png\"\nWidth: 200 pixel"));
}

QTEST_MAIN(TestBitmapImage)
#include "tst_bitmap_image.moc"
