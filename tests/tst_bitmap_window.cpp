// Loading an image into the window and printing it: what the console and
// the boxes say, what the preview keeps, and every byte sent for a picture.

#include "support/bitmaptesting.h"
#include "support/expectedstream.h"
#include "support/kivotestaccess.h"
#include "support/modalboxcloser.h"
#include "support/pseudoterminal.h"
#include "support/recordingdevice.h"
#include "support/windowdriver.h"

#include <QBuffer>
#include <QDir>
#include <QGuiApplication>
#include <QImageReader>
#include <QPlainTextEdit>
#include <QScopeGuard>
#include <QTest>

#include <memory>

using namespace bitmaptest;

namespace {

const QString noBitmap = QStringLiteral("No Bitmap loaded!");
const QString tooWide = QStringLiteral("This tool allows printing only for bitmaps of up to 384 pixel wide!");

QString reportOf(const QString &path, int width, int height, qsizetype bytes)
{
    return QStringLiteral("Opened \"%1\"\nWidth: %2 pixel\nHeight: %3 pixel\nColor depth: 1\nBytes: %4\n")
        .arg(path)
        .arg(width)
        .arg(height)
        .arg(bytes);
}

void quiet(QtMsgType, const QMessageLogContext &, const QString &) { }

} // namespace

class TestBitmapWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void loadingAOneBitBmpReportsIt();
    void loadingAColourImageConvertsItToOneBit();
    void unreadableFilesKeepThePreviousImage();
    void corruptAndTruncatedFilesNeverCrash();
    void previewShowsTheStoredImage();

    void printingNeedsAConnection();
    void printingWithoutAnImageSendsNothing();
    void printingRefusesImagesWiderThanTheHead();
    void fullWidthImageGoesOutAsOnePicture();
    void narrowImageSendsItsRowPaddingAsZero();
    void printingTwiceSendsTheSameStream();
    void blackFirstPaletteStillPrintsBlackAsDots();
    void tallImageGoesOutInConsecutiveCommands();
    void pictureArrivesOverARealLine();

private:
    QString loaded(const QString &path);
    bool load(const QString &path);
    void press(const char *slot) { driver::press(*window, slot); }

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<RecordingDevice> device;
    std::unique_ptr<ModalBoxCloser> closer;
    QTemporaryDir dir;
};

void TestBitmapWindow::init()
{
    window = std::make_unique<MainWindow>();
    device = std::make_unique<RecordingDevice>();
    KivoTestAccess::setWire(*window, device.get());
    device->open(QIODevice::ReadWrite);
    closer = std::make_unique<ModalBoxCloser>();
}

void TestBitmapWindow::cleanup()
{
    closer.reset();
    KivoTestAccess::setWire(*window, KivoTestAccess::serialPort(*window));
    window.reset();
    device.reset();
}

bool TestBitmapWindow::load(const QString &path)
{
    bool result = false;
    QMetaObject::invokeMethod(window.get(), "loadFile", Qt::DirectConnection, Q_RETURN_ARG(bool, result),
                              Q_ARG(QString, path));
    return result;
}

// Loads a file that must load, and returns the console.
QString TestBitmapWindow::loaded(const QString &path)
{
    if (path.isEmpty() || !load(path))
        qFatal("could not load %s", qPrintable(path));
    return driver::console(*window);
}

void TestBitmapWindow::loadingAOneBitBmpReportsIt()
{
    const QString path = save(dir, "drawing.bmp", patternImage(200, 100));
    QCOMPARE(loaded(path), "Loading image:\n" + reportOf(QDir::toNativeSeparators(path), 200, 100, 2800));
    const QImage &image = KivoTestAccess::loadedImage(*window);
    QCOMPARE(image.depth(), 1);
    QCOMPARE(image.size(), QSize(200, 100));
    QCOMPARE(window->windowFilePath(), path);
    QVERIFY(closer->boxes.isEmpty());
}

void TestBitmapWindow::loadingAColourImageConvertsItToOneBit()
{
    for (const char *format : {"bmp", "png", "jpg"}) {
        const QString path = save(dir, QStringLiteral("photo.%1").arg(format), photoLike(150, 60));
        widget<QPlainTextEdit>(*window, "editKivo")->clear();
        QCOMPARE(loaded(path),
                 "Loading image:\nBitmap is not 1bpp (mono) trying to convert...\n"
                     + reportOf(path, 150, 60, 1200)); // 20 bytes x 60 rows
        QCOMPARE(KivoTestAccess::loadedImage(*window).format(), QImage::Format_Mono);
    }
}

void TestBitmapWindow::unreadableFilesKeepThePreviousImage()
{
    const QString good = save(dir, "good.png", patternImage(64, 32));
    loaded(good);
    const qint64 imageKey = KivoTestAccess::loadedImage(*window).cacheKey();
    const qint64 previewKey = KivoTestAccess::previewLabel(*window)->pixmap().cacheKey();

    const QByteArray png = [&] {
        QFile f(good);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    const QStringList bad{
        dir.filePath("missing.bmp"),
        saveBytes(dir, "notes.bmp", "plain text, not an image"),
        saveBytes(dir, "cut.png", png.left(png.size() / 2)),
        saveBytes(dir, "huge.pgm", QByteArray("P5\n20000 20000\n255\n") + QByteArray(100, '\0')),
        dir.path(),
    };
    for (const QString &path : bad) {
        closer->boxes.clear();
        auto *console = widget<QPlainTextEdit>(*window, "editKivo");
        console->clear();
        console->insertPlainText("before");
        QVERIFY2(!load(path), qPrintable(path));

        QImageReader reader(path);
        reader.read();
        QCOMPARE(closer->boxes.size(), 1);
        QCOMPARE(closer->boxes[0].title, QGuiApplication::applicationDisplayName());
        QCOMPARE(closer->boxes[0].text,
                 QStringLiteral("Cannot load %1: %2").arg(QDir::toNativeSeparators(path), reader.errorString()));
        QCOMPARE(closer->boxes[0].icon, QMessageBox::Information);
        QCOMPARE(driver::console(*window), QStringLiteral("beforeLoading image:"));
        QCOMPARE(KivoTestAccess::loadedImage(*window).cacheKey(), imageKey);
        QCOMPARE(KivoTestAccess::previewLabel(*window)->pixmap().cacheKey(), previewKey);
        QCOMPARE(window->windowFilePath(), good);
    }
}

void TestBitmapWindow::corruptAndTruncatedFilesNeverCrash()
{
    const QImage photo = photoLike(60, 40);
    const QList<std::pair<const char *, QImage>> samples{
        {"png", photo},
        {"jpg", photo},
        {"bmp", photo},
        {"ppm", photo},
        {"xpm", photo},
        {"ico", photo},
        {"pbm", patternImage(60, 40)},
        {"xbm", patternImage(60, 40)},
        {"png", patternImage(60, 40, true)},
    };
    const QString good = save(dir, "good.bmp", patternImage(16, 16));
    loaded(good);
    const QImage before = KivoTestAccess::loadedImage(*window);

    // The readers complain about every damaged file; keep the log readable.
    const QtMessageHandler previousHandler = qInstallMessageHandler(quiet);
    const auto restore = qScopeGuard([previousHandler] { qInstallMessageHandler(previousHandler); });
    int failures = 0;
    int attempt = 0;
    for (const auto &[format, image] : samples) {
        QByteArray bytes;
        {
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            QVERIFY(image.save(&buffer, format));
        }
        QList<QByteArray> damaged;
        for (int percent : {1, 5, 20, 50, 80, 95, 99})
            damaged << bytes.left(bytes.size() * percent / 100);
        for (int at : {2, 8, 16, 30, int(bytes.size() / 3), int(bytes.size() / 2)}) {
            QByteArray corrupt = bytes;
            for (int i = at; i < at + 12 && i < corrupt.size(); ++i)
                corrupt[i] = char(corrupt[i] ^ 0x5A);
            damaged << corrupt;
        }
        for (const QByteArray &data : damaged) {
            const QString path = saveBytes(dir, QStringLiteral("damaged%1.%2").arg(++attempt).arg(format), data);
            if (load(path)) {
                // What a reader still makes of the file is in the 1-bit form.
                const QImage &now = KivoTestAccess::loadedImage(*window);
                QCOMPARE(now.format(), QImage::Format_Mono);
                QVERIFY(qGray(now.color(1)) <= qGray(now.color(0)));
            } else {
                ++failures;
                QCOMPARE(KivoTestAccess::loadedImage(*window), before);
            }
            if (!load(good))
                QFAIL("the good file no longer loads");
        }
    }
    QVERIFY(failures > 20); // most damage is caught by the readers
}

void TestBitmapWindow::previewShowsTheStoredImage()
{
    // Black at index 0 of the file's palette: the preview still shows the
    // file's black pixels black, at one screen pixel per image pixel.
    const QImage source = patternImage(90, 30, true);
    loaded(save(dir, "blackfirst.png", source));
    const QPixmap preview = KivoTestAccess::previewLabel(*window)->pixmap();
    QCOMPARE(preview.size(), QSize(90, 30));
    QCOMPARE(preview.toImage().convertToFormat(QImage::Format_RGB32), source.convertToFormat(QImage::Format_RGB32));
}

void TestBitmapWindow::printingNeedsAConnection()
{
    loaded(save(dir, "small.bmp", patternImage(40, 10)));
    device->close();
    press("on_pushButton_58PrintH_released");
    QCOMPARE(closer->titles(), QStringList{"Serial Port Connect"});
    QCOMPARE(closer->boxes[0].text, QStringLiteral("Please configure and connect to the serial port first!"));
    QVERIFY(device->writes.isEmpty());
    QVERIFY(driver::console(*window).startsWith("Loading image:"));
}

void TestBitmapWindow::printingWithoutAnImageSendsNothing()
{
    press("on_pushButton_58PrintH_released");
    QCOMPARE(driver::console(*window), QStringLiteral("Validating if Bitmap can be printed\nNo Bitmap loaded"));
    QCOMPARE(closer->boxes.size(), 1);
    QCOMPARE(closer->boxes[0].title, QStringLiteral("Print Bitmap"));
    QCOMPARE(closer->boxes[0].text, noBitmap);
    QVERIFY(device->writes.isEmpty());
}

void TestBitmapWindow::printingRefusesImagesWiderThanTheHead()
{
    loaded(save(dir, "wide.bmp", patternImage(385, 20)));
    press("on_pushButton_58PrintH_released");
    QCOMPARE(driver::console(*window),
             QStringLiteral("Validating if Bitmap can be printed\nBitmap too wide. Max 384 pixels"));
    QCOMPARE(closer->boxes.size(), 1);
    QCOMPARE(closer->boxes[0].title, QStringLiteral("Print Bitmap"));
    QCOMPARE(closer->boxes[0].text, tooWide);
    QVERIFY(device->writes.isEmpty());

    loaded(save(dir, "full.bmp", patternImage(384, 20)));
    press("on_pushButton_58PrintH_released");
    QCOMPARE(closer->boxes.size(), 1);
    QVERIFY(!device->writes.isEmpty());
}

void TestBitmapWindow::fullWidthImageGoesOutAsOnePicture()
{
    loaded(save(dir, "full.bmp", patternImage(384, 100)));
    press("on_pushButton_58PrintH_released");
    QCOMPARE(driver::console(*window), QStringLiteral("Validating if Bitmap can be printed\nValidating bitmap..."));
    QVERIFY(closer->boxes.isEmpty());
    QCOMPARE(device->writeLengths(), (QList<int>{2, 8, 4800}));
    const QByteArray expected =
        ExpectedStream().hex("1B 40").hex("1D 76 30 00 30 00 64 00").raw(expectedPatternRows(384, 100)).bytes;
    QVERIFY(device->stream() == expected);
}

void TestBitmapWindow::narrowImageSendsItsRowPaddingAsZero()
{
    // Converted by Qt from colour: Qt leaves its padding dirty.
    const QImage photo = photoLike(100, 50);
    loaded(save(dir, "photo.png", photo));
    press("on_pushButton_58PrintH_released");
    QCOMPARE(device->writeLengths(), (QList<int>{2, 8, 800}));
    QCOMPARE(device->writes[1], QByteArray::fromHex("1D76300010003200"));
    const QByteArray &data = device->writes[2];
    for (int y = 0; y < 50; ++y) {
        const QByteArray row = data.mid(qsizetype(y) * 16, 16);
        QCOMPARE(row[12] & 0x0F, 0); // pixels 100 to 103
        QCOMPARE(row.mid(13), QByteArray(3, '\0'));
    }
    // And the dots are the preview's dark pixels.
    QCOMPARE(data, expectedRowsOfShown(KivoTestAccess::previewLabel(*window)->pixmap().toImage()));
    QVERIFY(data.count('\0') < 800); // not blank

    device->clearWrites();
    loaded(save(dir, "pattern.bmp", patternImage(100, 50)));
    press("on_pushButton_58PrintH_released");
    QVERIFY(device->stream()
            == ExpectedStream().printerSoftInit().picturePrintH(16, 50, expectedPatternRows(100, 50)).bytes);
}

void TestBitmapWindow::printingTwiceSendsTheSameStream()
{
    loaded(save(dir, "photo.jpg", photoLike(201, 77)));
    press("on_pushButton_58PrintH_released");
    const QList<QByteArray> first = device->writes;
    device->clearWrites();
    press("on_pushButton_58PrintH_released");
    QCOMPARE(device->writes, first);
    QCOMPARE(first.size(), 3);
    QCOMPARE(first[2].size(), 28 * 77);
}

void TestBitmapWindow::blackFirstPaletteStillPrintsBlackAsDots()
{
    // An indexed PNG with the palette (black, white): Qt keeps black as 0.
    const QString path = save(dir, "blackfirst.png", patternImage(120, 40, true));
    QImageReader reader(path);
    const QImage asRead = reader.read();
    QCOMPARE(asRead.format(), QImage::Format_Mono);
    QCOMPARE(asRead.color(0), 0xFF000000u);

    loaded(path);
    press("on_pushButton_58PrintH_released");
    QVERIFY(device->stream()
            == ExpectedStream().printerSoftInit().picturePrintH(16, 40, expectedPatternRows(120, 40)).bytes);
}

void TestBitmapWindow::tallImageGoesOutInConsecutiveCommands()
{
    const QImage tall = patternImage(384, 70000);
    loaded(save(dir, "tall.png", tall));
    QVERIFY(driver::console(*window).contains("Height: 70000 pixel\n"));
    press("on_pushButton_58PrintH_released");

    const QByteArray rows = expectedPatternRows(384, 70000);
    QCOMPARE(device->writeLengths(), (QList<int>{2, 8, 48 * 65535, 8, 48 * 4465}));
    const QByteArray expected = ExpectedStream()
                                    .printerSoftInit()
                                    .picturePrintH(48, 65535, rows.left(qsizetype(48) * 65535))
                                    .picturePrintH(48, 4465, rows.mid(qsizetype(48) * 65535))
                                    .bytes;
    QVERIFY(device->stream() == expected);
}

void TestBitmapWindow::pictureArrivesOverARealLine()
{
    KivoTestAccess::setWire(*window, KivoTestAccess::serialPort(*window));
    PseudoTerminal pty;
    QVERIFY(pty.isValid());
    QVERIFY(driver::connectTo(*window, pty.slavePath()));

    loaded(save(dir, "line.png", patternImage(100, 50, true)));
    press("on_pushButton_58PrintH_released");
    const QByteArray expected =
        ExpectedStream().printerSoftInit().picturePrintH(16, 50, expectedPatternRows(100, 50)).bytes;
    const QByteArray received = pty.read(expected.size() + 1, 3000);
    QCOMPARE(received.size(), expected.size());
    QVERIFY(received == expected);
    QVERIFY(closer->boxes.isEmpty());
}

QTEST_MAIN(TestBitmapWindow)
#include "tst_bitmap_window.moc"
