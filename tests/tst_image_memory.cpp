// Small files that decode to huge pictures: loading one never costs more
// than the picture itself needs (no 32-bit copy for the preview or for Fit
// to width), well within 300 MB above what the window used before; and a
// cancelled read stops, before the next one starts.

#include "app/backgroundread.h"
#include "support/processmemory.h"
#include "support/recordedwindow.h"

#include "bitmap/monobands.h"

#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QProgressDialog>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <memory>

namespace {

bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

} // namespace

// Opened only by the window's thread's event loop.
class WindowThreadLatch : public QObject
{
    Q_OBJECT
public:
    QSemaphore waiting;
    Q_INVOKABLE void open() { waiting.release(); }
};

class TestImageMemory : public QObject
{
    Q_OBJECT

private slots:
    void hugePicturesLoadWithinBounds_data();
    void hugePicturesLoadWithinBounds();
    void cancelledReadsStop();
};

void TestImageMemory::hugePicturesLoadWithinBounds_data()
{
    QTest::addColumn<QString>("row");
    for (const QString &row : streamnotation::lines(QStringLiteral(KIVO_TEST_DATA "/huge-pictures.txt")))
        QTest::newRow(qPrintable(row)) << row;
}

void TestImageMemory::hugePicturesLoadWithinBounds()
{
    QFETCH(QString, row);
    const QString file = row.section(u' ', 0, 0);
    const bool fitTo576 = row.section(u' ', 1, 1) == QLatin1String("fitted");
    const QStringList size = row.section(QStringLiteral(" => "), 1).split(QStringLiteral(" x "));
    RecordedWindow w;
    widget<QComboBox>(w.window, "comboPaperWidth")->setCurrentIndex(fitTo576 ? 1 : 0);
    widget<QCheckBox>(w.window, "checkFitWidth")->setChecked(fitTo576);
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    widget<QTabWidget>(w.window, "mainTabsKivo")->setCurrentIndex(2);
    w.window.repaint();
    const double before = residentMb("VmRSS:");
    if (!resetPeak())
        QSKIP("this system cannot reset the peak memory figure");
    QVERIFY(KivoTestAccess::loadFile(w.window, QStringLiteral(KIVO_TEST_DATA "/bombs/") + file));
    QCOMPARE(KivoTestAccess::loadedImage(w.window).size(), QSize(size[0].toInt(), size[1].toInt()));
    w.window.repaint(); // the preview paints, now
    const double picture = double(KivoTestAccess::loadedImage(w.window).sizeInBytes()) / 1048576;
    const double more = residentMb("VmHWM:") - before;
    QVERIFY2(more < 300, qPrintable(QStringLiteral("%1 MB more for a picture of %2 MB").arg(more).arg(picture)));
}

void TestImageMemory::cancelledReadsStop()
{
    // Random dots, so that each band of rows is a band of the file: once the
    // flag is set (here by the file itself, after a third of it), at most
    // the band under way is read.
    QImage dots(4096, 1024, QImage::Format_Mono);
    QRandomGenerator random(7);
    random.fillRange(reinterpret_cast<quint32 *>(dots.bits()), dots.sizeInBytes() / 4);
    QByteArray png;
    QBuffer out(&png);
    QVERIFY(dots.save(&out, "PNG"));
    struct CancellingFile : QBuffer
    {
        bitmap::CancelFlag cancel{false};
        qint64 readData(char *data, qint64 size) override
        {
            cancel = cancel || pos() > buffer().size() / 3;
            return QBuffer::readData(data, size);
        }
    } file;
    file.setData(png);
    file.open(QIODevice::ReadOnly);
    const bitmap::ImageFile read = bitmap::readImage(&file, {}, &file.cancel);
    QVERIFY(read.cancelled && read.image.isNull());
    const qint64 band = png.size() / (1024 / bitmap::MonoBands::bandRows(4096));
    QVERIFY2(file.pos() < png.size() / 3 + band + 65536, qPrintable(QString::number(file.pos())));

    // Cancel waits for the read to end, so reads never pile up: a read held
    // until its flag is set, and then until the window's thread runs events
    // again (as it does only while it waits).
    struct Held
    {
        std::atomic<bool> ended{false};
        WindowThreadLatch latch; // lives in the window's thread
    };
    auto held = std::make_shared<Held>();
    ModalBoxCloser closer;
    closer.otherModal = [](QWidget *modal) {
        if (auto *progress = qobject_cast<QProgressDialog *>(modal))
            emit progress->canceled(); // as its Cancel button does
    };
    QWidget window;
    const auto cancelled = readInBackground(&window, "held.png", [held](const bitmap::CancelFlag *flag) {
        while (!*flag)
            QThread::yieldCurrentThread();
        QMetaObject::invokeMethod(&held->latch, "open", Qt::QueuedConnection);
        held->latch.waiting.acquire();
        held->ended = true;
        return bitmap::ImageFile();
    });
    QVERIFY(!cancelled && held->ended);
    QVERIFY(closer.boxes.isEmpty());
}

QTEST_MAIN(TestImageMemory)
#include "tst_image_memory.moc"
