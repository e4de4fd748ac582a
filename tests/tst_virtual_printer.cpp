// The program against the virtual printer: every demonstration goes from
// its button through the settings dialog's "Custom" port, a real
// pseudo-terminal and the virtual printer's receive buffer into its decoder
// and renderer. The paper is read as a person would read it: the bar codes
// and QR codes with a scanner (zbarimg), the replies in the console, and
// pictures against the preview the window showed.

#include "support/bitmaptesting.h"
#include "support/recordedwindow.h"
#include "support/scanner.h"
#include "support/streamfile.h"

#include "serial/settingsdialog.h"
#include "service.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTemporaryDir>

namespace {

// A window connected, the way a user connects it, to a virtual printer of its
// own, in-process, with a flash of its own. Pages end at cuts, label marks and
// when the run finishes.
class Run
{
public:
    Run(const QString &root, const QString &name)
        : service(settingsFor(root, name))
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

    // The settings' port list as it is now; the printer's entry in it names
    // this process.
    QComboBox *portList()
    {
        widget<QAction>(window, "actionConfigure")->trigger();
        widget<QPushButton>(*KivoTestAccess::settingsDialog(window), "refreshButton")->click();
        return widget<QComboBox>(*KivoTestAccess::settingsDialog(window), "serialPortInfoListBox");
    }
    static inline const QString listedAs =
        QStringLiteral("kivo-virtual-printer \u2014 virtual printer, pid %1").arg(QCoreApplication::applicationPid());

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

    // Clicks a request's button; the console once its reply, ending in
    // `last`, is whole.
    QString reply(const char *button, QChar last)
    {
        click(button);
        QElapsedTimer waited;
        waited.start();
        while (!driver::console(window).endsWith(last) && waited.elapsed() < 20000)
            QTest::qWait(5);
        return driver::console(window);
    }
    QString versionReply() { return reply("pushButtonVersion", u'\n'); }

    kvp::Service service;
    timing::ManualClock stoppedClock;
    MainWindow window;
    ModalBoxCloser boxes;
    QSerialPort *port = nullptr;
    qint64 handed = 0;
    QStringList log;
    QStringList pageFiles;

private:
    // A line of 2 Mbit/s, a 16 KB buffer emptied at 250 KB/s.
    static kvp::ServiceSettings settingsFor(const QString &root, const QString &name)
    {
        kvp::ServiceSettings s;
        s.linkPath = root + QStringLiteral("/printer");
        s.outputDir = root + u'/' + name;
        s.flashPath = root + u'/' + name + QStringLiteral("-flash.txt");
        s.lineRate = 2000000;
        s.printer.bufferSize = 16384;
        s.printer.printBytesPerSecond = 250000;
        s.printer.silenceMs = int64_t(3600) * 1000; // a slow machine must not split a page
        s.printer.core.maxPageDots = 30000;
        return s;
    }
};

} // namespace

class TestVirtualPrinter : public QObject
{
    Q_OBJECT

private slots:
    // Printers announce their links here while they run.
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(dir.path())); }
    void everyDemonstrationReadsCleanly_data();
    void everyDemonstrationReadsCleanly();
    void codesScanToTheirData();
    void headButtonsAndRequestsShowTheAnswers();
    void listedWhileItRuns();
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
    // Apply changes the controller's UART; the port keeps its own settings.
    QCOMPARE(run.port->baudRate(), 115200);
    run.finish();
    QVERIFY2(!run.unreadableInput(), qPrintable(run.log.join(u'\n')));
    QCOMPARE(run.lost(), quint64(0));
    QVERIFY(run.boxes.boxes.isEmpty());
}

// The nine bar code samples, each cut off on a page of its own, with the
// text line and the left margin on; then the stored QR picture, and codes the
// printer draws itself from the QR commands with different module sizes and
// error correction levels. A scanner reads each page.
void TestVirtualPrinter::codesScanToTheirData()
{
    Run run(dir.path(), QStringLiteral("codes"));
    QVERIFY(run.start());
    widget<QCheckBox>(run.window, "checkBoxBarCodeMargin")->setChecked(true);
    run.click("pushButtonYesText");
    QStringList pages;
    for (const QString &row : streamnotation::lines(QStringLiteral(KIVO_TEST_DATA "/bar-code-scans.txt"))) {
        run.click(qPrintable(row.section(QStringLiteral(" => "), 0, 0)));
        run.click("pushButtonFullCut");
        pages << row.section(QStringLiteral(" => "), 1);
    }
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
    QStringList qr{"QR-Code:Printer Kivo VX02x sample", "QR-Code:" + QString::fromLatin1(codes[0]),
                   "QR-Code:" + QString::fromLatin1(codes[1])};
    qr.sort();
    pages << qr.join(u'|');
    QVERIFY(run.drained());
    run.finish();
    QCOMPARE(run.pageFiles.size(), pages.size());
    for (int i = 0; i < pages.size(); ++i)
        QCOMPARE(scannedCodes(run.pageFiles[i]).join(u'|'), pages[i]);
}

// A printer whose process is gone: its announcement stays, its link leads
// nowhere. Returns its process id.
qint64 deadPrinter(const QString &root)
{
    QProcess ended;
    ended.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("echo $$")});
    ended.waitForFinished();
    const qint64 pid = ended.readAllStandardOutput().trimmed().toLongLong();
    QFile announcement(root + QStringLiteral("/kivo-virtual-printers/%1-1").arg(pid));
    announcement.open(QIODevice::WriteOnly);
    announcement.write(QStringLiteral("pid %1\nlink %2/dead\n").arg(pid).arg(root).toUtf8());
    QFile::link(QStringLiteral("/proc/%1/fd/700").arg(pid), root + QStringLiteral("/dead"));
    return pid;
}

// A running printer is listed in the port list and connects from there; a
// dead one (its process gone) is not listed, nor is one that has stopped.
void TestVirtualPrinter::listedWhileItRuns()
{
    Run run(dir.path(), QStringLiteral("listed"));
    QString error;
    QVERIFY2(run.service.start(&error), qPrintable(error));
    const qint64 dead = deadPrinter(dir.path());
    run.portList()->setCurrentIndex(run.portList()->findText(Run::listedAs));
    widget<QPushButton>(*KivoTestAccess::settingsDialog(run.window), "applyButton")->click();
    widget<QAction>(run.window, "actionConnect")->trigger();
    QCOMPARE(driver::statusText(run.window),
             QStringLiteral("Connected to %1 : 115200, 8, None, 1, XON/XOFF").arg(run.service.linkPath()));
    QCOMPARE(run.portList()->findText(QStringLiteral("pid %1").arg(dead), Qt::MatchEndsWith), -1);
    QCOMPARE(run.reply("pushButtonStatus", u'>'), QStringLiteral("<10>"));
    run.finish();
    QComboBox *ports = run.portList();
    QCOMPARE(ports->findText(Run::listedAs), -1);
    QCOMPARE(ports->itemText(ports->count() - 1), QStringLiteral("Custom"));
}

// Every head button stores its type in the controller's flash: the version
// answer names the type and the controller family the console announced.
// Version and Status show the controller's answers, and only those.
void TestVirtualPrinter::headButtonsAndRequestsShowTheAnswers()
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
        // The answer comes on arrival; the flash is written in the engine's turn.
        const auto stored = [&run, index] {
            QFile flash(run.service.settings().flashPath);
            return flash.open(QIODevice::ReadOnly)
                && flash.readAll().contains(QStringLiteral("head-type=%1").arg(index).toLatin1());
        };
        QTRY_VERIFY_WITH_TIMEOUT(stored(), 10000);
    }
    QCOMPARE(run.versionReply(),
             QStringLiteral("VX02x virtual controller, firmware 1.22 (2020-06-15), Printer Kivo "
                            "virtual printer; head type 0: 58mm FTP628MCL101, 384 dots; UART "
                            "115200 bit/s, XON/XOFF\n"));
    // An idle controller with a 58 mm head: 0x10; with a line waiting for its
    // line feed: 0x14. The console shows the byte as a hex token.
    QCOMPARE(run.reply("pushButtonStatus", u'>'), QStringLiteral("<10>"));
    run.act([&] { QMetaObject::invokeMethod(&run.window, "printStr", Q_ARG(const char *, "no line feed yet")); });
    QCOMPARE(run.reply("pushButtonStatus", u'>'), QStringLiteral("<14>"));
}

void TestVirtualPrinter::picturesPrintWhatThePreviewShows_data()
{
    QTest::addColumn<QString>("row");
    for (const QString &row : streamnotation::lines(QStringLiteral(KIVO_TEST_DATA "/preview-pictures.txt")))
        QTest::newRow(qPrintable(row)) << row;
}

// A photo with the picture options set after loading, printed on a head as
// wide as the chosen paper: the page shows the preview's dots, the rest of
// the page white.
void TestVirtualPrinter::picturesPrintWhatThePreviewShows()
{
    QFETCH(QString, row);
    const QStringList words = row.split(u' ');
    const int width = words[0].toInt();
    const int paper = words[1] == QLatin1String("80mm") ? 1 : 0; // index of the paper width
    const bool fit = words[2] == QLatin1String("fit");
    const QString greys = row.section(u' ', 3, -3);
    Run run(dir.path(), QStringLiteral("picture-%1").arg(QTest::currentDataTag()).replace(u' ', u'-'));
    QVERIFY(run.start());
    run.click(paper == 1 ? "pushButtonFTP638" : "pushButtonFTP628");
    QVERIFY(
        KivoTestAccess::loadFile(run.window, bitmaptest::save(dir, "photo.png", bitmaptest::photoLike(width, 300))));
    widget<QComboBox>(run.window, "comboPaperWidth")->setCurrentIndex(paper);
    widget<QCheckBox>(run.window, "checkFitWidth")->setChecked(fit);
    auto *greyBox = widget<QComboBox>(run.window, "comboGreys");
    greyBox->setCurrentIndex(greyBox->findText(greys));
    QCOMPARE(greyBox->currentText(), greys);
    widget<QSpinBox>(run.window, "spinThreshold")->setValue(words.value(words.size() - 2).toInt());
    widget<QCheckBox>(run.window, "checkInvert")->setChecked(words.last() == QLatin1String("inverted"));
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
