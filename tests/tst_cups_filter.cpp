// The CUPS filter without the spooler: cupsfilter runs it from a private
// server folder on CUPS raster made here, once per choice a user can make;
// a cancel in the middle of a band; and a page through CUPS against the same picture from the Bitmaps tab.

#include "bitmap/pictureoptions.h"
#include "bitmap/printjob.h"
#include "cups/filteroptions.h"
#include "cups/rasterfilter.h"
#include "support/bitmaptesting.h"
#include "support/cupstesting.h"
#include "support/streamnotation.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString dataDir = QStringLiteral(KIVO_TEST_DATA "/cups/");

QByteArray expectedStream(const QString &name, QString *error)
{
    QByteArray bytes;
    for (const QString &line : streamnotation::lines(dataDir + name + QStringLiteral(".txt")))
        bytes += streamnotation::writes(line, {}, error).join();
    return bytes;
}

// A white 1-bit page in the one form.
QImage blankPage(int width, int height)
{
    QImage page(width, height, QImage::Format_Mono);
    page.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    page.fill(0);
    return page;
}

// Rows 0-69 black, row 99 a dot at each end, 50 blank rows below.
QImage trimmedPage()
{
    QImage page = blankPage(384, 150);
    for (int y = 0; y < 70; ++y)
        std::fill(page.scanLine(y), page.scanLine(y) + 48, uchar(0xFF));
    page.scanLine(99)[0] = 0xF0;
    page.scanLine(99)[47] = 0x0F;
    return page;
}

struct FilterRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray log;
};

} // namespace

class TestCupsFilter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(cupstest::makeServerFolder(dir.path()), "the private CUPS folder could not be made");
    }

    void choices_data();
    void choices();
    void cancelEndsTheBandOnItsWay();
    void pageThroughCupsEqualsTheBitmapsTab();

private:
    FilterRun cupsfilter(const QList<QImage> &pages, const QStringList &options);

    QTemporaryDir dir;
};

FilterRun TestCupsFilter::cupsfilter(const QList<QImage> &pages, const QStringList &options)
{
    FilterRun run;
    const QString input = dir.filePath(QStringLiteral("job.ras"));
    if (!cupstest::writeRaster(input, pages))
        return run;
    QStringList args = QStringLiteral("-e -i application/vnd.cups-raster -m printer/kivo -c").split(u' ');
    args << dir.filePath(QStringLiteral("cups-files.conf")) << QStringLiteral("-p")
         << QStringLiteral(KIVO_PPD_DIR "/kivo-58.ppd");
    for (const QString &option : options)
        args << QStringLiteral("-o") << option;
    QProcess process;
    process.start(QStringLiteral("cupsfilter"), args << input);
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit)
        run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.log = process.readAllStandardError();
    return run;
}

void TestCupsFilter::choices_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("options");
    for (const QString &row : streamnotation::lines(dataDir + QStringLiteral("options.txt"))) {
        const QString name = row.section(u':', 0, 0);
        QTest::newRow(qPrintable(name)) << name << row.section(u':', 1).split(u' ', Qt::SkipEmptyParts);
    }
}

void TestCupsFilter::choices()
{
    QFETCH(QString, name);
    QFETCH(QStringList, options);
    QString error;
    const QByteArray expected = expectedStream(name, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    const FilterRun run = cupsfilter({trimmedPage(), blankPage(384, 20)}, options);
    QVERIFY2(run.exitCode == 0, run.log.constData());
    QCOMPARE(run.out.toHex(' '), expected.toHex(' '));
    for (const QString &option : options)
        if (option.startsWith(QStringLiteral("Cutter=Sideways")))
            QVERIFY2(run.log.contains("INFO: Cutter=Sideways is not a choice of this printer; using the default"),
                     run.log.constData());
}

void TestCupsFilter::cancelEndsTheBandOnItsWay()
{
    const QString input = dir.filePath(QStringLiteral("cancelled.ras"));
    QVERIFY(cupstest::writeRaster(input, {trimmedPage(), trimmedPage()}));
    QFile file(input);
    QVERIFY(file.open(QIODevice::ReadOnly));
    cups_raster_t *raster = cupsRasterOpen(file.handle(), CUPS_RASTER_READ);

    // The cancel arrives while the first band is being written.
    volatile std::sig_atomic_t cancelled = 0;
    QByteArray out;
    const auto sink = [&](const QByteArray &bytes) {
        out += bytes;
        if (bytes.startsWith("\x1D\x76"))
            cancelled = 1;
        return true;
    };
    const qsizetype band = bitmap::bandBytesFor(kivocups::uriBaudRate("serial:/dev/ttyUSB0?baud=9600+flow=soft"));
    const kivocups::FilterResult result = kivocups::runFilter(raster, kivocups::FilterOptions{}, band, sink, cancelled);
    cupsRasterClose(raster);

    QString error;
    QCOMPARE(out.toHex(' '), expectedStream(QStringLiteral("cancelled"), &error).toHex(' '));
    QVERIFY(result.cancelled);
    QCOMPARE(result.pages, 0);
    QVERIFY(result.error.isEmpty());
}

void TestCupsFilter::pageThroughCupsEqualsTheBitmapsTab()
{
    const QImage picture = bitmaptest::patternImage(bitmap::maxPrintWidth, 300);
    const bitmap::PrintJob job = bitmap::printJob(picture, bitmap::bandBytesFor(115200), bitmap::maxPrintWidth);
    QByteArray fromTab;
    for (const printer::Command &command : job.commands)
        fromTab += command.bytes();

    const FilterRun run = cupsfilter({picture}, {QStringLiteral("FeedBeforeCut=0mm")});
    QVERIFY2(run.exitCode == 0, run.log.constData());

    const QList<QImage> tabPages = cupstest::renderedPages(fromTab);
    const QList<QImage> cupsPages = cupstest::renderedPages(run.out);
    QCOMPARE(tabPages.size(), 1);
    QCOMPARE(cupsPages.size(), 1);
    QCOMPARE(cupsPages[0].size(), picture.size());
    QCOMPARE(cupsPages[0], tabPages[0]);
    QCOMPARE(bitmaptest::pageRows(cupsPages[0], picture.width()), bitmap::rasterRows(picture));
}

QTEST_MAIN(TestCupsFilter)
#include "tst_cups_filter.moc"
