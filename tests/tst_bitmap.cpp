// Bitmap printing: the one 1-bit form every loaded image is kept in, the
// raster rows and commands made from it, and the Bitmaps tab as a user
// drives it (the file dialog, the console, the boxes, every byte sent).

#include "support/bitmaptesting.h"
#include "support/recordedwindow.h"

#include "bitmap/imagefile.h"
#include "bitmap/monoimage.h"
#include "bitmap/pictureoptions.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>

#include <sys/stat.h>

using namespace bitmaptest;

class TestBitmap : public QObject
{
    Q_OBJECT

private slots:
    void darkerColourBecomesTheDots_data();
    void darkerColourBecomesTheDots();
    void rowsKeepEveryPixelAndZeroThePadding();
    void transparentPartsPrintNothing();
    void tallPicturesAreBanded_data();
    void tallPicturesAreBanded();
    void readingFollowsTheFile();
    void pictureOptionsShapeTheDots();

    void loadingReportsTheImage();
    void printingRefusesWhatCannotPrint();
    void printingSendsResetAndTheRows();
    void loadButtonRunsTheDialogUntilAFileLoads();

private:
    QTemporaryDir dir;
};

void TestBitmap::darkerColourBecomesTheDots_data()
{
    QTest::addColumn<QImage>("source");
    QTest::addColumn<bool>("patternIsDark");
    QTest::newRow("white, black") << patternImage(37, 11) << true;
    QTest::newRow("black, white") << patternImage(37, 11, true) << true;
    QTest::newRow("MonoLSB black, white") << patternImage(37, 11, true, QImage::Format_MonoLSB) << true;
    QTest::newRow("navy, yellow") << patternImage(37, 11, true, QImage::Format_Mono, 0xFFFFEE00, 0xFF000080) << true;
    QTest::newRow("transparent, black") << patternImage(37, 11, false, QImage::Format_Mono, 0, 0xFF000000) << true;
    // Without a colour table Qt shows a 0 bit black: the pattern is light.
    QImage noTable = patternImage(37, 11);
    noTable.setColorTable({});
    QTest::newRow("no colour table") << noTable << false;
    // One shade only: every pixel prints as that shade.
    QTest::newRow("all black") << patternImage(37, 11, false, QImage::Format_Mono, 0xFF000000, 0xFF000000) << true;
}

void TestBitmap::darkerColourBecomesTheDots()
{
    QFETCH(QImage, source);
    QFETCH(bool, patternIsDark);
    const bool oneShade = source.colorCount() == 2 && source.color(0) == source.color(1);
    const QByteArray rows = bitmap::rasterRows(bitmap::toPrintableMono(source));
    QCOMPARE(rows, expectedRows(37, 11, [&](int x, int y) { return oneShade || patternDark(x, y) == patternIsDark; }));
}

void TestBitmap::rowsKeepEveryPixelAndZeroThePadding()
{
    // The pattern's buffers start all 1s or all 0s: padding is dirty both ways.
    for (int width : {1, 7, 8, 9, 33, 100, 383, 384})
        for (bool darkFirst : {false, true})
            QVERIFY2(bitmap::rasterRows(patternImage(width, 5, darkFirst)) == expectedRows(width, 5, patternDark),
                     qPrintable(QString::number(width)));
}

void TestBitmap::transparentPartsPrintNothing()
{
    QImage logo(40, 10, QImage::Format_ARGB32);
    logo.fill(Qt::transparent);
    QPainter(&logo).fillRect(0, 0, 10, 10, Qt::black);
    QCOMPARE(bitmap::rasterRows(bitmap::toPrintableMono(logo)),
             expectedRows(40, 10, [](int x, int) { return x < 10; }));
}

void TestBitmap::tallPicturesAreBanded_data()
{
    QTest::addColumn<QString>("row");
    for (const QString &row : streamnotation::lines(QStringLiteral(KIVO_TEST_DATA "/picture-bands.txt")))
        QTest::newRow(qPrintable(row)) << row;
}

void TestBitmap::tallPicturesAreBanded()
{
    QFETCH(QString, row);
    const QStringList picture = row.section(QStringLiteral(" =>"), 0, 0).split(u' ');
    const qsizetype most = picture[2] == QLatin1String("whole") ? bitmap::unlimitedBand : picture[2].toLongLong();
    int next = 0;
    QStringList sizes;
    for (const bitmap::RasterBand &band :
         bitmap::rasterBands(picture[0].toInt(), bitmap::rowsPerBand(picture[1].toInt(), most))) {
        QCOMPARE(band.firstRow, next);
        next += band.rows;
        sizes << QString::number(band.rows);
    }
    QCOMPARE(sizes.join(u' '), row.section(QStringLiteral("=> "), 1));
}

void TestBitmap::readingFollowsTheFile()
{
    // The orientation stored in a photo is applied: 16 x 8 stored, turned.
    const bitmap::ImageFile turned = bitmap::readImageFile(KIVO_IMAGE_SEEDS "/jpeg-exif-rotated.jpg");
    QCOMPARE(turned.image.size(), QSize(8, 16));
    QVERIFY(turned.converted);

    QCOMPARE(bitmap::readImageFile(saveBytes(dir, "notes.png", "not an image")).error,
             QStringLiteral("Unsupported image format"));
    // A FIFO is refused at once (opening it would wait for a writer).
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo.png")).constData(), 0600) == 0);
    QCOMPARE(bitmap::readImageFile(dir.filePath("fifo.png")).error,
             QStringLiteral("it is no regular file (a folder, a device or a FIFO)"));
    // A tiny file that announces 400 MB of pixels is refused.
    const QString huge = saveBytes(dir, "huge.pgm", QByteArray("P5\n20000 20000\n255\n") + QByteArray(64, '\0'));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("exceeds the current allocation limit"));
    QCOMPARE(bitmap::readImageFile(huge).error, QStringLiteral("Unable to read image data"));
    // A PNG is read in bands whatever its size, and refused only when its
    // 1-bit form is too big: here a header announcing 60000 x 40000 dots.
    QCOMPARE(bitmap::readImageFile(KIVO_TEST_DATA "/bombs/header-only.png").error,
             QStringLiteral("The picture is too big: 60000 x 40000 dots take 287 MB at 1 bit per dot, more than the "
                            "240 MB a picture may take"));
}

// Each option on pictures whose dots can be counted: a grey ramp for the
// threshold and inversion, flat greys for the ordered pattern, sizes for
// fitting; and no option at all leaves loading as it was.
void TestBitmap::pictureOptionsShapeTheDots()
{
    const QImage photo = photoLike(150, 90);
    QCOMPARE(bitmap::printablePicture(photo, {}), bitmap::toPrintableMono(photo));

    QImage ramp(256, 1, QImage::Format_RGB32);
    for (int x = 0; x < 256; ++x)
        ramp.setPixel(x, 0, qRgb(x, x, x));
    bitmap::PictureOptions threshold;
    threshold.greys = bitmap::GreyToMono::Threshold;
    threshold.thresholdLevel = 100;
    QCOMPARE(bitmap::rasterRows(bitmap::printablePicture(ramp, threshold)),
             expectedRows(256, 1, [](int x, int) { return x < 100; }));
    threshold.invert = true;
    QCOMPARE(bitmap::rasterRows(bitmap::printablePicture(ramp, threshold)),
             expectedRows(256, 1, [](int x, int) { return x >= 100; }));

    bitmap::PictureOptions ordered;
    ordered.greys = bitmap::GreyToMono::Ordered;
    for (const auto &[grey, dots] : {std::pair{0, 64}, {64, 48}, {128, 32}, {255, 0}}) {
        QImage flat(8, 8, QImage::Format_RGB32);
        flat.fill(qRgb(grey, grey, grey));
        const QByteArray rows = bitmap::rasterRows(bitmap::printablePicture(flat, ordered));
        int count = 0;
        for (int y = 0; y < 8; ++y)
            count += qPopulationCount(quint8(rows[qsizetype(y) * 4]));
        QCOMPARE(count, dots);
    }

    bitmap::PictureOptions fit;
    fit.fitToWidth = true;
    QCOMPARE(bitmap::printablePicture(photoLike(100, 51), fit).size(), QSize(384, 196));
    fit.paperWidth = bitmap::widePrintWidth;
    const QImage fitted = bitmap::printablePicture(patternImage(1152, 10), fit);
    QCOMPARE(fitted.size(), QSize(576, 5));
    QImage clear(1152, 10, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    QCOMPARE(bitmap::rasterRows(bitmap::printablePicture(clear, fit)), QByteArray(qsizetype(72) * 5, '\0'));

    QCOMPARE(bitmap::printedSizeText(fitted, 576), QStringLiteral("Prints 576 x 5 dots, 72.0 x 0.6 mm"));
    QVERIFY(
        bitmap::printedSizeText(fitted, 384).endsWith(": wider than the paper (384 dots); choose \"Fit to width\""));
}

void TestBitmap::loadingReportsTheImage()
{
    RecordedWindow w;
    const QString mono = save(dir, "drawing%2.bmp", patternImage(200, 100));
    QVERIFY(KivoTestAccess::loadFile(w.window, mono));
    QCOMPARE(w.consoleText(),
             "Loading image:\nOpened \"" + mono
                 + "\"\nWidth: 200 pixel\nHeight: 100 pixel\nColor depth: 1\nBytes: 2800\n");

    w.console()->clear();
    QVERIFY(KivoTestAccess::loadFile(w.window, save(dir, "photo.png", photoLike(120, 70))));
    QVERIFY(w.consoleText().startsWith("Loading image:\nBitmap is not 1bpp (mono) trying to convert...\nOpened"));
    QCOMPARE(KivoTestAccess::preview(w.window)->image().size(), QSize(120, 70));

    // A file that does not load leaves the image as it was.
    const qint64 key = KivoTestAccess::loadedImage(w.window).cacheKey();
    ModalBoxCloser closer;
    QVERIFY(!KivoTestAccess::loadFile(w.window, saveBytes(dir, "broken.png", "\x89PNG\r\n\x1a\n cut")));
    QCOMPARE(closer.boxes.size(), 1);
    QCOMPARE(KivoTestAccess::loadedImage(w.window).cacheKey(), key);
}

void TestBitmap::printingRefusesWhatCannotPrint()
{
    RecordedWindow w;
    ModalBoxCloser closer;
    QPushButton *print = widget<QPushButton>(w.window, "pushButton_58PrintH");
    print->click();
    QCOMPARE(w.consoleText(), QStringLiteral("Validating if Bitmap can be printed\nNo Bitmap loaded"));
    QVERIFY(KivoTestAccess::loadFile(w.window, save(dir, "wide.bmp", patternImage(385, 20))));
    print->click();
    QCOMPARE(w.consoleText(), QStringLiteral("Validating if Bitmap can be printed\nBitmap too wide. Max 384 pixels"));
    QCOMPARE(closer.titles(), (QStringList{"Print Bitmap", "Print Bitmap"}));
    QCOMPARE(closer.boxes[0].text, QStringLiteral("No Bitmap loaded!"));
    QCOMPARE(closer.boxes[1].text,
             QStringLiteral("This tool allows printing only for bitmaps of up to 384 pixel wide!"));
    QVERIFY(w.device.writes.isEmpty());

    // The 80 mm paper takes the picture that 58 mm paper refused, and
    // refuses past its own width.
    widget<QComboBox>(w.window, "comboPaperWidth")->setCurrentIndex(1);
    print->click();
    QVERIFY(w.consoleText().startsWith("Validating if Bitmap can be printed\nValidating bitmap...\nBitmap sent: "));
    QVERIFY(KivoTestAccess::loadFile(w.window, save(dir, "wider.bmp", patternImage(577, 20))));
    w.device.clearWrites();
    print->click();
    QCOMPARE(w.consoleText(), QStringLiteral("Validating if Bitmap can be printed\nBitmap too wide. Max 576 pixels"));
    QCOMPARE(closer.boxes.last().text,
             QStringLiteral("This tool allows printing only for bitmaps of up to 576 pixel wide!"));
    QVERIFY(w.device.writes.isEmpty());
}

void TestBitmap::printingSendsResetAndTheRows()
{
    RecordedWindow w;
    QPushButton *print = widget<QPushButton>(w.window, "pushButton_58PrintH");
    // Black first in the file's palette: black still prints as dots. At
    // 115200 bit/s a band is a quarter second of the line: 2880 bytes, 60
    // rows of 384 dots.
    QVERIFY(KivoTestAccess::loadFile(w.window, save(dir, "full.png", patternImage(384, 100, true))));
    print->click();
    QVERIFY(
        w.consoleText().startsWith("Validating if Bitmap can be printed\nValidating bitmap...\nBitmap sent: 4818 "));
    const QByteArray rows = expectedRows(384, 100, patternDark);
    QCOMPARE(w.device.writes,
             (QList<QByteArray>{QByteArray::fromHex("1B40"), QByteArray::fromHex("1D76300030003C00"), rows.left(2880),
                                QByteArray::fromHex("1D76300030002800"), rows.mid(2880)}));
}

void TestBitmap::loadButtonRunsTheDialogUntilAFileLoads()
{
    // The first dialog opens in the desktop's picture folder.
    QTemporaryDir home;
    const QString pictures = home.filePath("My Pictures"), files = home.filePath("elsewhere");
    QVERIFY(QDir().mkpath(pictures) && QDir().mkpath(files) && QDir().mkpath(home.filePath("config")));
    saveBytes(home, "config/user-dirs.dirs", QStringLiteral("XDG_PICTURES_DIR=\"%1\"\n").arg(pictures).toUtf8());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.filePath("config")));
    const QString broken = files + "/broken.png", good = files + "/drawing.bmp";
    QVERIFY(saveBytes(home, "elsewhere/broken.png", "\x89PNG\r\n\x1a\n cut") == broken);
    QVERIFY(patternImage(200, 100).save(good));

    MainWindow window;
    QStringList answers{broken, good, QString()};
    QStringList folders;
    ModalBoxCloser closer;
    closer.otherModal = [&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog || !dialog->isVisible())
            return;
        folders << dialog->directory().absolutePath();
        QCOMPARE(dialog->selectedMimeTypeFilter(), QStringLiteral("image/bmp"));
        const QString answer = answers.takeFirst();
        if (answer.isEmpty())
            return dialog->reject();
        dialog->selectFile(answer);
        widget<QLineEdit>(*dialog, "fileNameEdit")->setText(QFileInfo(answer).fileName());
        QMetaObject::invokeMethod(dialog, "accept");
    };
    // The broken file is refused with a box and the dialog comes back.
    widget<QPushButton>(window, "pushButton_Load")->click();
    QCOMPARE(folders, (QStringList{pictures, files}));
    QCOMPARE(closer.boxes.size(), 1);
    QCOMPARE(KivoTestAccess::loadedImage(window).size(), QSize(200, 100));

    // A later dialog opens where the last one was left; cancelling keeps the
    // image and leaves the console the button cleared.
    widget<QPushButton>(window, "pushButton_Load")->click();
    QCOMPARE(folders.last(), files);
    QCOMPARE(KivoTestAccess::loadedImage(window).size(), QSize(200, 100));
    QCOMPARE(driver::console(window), QString());
}

QTEST_MAIN(TestBitmap)
#include "tst_bitmap.moc"
