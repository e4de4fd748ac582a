// The pictures compiled into the program: their sizes, that they are the
// committed PBM files byte for byte, that the artwork is sensible artwork, and
// that the QR picture is a readable QR Code of the required kind.

#include "demos/pictures.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const char kQrText[] = "Printer Kivo VX02x sample";

struct PictureInfo
{
    const char *name;
    const RasterPicture *picture;
    const char *file;
    int width;
    int height;
    bool artwork;
};

const PictureInfo kPictures[] = {
    {"featureLogoBitmap", &featureLogoBitmap, "feature-logo.pbm", 384, 94, true},
    {"arrowSymbolsBitmap", &arrowSymbolsBitmap, "arrow-symbols.pbm", 256, 20, true},
    {"circledDigitsBitmap", &circledDigitsBitmap, "circled-digits.pbm", 72, 20, true},
    {"rasterSampleBitmap", &rasterSampleBitmap, "raster-sample.pbm", 256, 256, true},
    {"receiptHeaderBitmap", &receiptHeaderBitmap, "receipt-header.pbm", 384, 256, true},
    {"qrSampleBitmap", &qrSampleBitmap, "qr-sample.pbm", 232, 232, false},
};

bool dot(const RasterPicture &p, int x, int y) { return p.data[y * p.bytesPerRow + x / 8] & (0x80 >> (x % 8)); }

int width(const RasterPicture &p) { return p.bytesPerRow * 8; }

QImage toImage(const RasterPicture &p)
{
    QImage image(width(p), p.rows, QImage::Format_RGB32);
    for (int y = 0; y < p.rows; ++y)
        for (int x = 0; x < width(p); ++x)
            image.setPixel(x, y, dot(p, x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return image;
}

// The module in row r, column c of the 25 x 25 QR symbol: 8 x 8 dots each,
// after a border of 16 dots.
bool module(int r, int c) { return dot(qrSampleBitmap, 16 + 8 * c, 16 + 8 * r); }

} // namespace

class TestPictures : public QObject
{
    Q_OBJECT

private slots:
    void hasTheControllerSize_data();
    void hasTheControllerSize();
    void isTheCommittedPbmFile_data();
    void isTheCommittedPbmFile();
    void artworkHasSensibleInk_data();
    void artworkHasSensibleInk();
    void arrowsLieInA13RowBandAcrossTheMiddle();
    void digitsAreFourSeparateCircles();
    void qrHasBlankBorderAndWholeModules();
    void qrIsVersion2WithErrorCorrectionM();
    void qrDecodesToTheSampleText();
};

void TestPictures::hasTheControllerSize_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(kPictures)); ++i)
        QTest::newRow(kPictures[i].name) << i;
}

void TestPictures::hasTheControllerSize()
{
    QFETCH(int, index);
    const PictureInfo &info = kPictures[index];
    const RasterPicture &p = *info.picture;
    QVERIFY(p.data != nullptr);
    QCOMPARE(int(p.bytesPerRow), info.width / 8);
    QCOMPARE(int(p.rows), info.height);
    QCOMPARE(p.size(), size_t(info.width / 8 * info.height));
}

void TestPictures::isTheCommittedPbmFile_data() { hasTheControllerSize_data(); }

void TestPictures::isTheCommittedPbmFile()
{
    QFETCH(int, index);
    const PictureInfo &info = kPictures[index];
    const RasterPicture &p = *info.picture;
    const QString path = QStringLiteral(KIVO_PICTURES_DIR "/") + info.file;

    // Qt's own reader is the independent judge of format, size and the
    // meaning of each bit.
    QImageReader reader(path);
    QCOMPARE(reader.format(), QByteArray("pbm"));
    const QImage image = reader.read();
    QVERIFY2(!image.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(image.size(), QSize(info.width, info.height));
    for (int y = 0; y < info.height; ++y)
        for (int x = 0; x < info.width; ++x)
            if (dot(p, x, y) != (qGray(image.pixel(x, y)) < 128))
                QFAIL(qPrintable(QStringLiteral("dot %1, %2 differs from %3").arg(x).arg(y).arg(path)));

    // And the embedded bytes are the file's payload, with nothing after it.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.startsWith("P4"));
    QVERIFY(bytes.size() > int(p.size()));
    QCOMPARE(bytes.right(int(p.size())), QByteArray(reinterpret_cast<const char *>(p.data), int(p.size())));
    QVERIFY(QChar(bytes.at(bytes.size() - int(p.size()) - 1)).isSpace());
}

void TestPictures::artworkHasSensibleInk_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(kPictures)); ++i)
        if (kPictures[i].artwork)
            QTest::newRow(kPictures[i].name) << i;
}

// Not blank, not a black slab, and nothing cut off by the picture's edge.
void TestPictures::artworkHasSensibleInk()
{
    QFETCH(int, index);
    const RasterPicture &p = *kPictures[index].picture;
    const int w = width(p);
    int ink = 0;
    for (int y = 0; y < p.rows; ++y)
        for (int x = 0; x < w; ++x)
            ink += dot(p, x, y);
    const double share = double(ink) / (w * p.rows);
    QVERIFY2(share > 0.05 && share < 0.5, qPrintable(QString::number(share)));

    for (int x = 0; x < w; ++x)
        QVERIFY2(!dot(p, x, 0) && !dot(p, x, p.rows - 1), "ink on the top or bottom edge");
    for (int y = 0; y < p.rows; ++y)
        QVERIFY2(!dot(p, 0, y) && !dot(p, w - 1, y), "ink on the left or right edge");
}

void TestPictures::arrowsLieInA13RowBandAcrossTheMiddle()
{
    const RasterPicture &p = arrowSymbolsBitmap;
    int top = -1, bottom = -1, left = width(p), right = -1;
    for (int y = 0; y < p.rows; ++y)
        for (int x = 0; x < width(p); ++x)
            if (dot(p, x, y)) {
                if (top < 0)
                    top = y;
                bottom = y;
                left = qMin(left, x);
                right = qMax(right, x);
            }
    QCOMPARE(bottom - top + 1, 13);
    QVERIFY2(qAbs(top - (p.rows - 1 - bottom)) <= 1, "band not in the middle");
    QVERIFY2(left < 16 && right > width(p) - 16, "the row does not run across the picture");

    // A row of separate pictographs, not one long shape.
    int glyphs = 0;
    bool inGlyph = false;
    for (int x = 0; x < width(p); ++x) {
        bool column = false;
        for (int y = 0; y < p.rows; ++y)
            column = column || dot(p, x, y);
        glyphs += column && !inGlyph;
        inGlyph = column;
    }
    QVERIFY2(glyphs >= 8, qPrintable(QString::number(glyphs)));
}

void TestPictures::digitsAreFourSeparateCircles()
{
    const RasterPicture &p = circledDigitsBitmap;
    QList<QPair<int, int>> runs; // first and last column of each run of inked columns
    for (int x = 0; x < width(p); ++x) {
        bool column = false;
        for (int y = 0; y < p.rows; ++y)
            column = column || dot(p, x, y);
        if (column && (runs.isEmpty() || runs.last().second != x - 1))
            runs.append({x, x});
        else if (column)
            runs.last().second = x;
    }
    QCOMPARE(runs.size(), 4);
    for (const auto &run : runs) {
        const int across = run.second - run.first + 1;
        QVERIFY2(across >= 14 && across <= 18, qPrintable(QString::number(across)));
        // A ring: the centre column has ink at the top and bottom of the
        // circle and a gap between ring and digit.
        const int centre = (run.first + run.second) / 2;
        QString column;
        for (int y = 0; y < p.rows; ++y)
            column += dot(p, centre, y) ? '#' : '.';
        QVERIFY2(column.contains(QRegularExpression("^\\.*#+\\.+#.*#\\.+#+\\.*$")), qPrintable(column));
    }
}

void TestPictures::qrHasBlankBorderAndWholeModules()
{
    const RasterPicture &p = qrSampleBitmap;
    for (int y = 0; y < p.rows; ++y)
        for (int i = 0; i < p.bytesPerRow; ++i) {
            const bool border = y < 16 || y >= p.rows - 16 || i < 2 || i >= p.bytesPerRow - 2;
            if (border)
                QVERIFY2(p.data[y * p.bytesPerRow + i] == 0, qPrintable(QStringLiteral("row %1").arg(y)));
        }
    // Every module is a uniform 8 x 8 block.
    for (int r = 0; r < 25; ++r)
        for (int c = 0; c < 25; ++c)
            for (int y = 0; y < 8; ++y)
                QVERIFY2(p.data[(16 + 8 * r + y) * p.bytesPerRow + 2 + c] == (module(r, c) ? 0xff : 0x00),
                         qPrintable(QStringLiteral("module %1, %2").arg(r).arg(c)));
}

void TestPictures::qrIsVersion2WithErrorCorrectionM()
{
    // 25 modules across is version 2. Finder patterns in three corners and
    // the alignment pattern of version 2 centred on module 18, 18.
    for (const QPoint corner : {QPoint(0, 0), QPoint(18, 0), QPoint(0, 18)})
        for (int r = 0; r < 7; ++r)
            for (int c = 0; c < 7; ++c) {
                const int ring = qMax(qAbs(r - 3), qAbs(c - 3));
                QCOMPARE(module(corner.y() + r, corner.x() + c), ring != 2);
            }
    for (int r = 16; r <= 20; ++r)
        for (int c = 16; c <= 20; ++c)
            QCOMPARE(module(r, c), qMax(qAbs(r - 18), qAbs(c - 18)) != 1);

    // The format information, read from both of its copies, most
    // significant bit first; after removing the fixed mask its top two bits
    // name the error correction level, 00 for M.
    int first = 0, second = 0;
    for (int c : {0, 1, 2, 3, 4, 5, 7, 8})
        first = first << 1 | module(8, c);
    for (int r : {7, 5, 4, 3, 2, 1, 0})
        first = first << 1 | module(r, 8);
    for (int r = 24; r >= 18; --r)
        second = second << 1 | module(r, 8);
    for (int c = 17; c <= 24; ++c)
        second = second << 1 | module(8, c);
    QCOMPARE(first, second);
    QCOMPARE((first ^ 0x5412) >> 13, 0);
}

void TestPictures::qrDecodesToTheSampleText()
{
    const QString zbarimg = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
    if (zbarimg.isEmpty())
        QFAIL("zbarimg not found; tools/setup-debian.sh installs it (package zbar-tools)");
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString png = dir.filePath(QStringLiteral("qr-sample.png"));
    QVERIFY(toImage(qrSampleBitmap).save(png));

    QProcess process;
    process.start(zbarimg, {QStringLiteral("--raw"), QStringLiteral("-q"), png});
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(process.readAllStandardOutput()).trimmed(), QString::fromLatin1(kQrText));
}

QTEST_GUILESS_MAIN(TestPictures)
#include "tst_pictures.moc"
