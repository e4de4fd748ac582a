// One long send at the real line rate, end to end: the window paces a
// picture through the settings dialog's "Custom" port, a real
// pseudo-terminal and the virtual printer, which takes it at 115200 bit/s
// and holds the window back with XON/XOFF. The page it prints is the
// picture, nothing lost. A few seconds of wall time (CTest label "realtime").

#include "support/bitmaptesting.h"
#include "support/recordedwindow.h"

#include "service.h"

#include <QProgressBar>
#include <QTemporaryDir>

class TestRealLine : public QObject
{
    Q_OBJECT

private slots:
    void pictureAtTheLineRate();
};

void TestRealLine::pictureAtTheLineRate()
{
    constexpr int rows = 600; // 28 800 bytes: two and a half seconds of the line
    QTemporaryDir dir;
    const QString picture = bitmaptest::save(dir, "picture.png", bitmaptest::patternImage(384, rows));
    kvp::ServiceSettings settings;
    settings.linkPath = dir.filePath("link");
    settings.outputDir = dir.filePath("out");
    settings.printer.bufferSize = 1024;
    settings.printer.printBytesPerSecond = 8000;       // slower than the line: XOFF comes
    settings.printer.silenceMs = int64_t(3600) * 1000; // a busy machine must not split the page
    kvp::Service printer(settings);
    QString error;
    QVERIFY2(printer.start(&error), qPrintable(error));

    MainWindow window;
    ModalBoxCloser closer;
    QVERIFY(driver::connectTo(window, printer.linkPath()));
    QVERIFY(KivoTestAccess::loadFile(window, picture));
    widget<QPushButton>(window, "pushButton_58PrintH")->click();
    serial::Transfer *transfer = KivoTestAccess::transfer(window);
    QVERIFY(transfer->isRunning());
    QVERIFY(widget<QProgressBar>(window, "transferProgress")->isVisibleTo(&window));
    QTRY_VERIFY_WITH_TIMEOUT(!transfer->isRunning(), 120000);
    QVERIFY2(driver::console(window).contains(QStringLiteral("Bitmap sent: %1 bytes in ").arg(transfer->total())),
             qPrintable(driver::console(window)));
    QTRY_COMPARE_WITH_TIMEOUT(printer.printer().decodedBytes(), quint64(transfer->total()), 60000);
    widget<QAction>(window, "actionDisconnect")->trigger();
    printer.stop();

    QCOMPARE(printer.printer().buffer().lost(), quint64(0));
    QCOMPARE(printer.pagesWritten().size(), 1);
    QVERIFY(bitmaptest::pageRows(QImage(printer.pagesWritten().first()), 384)
            == bitmaptest::expectedRows(384, rows, bitmaptest::patternDark));
    QVERIFY(closer.boxes.isEmpty());
}

QTEST_MAIN(TestRealLine)
#include "tst_real_line.moc"
