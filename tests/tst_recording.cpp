// The Traffic view's recording and Save: every byte both ways with its
// absolute time, on disk as it happens until Disconnect; a file that takes
// no more is said, never silently dropped; the list's times stay in line.

#include "support/recordedwindow.h"

#include "traffic/trafficdock.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

namespace {

QStringList lines(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                          : QStringList();
}

} // namespace

class TestRecording : public QObject
{
    Q_OBJECT

private slots:
    void recordingAndSaveHoldEveryByte();
    void aFileThatTakesNoMoreStopsWithABox();
};

void TestRecording::recordingAndSaveHoldEveryByte()
{
    // Connect at 09:26:53.589 (+01:00); Record to file 1.2 s later, Receipt
    // 0.3 s on, Version 1000 s on and its reply 35 ms after, Disconnect 1 s on.
    RecordedWindow recorded;
    MainWindow &w = recorded.window;
    timing::ManualClock clock;
    KivoTestAccess::trafficRecord(w).setClocks(clock, [] {
        return QDateTime({2026, 3, 14}, {9, 26, 53, 589}, Qt::OffsetFromUTC, 3600);
    });
    KivoTestAccess::startSession(w);
    widget<QAction>(w, "actionTraffic")->setChecked(true);
    QTemporaryDir dir;
    const QString path = dir.filePath("line.txt");
    ModalBoxCloser closer;
    closer.otherModal = [&](QWidget *modal) {
        qobject_cast<QFileDialog *>(modal)->selectFile(path);
        static_cast<QDialog *>(modal)->accept(); // as its Save button does
    };
    clock.advance(1200);
    widget<QPushButton>(w, "trafficRecord")->click();
    QCOMPARE(widget<QLabel>(w, "trafficRecordingFile")->text(), QStringLiteral("Recording to line.txt"));
    clock.advance(300);
    widget<QAbstractButton>(w, "pushButtonReceipt")->click();
    clock.advance(1000000);
    widget<QAbstractButton>(w, "pushButtonVersion")->click();
    clock.advance(35);
    recorded.device.feedIncoming("VX02x virtual controller, firmware 1.22 (2020-06-15); UART 115200 bit/s\r\n");
    driver::press(w, "readData");
    const QStringList expected = lines(KIVO_TEST_DATA "/traffic/receipt-and-version.txt");
    QCOMPARE(lines(path), expected.mid(0, expected.size() - 1)); // on disk as it happens

    clock.advance(1000);
    widget<QAction>(w, "actionDisconnect")->trigger();
    QCOMPARE(widget<QPushButton>(w, "trafficRecord")->text(), QStringLiteral("Record to file..."));
    QCOMPARE(lines(path), expected);
    const traffic::Record &record = KivoTestAccess::trafficRecord(w);
    QCOMPARE(traffic::saveRecord(record, dir.filePath("saved.txt")), QString());
    QCOMPARE(lines(dir.filePath("saved.txt")), lines(KIVO_TEST_DATA "/traffic/receipt-and-version-saved.txt"));
    // The list's columns, at 1.5 s and past 1000 s.
    QCOMPARE(record.at(record.firstIndex()).format().left(15), QStringLiteral("    +1.500 s  >"));
    QCOMPARE(record.at(record.endIndex() - 1).format().left(15), QStringLiteral(" +1001.535 s  <"));
}

void TestRecording::aFileThatTakesNoMoreStopsWithABox()
{
    // The process's file size limit stands in for a full disk.
    RecordedWindow recorded;
    widget<QAction>(recorded.window, "actionTraffic")->setChecked(true);
    auto *recording = recorded.window.findChild<traffic::Recording *>();
    QTemporaryDir dir;
    QCOMPARE(recording->start(dir.filePath("limited.txt")), QString());
    rlimit before{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &before) == 0);
    const rlimit small{4096, before.rlim_max};
    std::signal(SIGXFSZ, SIG_IGN);
    ModalBoxCloser closer;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    widget<QAbstractButton>(recorded.window, "pushButtonReceipt")->click();
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &before) == 0);
    QVERIFY(!recording->isActive());
    QTRY_VERIFY(closer.boxes.value(0).text.endsWith("limited.txt: File too large"));
    QCOMPARE(recorded.device.writes.join().size(), qsizetype(12749)); // the line went on
}

QTEST_MAIN(TestRecording)
#include "tst_recording.moc"
