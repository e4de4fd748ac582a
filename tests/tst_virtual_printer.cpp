// The program against the virtual printer: every demonstration goes from
// its button through the settings dialog's "Custom" port, a real
// pseudo-terminal and the virtual printer's receive buffer into its decoder
// and renderer. The paper is read as a person would read it: the bar codes
// and QR codes with a scanner (zbarimg), the replies in the console, and
// nothing lost while flow control holds the sender back.

#include "support/bitmaptesting.h"
#include "support/recordedwindow.h"
#include "support/streamfile.h"

#include "service.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <memory>

namespace {

// How the line and the virtual printer are set up for one run.
struct LineSetup
{
    size_t buffer = 16384;
    double printSpeed = 250000; // bytes/s
    int lineRate = 2000000;     // bit/s; 0 follows the host's 115200
};

// A window connected, the way a user connects it, to a virtual printer of its
// own, in-process, with a flash of its own. Pages end at cuts, label marks and
// when the run finishes.
class Run
{
public:
    Run(const QString &root, const QString &name, const LineSetup &setup = {})
        : service(settingsFor(root, name, setup))
    {
        QObject::connect(&service, &kvp::Service::logLine, &service, [this](const QString &line) { log << line; });
        QObject::connect(&service, &kvp::Service::pageWritten, &service,
                         [this](const QString &path) { pageFiles << path; });
        port = KivoTestAccess::serialPort(window);
        // Replies come in real time, however busy the machine: the wait for
        // them never gives up here.
        KivoTestAccess::setAnswerClock(window, stoppedClock);
    }
    ~Run() { finish(); }

    bool start()
    {
        QString error;
        if (!service.start(&error))
            qWarning("virtual printer: %s", qPrintable(error));
        return error.isEmpty() && driver::connectTo(window, service.linkPath());
    }

    // Clicks a button, counting the bytes it hands to the port: the port
    // sends only from the event loop, so they are all still queued.
    void click(const char *button)
    {
        act([&] { widget<QAbstractButton>(window, button)->click(); });
    }
    template<typename Action>
    void act(Action action)
    {
        const qint64 before = port->bytesToWrite();
        action();
        handed += port->bytesToWrite() - before;
    }

    // Waits until the printer has decoded every byte handed to the port;
    // gives up when nothing moves for ten seconds.
    bool drained()
    {
        QElapsedTimer still;
        still.start();
        quint64 last = decoded();
        while (decoded() != quint64(handed) && still.elapsed() < 10000) {
            QTest::qWait(5);
            if (decoded() != last)
                last = decoded(), still.restart();
        }
        return decoded() == quint64(handed) && port->bytesToWrite() == 0;
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
    // Bit 7 of the status byte: input the controller could not read.
    bool unreadableInput() { return service.printer().core().statusByte() & uint8_t(kvp::Status::DecodeError); }

    // The console once `done` says it holds the whole reply.
    template<typename Done>
    QString reply(Done done)
    {
        QElapsedTimer waited;
        waited.start();
        while (!done(driver::console(window)) && waited.elapsed() < 20000)
            QTest::qWait(5);
        return driver::console(window);
    }
    QString statusReply()
    {
        return reply([](const QString &text) { return text.endsWith(u'>'); });
    }
    QString versionReply()
    {
        click("pushButtonVersion");
        return reply([](const QString &text) { return text.endsWith(u'\n'); });
    }

    kvp::Service service;
    timing::ManualClock stoppedClock;
    MainWindow window;
    ModalBoxCloser boxes;
    QSerialPort *port = nullptr;
    qint64 handed = 0;
    QStringList log;
    QStringList pageFiles;

private:
    static kvp::ServiceSettings settingsFor(const QString &root, const QString &name, const LineSetup &setup)
    {
        kvp::ServiceSettings s;
        s.linkPath = root + QStringLiteral("/printer");
        s.outputDir = root + u'/' + name;
        s.flashPath = root + u'/' + name + QStringLiteral("-flash.txt");
        s.lineRate = setup.lineRate;
        s.printer.bufferSize = setup.buffer;
        s.printer.printBytesPerSecond = setup.printSpeed;
        s.printer.silenceMs = int64_t(3600) * 1000; // a slow machine must not split a page
        s.printer.core.maxPageDots = 30000;
        return s;
    }
};

// What a bar code scanner reads on a page: one "TYPE:data" line per symbol.
QStringList scan(const QString &pngPath)
{
    QProcess zbar;
    zbar.start(QStandardPaths::findExecutable(QStringLiteral("zbarimg")), {QStringLiteral("--quiet"), pngPath});
    if (!zbar.waitForFinished(20000))
        return {QStringLiteral("zbarimg did not run (tools/setup-debian.sh installs zbar-tools)")};
    QStringList found = QString::fromUtf8(zbar.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    found.sort();
    return found;
}

} // namespace

class TestVirtualPrinter : public QObject
{
    Q_OBJECT

private slots:
    void everyDemonstrationReadsCleanly_data();
    void everyDemonstrationReadsCleanly();
    void barcodesScanToTheirData();
    void qrCodesScanToTheirData();
    void repliesShowInTheConsole();
    void headButtonsReachTheFlash();
    void applyChangesTheControllerUart();
    void xonXoffDeliversEverything();
    void picturesPrintWhatThePreviewShows_data();
    void picturesPrintWhatThePreviewShows();

private:
    QTemporaryDir dir;
};

void TestVirtualPrinter::everyDemonstrationReadsCleanly_data()
{
    QTest::addColumn<QString>("path");
    const QDir demos(QStringLiteral(KIVO_TEST_DATA "/demos"));
    for (const QString &file : demos.entryList({QStringLiteral("*.txt")}))
        QTest::newRow(qPrintable(file)) << demos.filePath(file);
}

// Each demonstration on a fresh line: the whole script reaches the printer's
// decoder and nothing in it is unreadable.
void TestVirtualPrinter::everyDemonstrationReadsCleanly()
{
    QFETCH(QString, path);
    Run run(dir.path(), QFileInfo(path).baseName());
    QVERIFY(run.start());
    run.act([&] { prepareClick(run.window, streamnotation::lines(path))->click(); });
    QVERIFY(run.handed > 0);
    QVERIFY(run.drained());
    run.finish();
    QVERIFY2(!run.unreadableInput(), qPrintable(run.log.join(u'\n')));
    QCOMPARE(run.lost(), quint64(0));
    QVERIFY(run.boxes.boxes.isEmpty());
}

// The nine samples, each cut off on a page of its own, with the text line
// and the left margin on, read by a scanner.
void TestVirtualPrinter::barcodesScanToTheirData()
{
    Run run(dir.path(), QStringLiteral("barcodes"));
    QVERIFY(run.start());
    widget<QCheckBox>(run.window, "checkBoxBarCodeMargin")->setChecked(true);
    run.click("pushButtonYesText");
    const std::pair<const char *, const char *> samples[] = {
        // UPC-A is EAN-13 with a leading 0; UPC-E reads as the UPC-A code it
        // stands for; the scanner adds the check digits.
        {"pushButtonBarcodeUPCA", "EAN-13:0012345678905"},  {"pushButtonBarcodeUPCE", "EAN-13:0001234000057"},
        {"pushButtonBarcodeEAN13", "EAN-13:0123456789012"}, {"pushButtonBarcodeEAN8", "EAN-8:01234565"},
        {"pushButtonBarcodeCODE39", "CODE-39:123456VX022"}, {"pushButtonBarcodeITF25", "I2/5:12345678"},
        {"pushButtonBarcodeCODABAR", "Codabar:A123456A"},   {"pushButtonBarcodeCODE93", "CODE-93:12345678"},
        {"pushButtonBarcodeCODE128A", "CODE-128:12345678"},
    };
    for (const auto &[button, data] : samples) {
        run.click(button);
        run.click("pushButtonFullCut");
    }
    QVERIFY(run.drained());
    run.finish();
    QCOMPARE(run.pageFiles.size(), int(std::size(samples)));
    for (int i = 0; i < run.pageFiles.size(); ++i)
        QCOMPARE(scan(run.pageFiles[i]), QStringList{samples[i].second});
}

// The stored QR picture, and codes the printer draws itself from the QR
// commands with different module sizes and error correction levels.
void TestVirtualPrinter::qrCodesScanToTheirData()
{
    Run run(dir.path(), QStringLiteral("qr"));
    QVERIFY(run.start());
    run.click("pushButtonBitmap");
    const QByteArray codes[] = {"Printer Kivo QR commands: module 3, level L",
                                "https://printer-kivo.invalid/receipt?id=0042&total=29.23 level H, module 6"};
    const uint8_t modules[] = {3, 6}, levels[] = {0, 3};
    for (int i = 0; i < 2; ++i) {
        const auto *data = reinterpret_cast<const uint8_t *>(codes[i].constData());
        run.act([&] {
            QMetaObject::invokeMethod(&run.window, "setQRSizeVersion", Q_ARG(uint8_t, modules[i]));
            QMetaObject::invokeMethod(&run.window, "setQRcodeErrorCorrection", Q_ARG(uint8_t, levels[i]));
            QMetaObject::invokeMethod(&run.window, "transferQRcodeData", Q_ARG(uint16_t, uint16_t(codes[i].size())),
                                      Q_ARG(const uint8_t *, data));
            QMetaObject::invokeMethod(&run.window, "printQRcodeData");
        });
    }
    QVERIFY(run.drained());
    run.finish();
    QCOMPARE(run.pageFiles.size(), 1);
    QStringList wanted{"QR-Code:Printer Kivo VX02x sample", "QR-Code:" + QString::fromLatin1(codes[0]),
                       "QR-Code:" + QString::fromLatin1(codes[1])};
    wanted.sort();
    QCOMPARE(scan(run.pageFiles[0]), wanted);
}

// Version and Status show the controller's answers, and only those.
void TestVirtualPrinter::repliesShowInTheConsole()
{
    Run run(dir.path(), QStringLiteral("replies"));
    QVERIFY(run.start());
    QCOMPARE(run.versionReply(),
             QStringLiteral("VX02x virtual controller, firmware 1.22 (2020-06-15), Printer Kivo "
                            "virtual printer; head type 0: 58mm FTP628MCL101, 384 dots; UART "
                            "115200 bit/s, XON/XOFF\n"));
    // An idle controller with a 58 mm head: 0x10; with a line waiting for its
    // line feed: 0x14. The console shows the byte as a hex token.
    run.click("pushButtonStatus");
    QCOMPARE(run.statusReply(), QStringLiteral("<10>"));
    run.act([&] { QMetaObject::invokeMethod(&run.window, "printStr", Q_ARG(const char *, "no line feed yet")); });
    run.click("pushButtonStatus");
    QCOMPARE(run.statusReply(), QStringLiteral("<14>"));
}

// Every head button stores its type in the controller's flash: the version
// answer names the type and the controller family the console announced.
void TestVirtualPrinter::headButtonsReachTheFlash()
{
    const char *const heads[] = {"pushButtonFTP628",   "pushButtonFTP638",   "pushButtonLTP0213", "pushButtonLTP02C1",
                                 "pushButton58_384",   "pushButton80_576",   "pushButtonM23_H69", "pushButtonM23_SX",
                                 "pushButtonSeiko345", "pushButtonPT486HLV", "pushButtonJX2R39BQ"};
    Run run(dir.path(), QStringLiteral("heads"));
    QVERIFY(run.start());
    for (int index = 10; index >= 0; --index) {
        run.click(heads[index]);
        const QString family = driver::console(run.window).section(u'\n', 1).section(u' ', 1, 1);
        const QString reply = run.versionReply();
        QVERIFY2(reply.startsWith(family + " virtual controller"), qPrintable(heads[index] + (": " + reply)));
        QVERIFY2(reply.contains(QStringLiteral("; head type %1: ").arg(index)), qPrintable(reply));
        QFile flash(run.service.settings().flashPath);
        QVERIFY(flash.open(QIODevice::ReadOnly));
        QVERIFY(flash.readAll().contains(QStringLiteral("head-type=%1").arg(index).toLatin1()));
    }
    run.click("pushButtonStatus"); // type 0 again: a 58 mm head
    QCOMPARE(run.statusReply(), QStringLiteral("<10>"));
}

// Apply changes the controller's UART at once; the host keeps its settings,
// and Apply with the start-up choice brings the controller back.
void TestVirtualPrinter::applyChangesTheControllerUart()
{
    Run run(dir.path(), QStringLiteral("uart"), LineSetup{16384, 250000, 0});
    QVERIFY(run.start());
    const std::pair<const char *, const char *> choices[] = {{"radioButton9600", "radioButtonNoFlow"},
                                                             {"radioButton115200", "radioButtonSoftFlow"}};
    const char *const answers[] = {"; UART 9600 bit/s, no flow control\n", "; UART 115200 bit/s, XON/XOFF\n"};
    for (int i = 0; i < 2; ++i) {
        widget<QRadioButton>(run.window, choices[i].first)->setChecked(true);
        widget<QRadioButton>(run.window, choices[i].second)->setChecked(true);
        run.click("pushButtonApply");
        QVERIFY2(run.versionReply().endsWith(QLatin1String(answers[i])), qPrintable(driver::console(run.window)));
        QCOMPARE(run.port->baudRate(), 115200);
        QCOMPARE(run.port->flowControl(), QSerialPort::SoftwareControl);
    }
    QVERIFY(run.log.join(u'\n').contains("the host must disconnect and reconnect"));
}

// A small buffer and a print engine slower than the line: the printer holds
// the sender with XOFF again and again, and the program's port honours it,
// so Quick Test and a picture of 20000 rows arrive whole.
void TestVirtualPrinter::xonXoffDeliversEverything()
{
    Run run(dir.path(), QStringLiteral("xonxoff"), LineSetup{2048, 300000, 8000000});
    QVERIFY(run.start());
    run.click("pushButtonFont");
    QByteArray picture(qsizetype(48) * 20000, '\0');
    for (qsizetype i = 0; i < picture.size(); ++i)
        picture[i] = char((i * 2654435761u) >> 24);
    run.act([&] {
        QMetaObject::invokeMethod(&run.window, "picturePrintH", Q_ARG(uint8_t, 0), Q_ARG(uint16_t, 48),
                                  Q_ARG(uint16_t, 20000),
                                  Q_ARG(const uint8_t *, reinterpret_cast<const uint8_t *>(picture.constData())));
    });
    QCOMPARE(run.handed, qint64(13833 + 8 + picture.size()));
    QVERIFY(run.drained());
    QCOMPARE(run.lost(), quint64(0));
    QVERIFY(run.log.filter("XOFF sent").size() >= 100);
    QVERIFY(!run.unreadableInput());
}

void TestVirtualPrinter::picturesPrintWhatThePreviewShows_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("paper"); // index of the paper width
    QTest::addColumn<bool>("fit");
    QTest::addColumn<int>("greys"); // index of the grey handling
    QTest::addColumn<int>("level");
    QTest::addColumn<bool>("invert");
    QTest::newRow("fit to 384, diffusion") << 900 << 0 << true << 0 << 128 << false;
    QTest::newRow("fit to 576, threshold") << 300 << 1 << true << 1 << 90 << false;
    QTest::newRow("fit to 576, ordered") << 900 << 1 << true << 2 << 128 << false;
    QTest::newRow("as loaded, threshold, inverted") << 300 << 0 << false << 1 << 200 << true;
}

// A photo with the picture options set after loading, printed on a head as
// wide as the chosen paper: the page shows the preview's dots, the rest of
// the page white.
void TestVirtualPrinter::picturesPrintWhatThePreviewShows()
{
    QFETCH(int, width);
    QFETCH(int, paper);
    QFETCH(bool, fit);
    QFETCH(int, greys);
    QFETCH(int, level);
    QFETCH(bool, invert);
    Run run(dir.path(), QStringLiteral("picture-%1").arg(QTest::currentDataTag()));
    QVERIFY(run.start());
    run.click(paper == 1 ? "pushButtonFTP638" : "pushButtonFTP628");
    QVERIFY(
        KivoTestAccess::loadFile(run.window, bitmaptest::save(dir, "photo.png", bitmaptest::photoLike(width, 300))));
    widget<QComboBox>(run.window, "comboPaperWidth")->setCurrentIndex(paper);
    widget<QCheckBox>(run.window, "checkFitWidth")->setChecked(fit);
    widget<QComboBox>(run.window, "comboGreys")->setCurrentIndex(greys);
    widget<QSpinBox>(run.window, "spinThreshold")->setValue(level);
    widget<QCheckBox>(run.window, "checkInvert")->setChecked(invert);
    MonoPreview *preview = KivoTestAccess::preview(run.window);
    // The preview in more room than the picture needs, whatever room the
    // hidden window gives it: the picture sits centred in height.
    widget<QScrollArea>(run.window, "scrollArea")->setWidgetResizable(false);
    preview->resize(preview->sizeHint() + QSize(10, 40));
    QCOMPARE(preview->pictureRect().topLeft(), QPoint(0, 20));
    const QImage shown = preview->grab(preview->pictureRect()).toImage();
    QCOMPARE(shown.width(), fit ? (paper == 1 ? 576 : 384) : width);

    const qint64 before = run.handed;
    run.click("pushButton_58PrintH");
    serial::Transfer *transfer = KivoTestAccess::transfer(run.window);
    QTRY_VERIFY_WITH_TIMEOUT(!transfer->isRunning(), 20000);
    run.handed = before + transfer->total();
    QVERIFY(run.drained());
    run.finish();
    QVERIFY(!run.pageFiles.isEmpty());
    const QImage page(run.pageFiles.last());
    QVERIFY2(page.width() >= shown.width() && page.height() >= shown.height(),
             qPrintable(QStringLiteral("page %1 x %2").arg(page.width()).arg(page.height())));
    int differing = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) {
            const bool wanted = shown.rect().contains(x, y) && qGray(shown.pixel(x, y)) < 128;
            differing += wanted != (qGray(page.pixel(x, y)) < 128);
        }
    QCOMPARE(differing, 0);
    QVERIFY(run.boxes.boxes.isEmpty());
}

QTEST_MAIN(TestVirtualPrinter)
#include "tst_virtual_printer.moc"
