// Small files that decode to huge pictures: loading one never costs more
// than the picture itself needs (no 32-bit copy for the preview), well
// within 300 MB above what the window used before.

#include "support/recordedwindow.h"

#include <QFile>

namespace {

// Resident memory now (VmRSS) or the largest since the last reset (VmHWM),
// in MB.
double residentMb(const QByteArray &key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

} // namespace

class TestImageMemory : public QObject
{
    Q_OBJECT

private slots:
    void hugePicturesLoadWithinBounds_data();
    void hugePicturesLoadWithinBounds();
};

void TestImageMemory::hugePicturesLoadWithinBounds_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QSize>("size");
    QTest::newRow("1-bit PNG, 32000 x 32000") << "wide-1bit.png" << QSize(32000, 32000);
    QTest::newRow("RLE8 BMP, 20000 x 6000") << "rle8.bmp" << QSize(20000, 6000);
    QTest::newRow("1-bit PNG, 384 x 999999") << "tall-1bit.png" << QSize(384, 999999);
}

void TestImageMemory::hugePicturesLoadWithinBounds()
{
    QFETCH(QString, file);
    QFETCH(QSize, size);
    RecordedWindow w;
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    widget<QTabWidget>(w.window, "mainTabsKivo")->setCurrentIndex(2);
    w.window.repaint();
    const double before = residentMb("VmRSS:");
    if (!resetPeak())
        QSKIP("this system cannot reset the peak memory figure");
    QVERIFY(KivoTestAccess::loadFile(w.window, QStringLiteral(KIVO_TEST_DATA "/bombs/") + file));
    QCOMPARE(KivoTestAccess::loadedImage(w.window).size(), size);
    w.window.repaint(); // the preview paints, now
    const double picture = double(KivoTestAccess::loadedImage(w.window).sizeInBytes()) / 1048576;
    const double more = residentMb("VmHWM:") - before;
    QVERIFY2(more < 300, qPrintable(QStringLiteral("%1 MB more for a picture of %2 MB").arg(more).arg(picture)));
}

QTEST_MAIN(TestImageMemory)
#include "tst_image_memory.moc"
