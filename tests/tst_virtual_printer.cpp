// The program against the virtual printer: every demonstration goes from
// its button through the settings dialog's "Custom" port, a real
// pseudo-terminal and the virtual printer's receive buffer into its decoder
// and renderer. The pages that come out are checked as a person would check
// paper: the pictures dot for dot against the data the program carries, the
// bar codes and QR codes with a scanner (zbarimg), the replies in the
// console, and nothing lost while flow control holds the sender back.

#include "support/bitmaptesting.h"
#include "support/modalboxcloser.h"
#include "support/windowdriver.h"

#include "demos/pictures.h"

#include "service.h"

#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSerialPort>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <utility>

namespace {

// How the line and the virtual printer are set up for one run.
struct LineSetup {
    QString hostFlow = QStringLiteral("XON/XOFF");
    kvp::FlowMode printerFlow = kvp::FlowMode::XonXoff;
    std::size_t buffer = 16384;
    double printSpeed = 250000;  // bytes/s
    int lineRate = 2000000;      // bit/s; 0 follows the host's 115200
    int maxPage = 20000;         // dots
};

// A window connected to a virtual printer of its own, in-process. Pages end
// at cuts, label marks and when the run finishes; the silence timeout is
// set out of reach so that a slow machine cannot split a page.
class Run
{
public:
    Run(const QString &root, const QString &name, const LineSetup &setup = {})
        : service(settingsFor(root, name, setup))
        , hostFlow(setup.hostFlow)
    {
        QObject::connect(&service, &kvp::Service::logLine, &service, [this](const QString &line) { log << line; });
        QObject::connect(&service, &kvp::Service::pageWritten, &service,
                         [this](const QString &path, const QImage &image) {
                             pageFiles << path;
                             pages << image;
                         });
        port = KivoTestAccess::serialPort(window);
    }

    ~Run() { finish(); }

    // Starts the virtual printer and connects the window to its link the way
    // a user does: Settings, "Custom", the path, Apply, Connect.
    bool start()
    {
        QString error;
        if (!service.start(&error)) {
            qWarning("virtual printer: %s", qPrintable(error));
            return false;
        }
        window.show();
        return driver::connectTo(window, service.linkPath(), hostFlow);
    }

    // Does what `action` does to the window (a button, a command slot) and
    // counts the bytes it hands to the port. The port sends only from the
    // event loop, so they are all still queued when the action returns.
    template <typename Action>
    void act(Action action)
    {
        const qint64 before = port->bytesToWrite();
        action();
        handed += port->bytesToWrite() - before;
    }
    void press(const char *slot)
    {
        act([&] { driver::press(window, slot); });
    }

    // Waits until the printer has decoded every byte handed to the port.
    // Gives up only when nothing moves for `stallMs`.
    bool drained(int stallMs = 10000)
    {
        QElapsedTimer still;
        still.start();
        quint64 lastDecoded = decoded();
        qint64 lastQueued = port->bytesToWrite();
        while (decoded() != quint64(handed)) {
            QTest::qWait(5);
            if (decoded() != lastDecoded || port->bytesToWrite() != lastQueued) {
                lastDecoded = decoded();
                lastQueued = port->bytesToWrite();
                still.restart();
            } else if (still.elapsed() > stallMs) {
                qWarning("stalled: %lld bytes handed to the port, %lld of them still queued there; %llu decoded, %llu lost",
                         handed, port->bytesToWrite(), decoded(), lost());
                return false;
            }
        }
        return port->bytesToWrite() == 0;
    }

    // Disconnects and stops the printer, which writes its last page.
    void finish()
    {
        if (!service.isRunning())
            return;
        if (port->isOpen())
            widget<QAction>(window, "actionDisconnect")->trigger();
        service.stop();
    }

    quint64 decoded() { return service.printer().decodedBytes(); }
    quint64 lost() { return service.printer().buffer().lost(); }
    QString console() { return driver::console(window); }

    // Runs the event loop until the console satisfies `done`.
    template <typename Done>
    bool waitForConsole(Done done, int timeoutMs = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!done(console()) && timer.elapsed() < timeoutMs)
            QTest::qWait(5);
        return done(console());
    }

    // Why each page ended, from the log ("full cut", "end of stream", ...).
    QStringList pageEnds() const
    {
        static const QRegularExpression ended(QStringLiteral("ended by ([^)]*)\\)$"));
        QStringList reasons;
        for (const QString &line : log) {
            const QRegularExpressionMatch m = ended.match(line);
            if (m.hasMatch())
                reasons << m.captured(1);
        }
        return reasons;
    }

    // Log lines that show the controller could not read the stream: bytes
    // skipped, an unknown command, a command cut short or malformed.
    QStringList decodingErrors() const
    {
        QStringList bad;
        for (const QString &line : log) {
            if (line.startsWith(QLatin1String("--------")))
                continue;
            // offset, two spaces, the bytes (never two spaces inside), two
            // spaces, the name
            const qsizetype gap = line.indexOf(QLatin1String("  "), 10);
            const QString name = line.mid(gap).trimmed().section(QLatin1Char(' '), 0, 0);
            if (name == QLatin1String("skip") || name == QLatin1String("unknown")
                || line.contains(QLatin1String("[truncated")) || line.contains(QLatin1String("malformed")))
                bad << line;
        }
        return bad;
    }

    bool logContains(const QString &text) const
    {
        for (const QString &line : log)
            if (line.contains(text))
                return true;
        return false;
    }

    kvp::Service service;
    MainWindow window;
    ModalBoxCloser boxes;
    QSerialPort *port = nullptr;
    QString hostFlow;
    qint64 handed = 0;
    QStringList log;
    QList<QImage> pages;
    QStringList pageFiles;

private:
    static kvp::ServiceSettings settingsFor(const QString &root, const QString &name, const LineSetup &setup)
    {
        kvp::ServiceSettings s;
        s.linkPath = root + QStringLiteral("/printer");
        s.outputDir = root + QStringLiteral("/") + name;
        s.flashPath = root + QStringLiteral("/flash.txt");
        s.lineRate = setup.lineRate;
        s.printer.flow = setup.printerFlow;
        s.printer.bufferSize = setup.buffer;
        s.printer.printBytesPerSecond = setup.printSpeed;
        s.printer.silenceMs = std::int64_t(3600) * 1000;
        s.printer.core.maxPageDots = setup.maxPage;
        return s;
    }
};

// A raster picture as dots: (x, y) is inked when its bit is 1.
struct Dots {
    const uchar *data;
    int bytesPerRow;
    int rows;

    int width() const { return bytesPerRow * 8; }
    bool at(int x, int y) const { return data[qsizetype(y) * bytesPerRow + x / 8] & (0x80 >> (x % 8)); }
};

Dots dotsOf(const RasterPicture &p)
{
    return {p.data, p.bytesPerRow, p.rows};
}

Dots dotsOf(const QByteArray &rows, int bytesPerRow)
{
    return {reinterpret_cast<const uchar *>(rows.constData()), bytesPerRow, int(rows.size() / bytesPerRow)};
}

bool inked(const QImage &page, int x, int y)
{
    return page.constScanLine(y)[x] < 128;
}

// Where `picture` stands on `page`: the top left corner of a rectangle of
// the picture's size in which every dot, inked or blank, agrees with the
// picture's bits. (-1, -1) when there is none.
QPoint locate(const QImage &page, const Dots &picture)
{
    int firstX = -1, firstY = -1;
    for (int y = 0; y < picture.rows && firstY < 0; ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (picture.at(x, y)) {
                firstX = x;
                firstY = y;
                break;
            }
    if (firstY < 0 || page.format() != QImage::Format_Grayscale8)
        return {-1, -1};

    auto matchesAt = [&](int left, int top) {
        if (left < 0 || top < 0 || left + picture.width() > page.width() || top + picture.rows > page.height())
            return false;
        for (int y = 0; y < picture.rows; ++y) {
            const uchar *line = page.constScanLine(top + y) + left;
            for (int x = 0; x < picture.width(); ++x)
                if ((line[x] < 128) != picture.at(x, y))
                    return false;
        }
        return true;
    };
    for (int y = firstY; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (inked(page, x, y) && matchesAt(x - firstX, y - firstY))
                return {x - firstX, y - firstY};
    return {-1, -1};
}

// What a bar code scanner reads on a page: one "TYPE:data" line per symbol.
QStringList scan(const QString &pngPath)
{
    const QString zbarimg = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
    if (zbarimg.isEmpty())
        return {QStringLiteral("zbarimg is not installed (tools/setup-debian.sh installs zbar-tools)")};
    QProcess zbar;
    zbar.start(zbarimg, {QStringLiteral("--quiet"), pngPath});
    if (!zbar.waitForFinished(20000))
        return {QStringLiteral("zbarimg did not finish")};
    return QString::fromUtf8(zbar.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The GS1 check digit of a string of digits (weights 3, 1, ... from the right).
QChar gs1CheckDigit(const QString &digits)
{
    int sum = 0;
    for (qsizetype i = 0; i < digits.size(); ++i)
        sum += digits[digits.size() - 1 - i].digitValue() * (i % 2 == 0 ? 3 : 1);
    return QChar('0' + (10 - sum % 10) % 10);
}

// A UPC-E code (number system 0, six digits) written out as the UPC-A code
// it stands for; its check digit is that code's.
QString upcEExpanded(const QString &d)
{
    switch (d[5].digitValue()) {
    case 0:
    case 1:
    case 2:
        return QStringLiteral("0") + d.left(2) + d[5] + QStringLiteral("0000") + d.mid(2, 3);
    case 3:
        return QStringLiteral("0") + d.left(3) + QStringLiteral("00000") + d.mid(3, 2);
    case 4:
        return QStringLiteral("0") + d.left(4) + QStringLiteral("00000") + d[4];
    default:
        return QStringLiteral("0") + d.left(5) + QStringLiteral("0000") + d[5];
    }
}

QByteArray randomRows(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, '\0');
    for (char &byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = char(seed >> 24);
    }
    return bytes;
}

} // namespace

class TestVirtualPrinter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void unreadableInputShowsInTheLog();
    void everyDemonstrationDecodesCleanly_data();
    void everyDemonstrationDecodesCleanly();
    void embeddedPicturesPrintDotForDot();
    void loadedImagesPrintAsPreviewed();
    void barcodesScanToTheirData_data();
    void barcodesScanToTheirData();
    void qrCodesScanToTheirData();
    void repliesShowInTheConsole();
    void headButtonsReachTheFlash();
    void applyChangesTheControllerUart();
    void xonXoffDeliversEverything();
    void withoutFlowControlTheLossIsLogged();

private:
    QString root() const { return dir->path(); }
    std::unique_ptr<QTemporaryDir> dir;
};

void TestVirtualPrinter::initTestCase()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestVirtualPrinter::cleanupTestCase()
{
    // The flash outlives every run: whatever a case chose, head type 0 is back.
    QFile flash(root() + QStringLiteral("/flash.txt"));
    if (flash.open(QIODevice::ReadOnly))
        QVERIFY2(flash.readAll().contains("head-type=0"), "a case left another head type in the flash");
}

// What the cases below look for in the log: an unknown command, a byte
// that is neither command nor text, a picture cut short by the end.
void TestVirtualPrinter::unreadableInputShowsInTheLog()
{
    Run run(root(), QStringLiteral("unreadable"));
    QVERIFY(run.start());
    static const uint8_t bytes[] = {0x1B, 0xFE, 0x07, 'o', 'k', 0x0A, 0x1D, 0x76, 0x30, 0x00, 0x02, 0x00, 0x10, 0x00, 0xFF};
    run.act([&] {
        QMetaObject::invokeMethod(&run.window, "Write", Q_ARG(const uint8_t *, bytes), Q_ARG(size_t, sizeof bytes));
    });
    QCOMPARE(run.handed, qint64(sizeof bytes));
    QVERIFY(run.drained());
    run.finish();

    const QStringList errors = run.decodingErrors();
    QCOMPARE(errors.size(), 3);
    QVERIFY2(errors[0].startsWith(QLatin1String("00000000  1B FE")) && errors[0].contains(QLatin1String(" unknown")),
             qPrintable(errors[0]));
    QVERIFY2(errors[1].startsWith(QLatin1String("00000002  07")) && errors[1].contains(QLatin1String(" skip")),
             qPrintable(errors[1]));
    QVERIFY2(errors[2].startsWith(QLatin1String("00000006  1D 76 30 00")) && errors[2].contains(QLatin1String("[truncated")),
             qPrintable(errors[2]));
}

void TestVirtualPrinter::everyDemonstrationDecodesCleanly_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QStringList>("pageEnds");

    const QStringList none;
    const QStringList one {QStringLiteral("end of stream")};
    const struct {
        const char *slot;
        QStringList ends;
    } rows[] = {
        {"on_pushButtonFont_released", one},
        {"on_pushButtonAttributes_released", one},
        {"on_pushButtonDensity_released", one},
        {"on_pushButtonFormatting_released", one},
        {"on_pushButtonTabs_released", one},
        {"on_pushButtonLanguage_released", one},
        {"on_pushButtonReceipt_released", one},
        {"on_pushButtonReceiptFullCut_released", {QStringLiteral("full cut")}},
        {"on_pushButtonReceiptPartialCut_released", {QStringLiteral("partial cut")}},
        {"on_pushButtonYesText_released", none},
        {"on_pushButtonBarcodeUPCA_released", one},
        {"on_pushButtonBarcodeUPCE_released", one},
        {"on_pushButtonBarcodeEAN13_released", one},
        {"on_pushButtonBarcodeEAN8_released", one},
        {"on_pushButtonBarcodeCODE39_released", one},
        {"on_pushButtonBarcodeITF25_released", one},
        {"on_pushButtonBarcodeCODABAR_released", one},
        {"on_pushButtonBarcodeCODE93_released", one},
        {"on_pushButtonBarcodeCODE128A_released", one},
        {"on_pushButtonNoText_released", none},
        {"on_pushButtonBitmap_released", one},
        {"on_pushButtonReset_released", none},
        {"on_pushButtonClear_released", none},
        {"on_pushButton_LineFeed_released", none},
        {"on_pushButtonFullCut_released", none},
        {"on_pushButtonPartialCut_released", none},
        {"on_pushButtonPowerManagment_released", none},
        {"on_pushButtonNextLabel_pressed", none},
        {"on_pushButtonTestLabel_released", {QStringLiteral("next label")}},
        {"on_pushButtonVersion_released", none},
        {"on_pushButtonStatus_released", none},
        // The other ten head buttons change the flash for the cases after
        // them; headButtonsReachTheFlash runs them all and puts type 0 back.
        {"on_pushButtonFTP628_released", none},
        {"on_pushButtonApply_released", none},
        {"on_pushButton_58PrintH_released", one},
    };
    for (const auto &row : rows)
        QTest::newRow(row.slot) << QByteArray(row.slot) << row.ends;
}

// Each button on a fresh line: the whole script reaches the printer's
// decoder, nothing in it is unreadable, and it prints the pages it should.
void TestVirtualPrinter::everyDemonstrationDecodesCleanly()
{
    QFETCH(QByteArray, slot);
    QFETCH(QStringList, pageEnds);

    Run run(root(), QString::fromLatin1(slot));
    QVERIFY(run.start());
    if (slot == "on_pushButton_58PrintH_released") {
        const QTemporaryDir images;
        const QString path = bitmaptest::save(images, QStringLiteral("pattern.png"), bitmaptest::patternImage(120, 40));
        bool loaded = false;
        QMetaObject::invokeMethod(&run.window, "loadFile", Q_RETURN_ARG(bool, loaded), Q_ARG(QString, path));
        QVERIFY(loaded);
    }
    run.press(slot.constData());
    QVERIFY(run.handed > 0);
    QVERIFY(run.drained());
    run.finish();

    QVERIFY2(run.decodingErrors().isEmpty(), qPrintable(run.decodingErrors().join(QLatin1Char('\n'))));
    QCOMPARE(run.lost(), quint64(0));
    QCOMPARE(run.pageEnds(), pageEnds);
    QCOMPARE(run.pages.size(), pageEnds.size());
    for (const QImage &page : std::as_const(run.pages)) {
        QCOMPARE(page.width(), 384);
        QVERIFY(page.height() > 0);
    }
    QVERIFY2(run.boxes.boxes.isEmpty(), qPrintable(run.boxes.titles().join(QLatin1String(", "))));
}

// The stored pictures of Quick Test, the receipt and the QR sample come
// back from the paper exactly as the program carries them.
void TestVirtualPrinter::embeddedPicturesPrintDotForDot()
{
    const struct {
        const char *slot;
        QList<std::pair<const char *, const RasterPicture *>> pictures;
    } samples[] = {
        {"on_pushButtonFont_released",
         {{"featureLogoBitmap", &featureLogoBitmap},
          {"arrowSymbolsBitmap", &arrowSymbolsBitmap},
          {"circledDigitsBitmap", &circledDigitsBitmap},
          {"rasterSampleBitmap", &rasterSampleBitmap}}},
        {"on_pushButtonReceipt_released", {{"receiptHeaderBitmap", &receiptHeaderBitmap}}},
        {"on_pushButtonBitmap_released", {{"qrSampleBitmap", &qrSampleBitmap}}},
    };
    for (const auto &sample : samples) {
        Run run(root(), QStringLiteral("pictures-") + QLatin1String(sample.slot));
        QVERIFY(run.start());
        run.press(sample.slot);
        QVERIFY(run.drained());
        run.finish();
        QCOMPARE(run.pages.size(), 1);
        const QImage &page = run.pages[0];

        int previousTop = -1;
        for (const auto &[name, picture] : sample.pictures) {
            const QPoint at = locate(page, dotsOf(*picture));
            QVERIFY2(at.y() >= 0, name);
            // Left aligned, one below the other in the order sent.
            QCOMPARE(at.x(), 0);
            QVERIFY2(at.y() > previousTop, name);
            previousTop = at.y();

            // One dot different, and it is not there.
            QByteArray altered(reinterpret_cast<const char *>(picture->data), qsizetype(picture->size()));
            altered[altered.size() / 2] = char(altered[altered.size() / 2] ^ 0x08);
            QVERIFY2(locate(page, dotsOf(altered, picture->bytesPerRow)).y() < 0, name);
        }
    }
}

// Print Raster Image sends what the preview shows: a 1-bit picture with its
// row padding, and a colour photo after its conversion.
void TestVirtualPrinter::loadedImagesPrintAsPreviewed()
{
    Run run(root(), QStringLiteral("loaded-images"));
    QVERIFY(run.start());
    const QTemporaryDir images;
    QVERIFY(images.isValid());

    const struct {
        QString file;
        QImage image;
    } inputs[] = {
        {QStringLiteral("pattern.bmp"), bitmaptest::patternImage(200, 120)},
        {QStringLiteral("pattern-dark-first.png"), bitmaptest::patternImage(97, 33, true)},
        {QStringLiteral("photo.png"), bitmaptest::photoLike(384, 150)},
    };
    QList<QByteArray> expected;
    for (const auto &input : inputs) {
        const QString path = bitmaptest::save(images, input.file, input.image);
        QVERIFY(!path.isEmpty());
        bool loaded = false;
        QMetaObject::invokeMethod(&run.window, "loadFile", Q_RETURN_ARG(bool, loaded), Q_ARG(QString, path));
        QVERIFY(loaded);
        // The rows the paper must show: dark where the preview is dark, the
        // padding up to the row's 32-bit boundary blank.
        expected << bitmaptest::expectedRowsOfShown(KivoTestAccess::loadedImage(run.window));
        run.press("on_pushButton_58PrintH_released");
    }
    QCOMPARE(expected[0], bitmaptest::expectedPatternRows(200, 120));
    QVERIFY(run.drained());
    run.finish();
    QCOMPARE(run.pages.size(), 1);

    int previousTop = -1;
    for (int i = 0; i < expected.size(); ++i) {
        const int bytesPerRow = bitmaptest::rowBytes(inputs[i].image.width());
        const QPoint at = locate(run.pages[0], dotsOf(expected[i], bytesPerRow));
        QVERIFY2(at.y() > previousTop, qPrintable(inputs[i].file));
        QCOMPARE(at.x(), 0);
        previousTop = at.y();
    }
}

void TestVirtualPrinter::barcodesScanToTheirData_data()
{
    QTest::addColumn<QByteArray>("slot");
    QTest::addColumn<QString>("scanned");

    const QString upcA = QStringLiteral("01234567890");
    const QString ean13 = QStringLiteral("012345678901");
    const QString ean8 = QStringLiteral("0123456");
    const QString upcE = QStringLiteral("012345");
    // A UPC-A symbol is an EAN-13 symbol whose first digit is 0; that is
    // how the scanner reports it.
    QTest::newRow("UPC-A") << QByteArray("on_pushButtonBarcodeUPCA_released")
                           << QStringLiteral("EAN-13:0") + upcA + gs1CheckDigit(upcA);
    // UPC-E comes back written out as the UPC-A code it stands for.
    const QString upcEasA = upcEExpanded(upcE);
    QTest::newRow("UPC-E") << QByteArray("on_pushButtonBarcodeUPCE_released")
                           << QStringLiteral("EAN-13:0") + upcEasA + gs1CheckDigit(upcEasA);
    QTest::newRow("EAN-13") << QByteArray("on_pushButtonBarcodeEAN13_released")
                            << QStringLiteral("EAN-13:") + ean13 + gs1CheckDigit(ean13);
    QTest::newRow("EAN-8") << QByteArray("on_pushButtonBarcodeEAN8_released")
                           << QStringLiteral("EAN-8:") + ean8 + gs1CheckDigit(ean8);
    QTest::newRow("Code 39") << QByteArray("on_pushButtonBarcodeCODE39_released") << QStringLiteral("CODE-39:123456VX022");
    QTest::newRow("ITF") << QByteArray("on_pushButtonBarcodeITF25_released") << QStringLiteral("I2/5:12345678");
    QTest::newRow("Codabar") << QByteArray("on_pushButtonBarcodeCODABAR_released") << QStringLiteral("Codabar:A123456A");
    QTest::newRow("Code 93") << QByteArray("on_pushButtonBarcodeCODE93_released") << QStringLiteral("CODE-93:12345678");
    QTest::newRow("Code 128") << QByteArray("on_pushButtonBarcodeCODE128A_released") << QStringLiteral("CODE-128:12345678");
}

// The nine samples with their text line on and the left margin option, as
// they come out of the printer, read by a scanner.
void TestVirtualPrinter::barcodesScanToTheirData()
{
    QFETCH(QByteArray, slot);
    QFETCH(QString, scanned);

    Run run(root(), QStringLiteral("scan-") + QString::fromLatin1(slot));
    QVERIFY(run.start());
    widget<QCheckBox>(run.window, "checkBoxBarCodeMargin")->setChecked(true);
    run.press("on_pushButtonYesText_released");
    run.press(slot.constData());
    QVERIFY(run.drained());
    run.finish();
    QCOMPARE(run.pageFiles.size(), 1);
    QCOMPARE(scan(run.pageFiles[0]), QStringList {scanned});
}

// The stored QR picture, and codes the printer draws itself from the QR
// commands with different module sizes and error correction levels.
void TestVirtualPrinter::qrCodesScanToTheirData()
{
    Run run(root(), QStringLiteral("qr"));
    QVERIFY(run.start());
    run.press("on_pushButtonBitmap_released");
    const QByteArray first = "Printer Kivo QR commands: module 3, level L";
    const QByteArray second = "https://printer-kivo.invalid/receipt?id=0042&total=29.23 level H, module 6";
    const struct {
        uint8_t module;
        uint8_t level;
        const QByteArray &data;
    } codes[] = {{3, 0, first}, {6, 3, second}};
    for (const auto &code : codes) {
        bool called = true;
        run.act([&] {
            MainWindow *w = &run.window;
            called &= QMetaObject::invokeMethod(w, "setQRSizeVersion", Q_ARG(uint8_t, code.module));
            called &= QMetaObject::invokeMethod(w, "setQRcodeErrorCorrection", Q_ARG(uint8_t, code.level));
            called &= QMetaObject::invokeMethod(w, "transferQRcodeData", Q_ARG(uint16_t, uint16_t(code.data.size())),
                                                Q_ARG(const uint8_t *, reinterpret_cast<const uint8_t *>(code.data.constData())));
            called &= QMetaObject::invokeMethod(w, "printQRcodeData");
        });
        QVERIFY(called);
    }
    QVERIFY(run.drained());
    run.finish();
    QVERIFY2(run.decodingErrors().isEmpty(), qPrintable(run.decodingErrors().join(QLatin1Char('\n'))));
    QCOMPARE(run.pageFiles.size(), 1);

    QStringList found = scan(run.pageFiles[0]);
    found.sort();
    QStringList wanted {QStringLiteral("QR-Code:Printer Kivo VX02x sample"), QStringLiteral("QR-Code:") + first,
                        QStringLiteral("QR-Code:") + second};
    wanted.sort();
    QCOMPARE(found, wanted);
}

// Version and Status show the controller's answers, and only those.
void TestVirtualPrinter::repliesShowInTheConsole()
{
    Run run(root(), QStringLiteral("replies"));
    QVERIFY(run.start());

    run.press("on_pushButtonVersion_released");
    QVERIFY(run.waitForConsole([](const QString &text) { return text.endsWith(QLatin1Char('\n')); }));
    QCOMPARE(run.console(), QStringLiteral("VX02x virtual controller, firmware 1.22 (2020-06-15), Printer Kivo virtual "
                                           "printer; head type 0: 58mm FTP628MCL101, 384 dots; UART 115200 bit/s, XON/XOFF\n"));

    // An idle controller with a 58 mm head: 0x10. Pressing again clears the
    // previous answer first.
    run.press("on_pushButtonStatus_released");
    QVERIFY(run.waitForConsole([](const QString &text) { return !text.startsWith(QLatin1String("VX02x")) && !text.isEmpty(); }));
    QTest::qWait(50);
    QCOMPARE(run.console(), QString(QChar(0x10)));

    // A line still waiting for its line feed shows in the next status.
    const char pending[] = "no line feed yet";
    run.act([&] { QMetaObject::invokeMethod(&run.window, "printStr", Q_ARG(const char *, pending)); });
    run.press("on_pushButtonStatus_released");
    QVERIFY(run.waitForConsole([](const QString &text) { return !text.isEmpty(); }));
    QTest::qWait(50);
    QCOMPARE(run.console(), QString(QChar(0x14)));
    QVERIFY(run.drained());
}

// Every head button stores its type in the controller's flash: the version
// answer names the type and the controller family the console announced,
// the status shows the 80 mm heads. FTP628 puts type 0 back.
void TestVirtualPrinter::headButtonsReachTheFlash()
{
    const char *const heads[] = {
        "on_pushButtonFTP628_released",   "on_pushButtonFTP638_released", "on_pushButtonLTP0213_released",
        "on_pushButtonLTP02C1_released",  "on_pushButton58_384_released", "on_pushButton80_576_released",
        "on_pushButtonM23_H69_pressed",   "on_pushButtonM23_SX_released", "on_pushButtonSeiko345_released",
        "on_pushButtonPT486HLV_released", "on_pushButtonJX2R39BQ_released",
    };
    Run run(root(), QStringLiteral("heads"));
    QVERIFY(run.start());
    // However this case ends, the next ones find head type 0 in the flash.
    struct BackToType0 {
        Run &run;
        ~BackToType0()
        {
            if (run.port->isOpen()) {
                run.press("on_pushButtonFTP628_released");
                run.drained();
            }
        }
    } backToType0 {run};
    const QString flashPath = root() + QStringLiteral("/flash.txt");
    static const QRegularExpression announced(QStringLiteral("^Setting Print Head to Type: (\\d+) - .*\nUpdating (\\S+) controller flash...$"));

    for (int index = 0; index < int(std::size(heads)); ++index) {
        const QString which = QString::fromLatin1(heads[index]);
        run.press(heads[index]);
        const QRegularExpressionMatch console = announced.match(run.console());
        QVERIFY2(console.hasMatch(), qPrintable(which + QLatin1String(": ") + run.console()));
        QCOMPARE(console.captured(1).toInt(), index);
        const QString family = console.captured(2);

        run.press("on_pushButtonVersion_released");
        QVERIFY2(run.waitForConsole([](const QString &text) { return text.endsWith(QLatin1Char('\n')); }), qPrintable(which));
        const QString reply = run.console();
        QVERIFY2(reply.startsWith(family + QLatin1String(" virtual controller")), qPrintable(which + QLatin1String(": ") + reply));
        QVERIFY2(reply.contains(QStringLiteral("; head type %1: ").arg(index)), qPrintable(which + QLatin1String(": ") + reply));
        const bool wide = reply.contains(QLatin1String(", 576 dots;"));
        QCOMPARE(wide, index == 1 || index == 5 || index == 8);

        run.press("on_pushButtonStatus_released");
        QVERIFY(run.waitForConsole([](const QString &text) { return !text.isEmpty(); }));
        QTest::qWait(20);
        QCOMPARE(run.console(), QString(QChar(wide ? 0x30 : 0x10)));

        QFile flash(flashPath);
        QVERIFY(flash.open(QIODevice::ReadOnly));
        QVERIFY2(flash.readAll().contains(QStringLiteral("head-type=%1").arg(index).toLatin1()), qPrintable(which));
    }
    run.press(heads[0]);
    QVERIFY(run.drained());
    run.finish();
    QVERIFY2(run.decodingErrors().isEmpty(), qPrintable(run.decodingErrors().join(QLatin1Char('\n'))));

    QFile flash(flashPath);
    QVERIFY(flash.open(QIODevice::ReadOnly));
    QVERIFY(flash.readAll().contains("head-type=0"));
}

// Apply changes the controller's UART at once; the host keeps its settings
// (the virtual printer notes that a real controller would now read garbage)
// and Apply with the start-up choice brings the controller back.
void TestVirtualPrinter::applyChangesTheControllerUart()
{
    LineSetup hostSpeed;
    hostSpeed.lineRate = 0;
    Run run(root(), QStringLiteral("uart"), hostSpeed);
    QVERIFY(run.start());
    auto versionReply = [&run] {
        run.press("on_pushButtonVersion_released");
        run.waitForConsole([](const QString &text) { return text.endsWith(QLatin1Char('\n')); });
        return run.console();
    };

    widget<QRadioButton>(run.window, "radioButton9600")->setChecked(true);
    widget<QRadioButton>(run.window, "radioButtonNoFlow")->setChecked(true);
    run.press("on_pushButtonApply_released");
    QVERIFY2(versionReply().endsWith(QLatin1String("; UART 9600 bit/s, no flow control\n")), qPrintable(run.console()));
    QVERIFY(run.logContains(QStringLiteral("the host must disconnect and reconnect")));
    QCOMPARE(KivoTestAccess::serialPort(run.window)->baudRate(), 115200);
    QCOMPARE(KivoTestAccess::serialPort(run.window)->flowControl(), QSerialPort::SoftwareControl);

    widget<QRadioButton>(run.window, "radioButton375000")->setChecked(true);
    widget<QRadioButton>(run.window, "radioButtonHardFlow")->setChecked(true);
    run.press("on_pushButtonApply_released");
    QVERIFY2(versionReply().endsWith(QLatin1String("; UART 375000 bit/s, hardware flow control\n")), qPrintable(run.console()));
    // The bytes of this Apply came while the controller listened at 9600.
    QVERIFY(run.logContains(QStringLiteral("host line at 115200 bit/s, controller at 9600 bit/s")));

    widget<QRadioButton>(run.window, "radioButton115200")->setChecked(true);
    widget<QRadioButton>(run.window, "radioButtonSoftFlow")->setChecked(true);
    run.press("on_pushButtonApply_released");
    QVERIFY2(versionReply().endsWith(QLatin1String("; UART 115200 bit/s, XON/XOFF\n")), qPrintable(run.console()));
    QVERIFY(run.drained());
    run.finish();
    QVERIFY2(run.decodingErrors().isEmpty(), qPrintable(run.decodingErrors().join(QLatin1Char('\n'))));
}

// A small buffer and a print engine slower than the line: the printer holds
// the sender with XOFF again and again, and the program's port honours it,
// so Quick Test and a picture of 20000 rows arrive whole.
void TestVirtualPrinter::xonXoffDeliversEverything()
{
    LineSetup slow;
    slow.buffer = 2048;
    slow.printSpeed = 300000;
    slow.lineRate = 8000000;
    slow.maxPage = 30000;
    Run run(root(), QStringLiteral("xonxoff"), slow);
    QVERIFY(run.start());

    run.press("on_pushButtonFont_released");
    QVERIFY(run.drained());
    const quint64 quickTest = run.decoded();
    QCOMPARE(quickTest, quint64(13833));
    QVERIFY(run.logContains(QStringLiteral("XOFF sent")));

    const quint16 rows = 20000;
    const QByteArray picture = randomRows(qsizetype(48) * rows, 2020);
    run.act([&] {
        QMetaObject::invokeMethod(&run.window, "printerSoftInit");
        QMetaObject::invokeMethod(&run.window, "picturePrintH", Q_ARG(uint8_t, 0), Q_ARG(uint16_t, 48), Q_ARG(uint16_t, rows),
                                  Q_ARG(const uint8_t *, reinterpret_cast<const uint8_t *>(picture.constData())));
    });
    QCOMPARE(run.handed, qint64(quickTest + 2 + 8 + picture.size()));
    QVERIFY(run.drained());
    QCOMPARE(run.decoded(), quickTest + 2 + 8 + quint64(picture.size()));
    QCOMPARE(run.lost(), quint64(0));
    run.finish();

    QVERIFY(run.logContains(QStringLiteral("XON sent")));
    QVERIFY(run.log.filter(QStringLiteral("XOFF sent")).size() >= 100);
    QVERIFY(!run.logContains(QStringLiteral("bytes are being lost")));
    QVERIFY2(run.decodingErrors().isEmpty(), qPrintable(run.decodingErrors().join(QLatin1Char('\n'))));
    QCOMPARE(run.pages.size(), 1);
    QCOMPARE(locate(run.pages[0], dotsOf(picture, 48)).x(), 0);
}

// No flow control on either side: the line outruns the printer, the bytes
// that do not fit are lost, and the log says how many.
void TestVirtualPrinter::withoutFlowControlTheLossIsLogged()
{
    LineSetup none;
    none.hostFlow = QStringLiteral("None");
    none.printerFlow = kvp::FlowMode::None;
    none.buffer = 1024;
    none.printSpeed = 10000;
    none.lineRate = 1000000;
    Run run(root(), QStringLiteral("no-flow"), none);
    QVERIFY(run.start());

    run.press("on_pushButtonFont_released");
    auto &buffer = run.service.printer().buffer();
    QCOMPARE(run.handed, qint64(13833));
    QTRY_VERIFY_WITH_TIMEOUT(buffer.received() + buffer.lost() == quint64(run.handed) && run.service.printer().bufferEmpty(),
                             20000);
    QVERIFY(run.lost() > 0);
    QCOMPARE(run.decoded() + run.lost(), quint64(run.handed));
    run.finish();

    QVERIFY(run.logContains(QStringLiteral("bytes are being lost")));
    const QString summary = QStringLiteral("lost while the receive buffer was full (%1 lost in all)").arg(run.lost());
    QVERIFY2(run.logContains(summary), qPrintable(run.log.join(QLatin1Char('\n')).right(2000)));
}

QTEST_MAIN(TestVirtualPrinter)
#include "tst_virtual_printer.moc"
