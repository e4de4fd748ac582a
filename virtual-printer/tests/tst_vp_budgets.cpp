// The printer under load: pages written off the event loop as 1- or 8-bit
// PNG, the command log folded and capped, the page budget, reprint bursts
// taken in slices, and the flash written only when it changes
// (data/budgets.txt).

#include "decoder/commandlog.h"
#include "pngencoder.h"
#include "vphost.h"
#include "vpstream.h"

#include <QTemporaryDir>

#include <sys/stat.h>

using vptest::Device;
using vptest::Host;
using vptest::Stream;

namespace {
QByteArray rowBytes(const QString &what)
{
    for (const QString &row : vptest::dataLines(QStringLiteral("budgets.txt")))
        if (row.section(QStringLiteral(" => "), 1) == what)
            return vptest::bytesOf(row.section(QStringLiteral(" => "), 0, 0));
    qFatal("no row %s", qPrintable(what));
}

// Qt Test rows of data/budgets.txt whose check starts with `kind`.
void addRows(const QString &kind)
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("expected");
    for (const QString &row : vptest::dataLines(QStringLiteral("budgets.txt")))
        if (row.section(QStringLiteral(" => "), 1).startsWith(kind))
            QTest::newRow(qPrintable(row.left(60))) << vptest::bytesOf(row.section(QStringLiteral(" => "), 0, 0))
                                                    << row.section(QStringLiteral(" => "), 1).section(u' ', 1);
}

} // namespace

class TestBudgets : public QObject
{
    Q_OBJECT
private slots:
    void pngDepth_data() { addRows(QStringLiteral("png")); }
    void pngDepth();
    void pngOfOddPages();
    void flashWrites_data() { addRows(QStringLiteral("flash")); }
    void flashWrites();
    void replyWhilePageIsWritten();
    void burstsInSlicesAndPageBudget();
    void logFoldedAndCapped();
};

void TestBudgets::pngDepth()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    vptest::Rig rig;
    rig.run(bytes);
    QStringList depths;
    for (const kvp::Page &page : rig.pages) {
        const QByteArray png = kvp::encodePagePng(page.image);
        const QImage read = QImage::fromData(png, "PNG");
        depths << QString::number(png.at(24)); // the bit depth in the header
        QCOMPARE(read.convertToFormat(QImage::Format_Grayscale8), page.image);
    }
    QCOMPARE(depths.join(u' '), expected);
}

void TestBudgets::pngOfOddPages()
{
    // Rows that end inside a byte, and more greys than a palette holds.
    for (int levels : {2, 3, 5, 17}) {
        QImage page(13, 7, QImage::Format_Grayscale8);
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                page.scanLine(y)[x] = static_cast<uchar>(255 - (x + y * 13) % levels * 15);
        const QImage read = QImage::fromData(kvp::encodePagePng(page), "PNG");
        QCOMPARE(read.convertToFormat(QImage::Format_Grayscale8), page);
    }
}

void TestBudgets::flashWrites()
{
    // Each 3-byte command alone; a write replaces the file (a new inode).
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    QTemporaryDir tmp;
    const QString flash = tmp.filePath(QStringLiteral("flash.txt"));
    vptest::Rig rig(flash);
    int writes = 0;
    ino_t last = 0;
    for (qsizetype at = 0; at < bytes.size(); at += 3) {
        rig.core.feed(bytes.mid(at, 3));
        struct stat st
        { };
        writes += ::stat(QFile::encodeName(flash).constData(), &st) == 0 && st.st_ino != last ? 1 : 0;
        last = st.st_ino;
    }
    QCOMPARE(QString::number(writes), expected);
}

void TestBudgets::replyWhilePageIsWritten()
{
    // A 20 000-row page, then a status query once the page is in the
    // writer's hands: the answer does not wait for the page file (the writer
    // holds the page until the answer has come, as a slow disk would), and
    // the page still comes.
    QTemporaryDir tmp;
    Device device(tmp.path(), 1000);
    QString error;
    QVERIFY2(device.service.start(&error), qPrintable(error));
    device.service.holdPageWrites(true);
    QByteArray noise(qsizetype(48) * 20000, 0);
    QRandomGenerator(7).fillRange(reinterpret_cast<quint32 *>(noise.data()), noise.size() / 4);
    const QByteArray page = Stream().raster(0, 48, 20000, noise).fullCut().bytes;
    Host host(device.service.linkPath());
    QVERIFY(host.write(page));
    QVERIFY(vptest::waitFor([&] { return device.service.printer().decodedBytes() == uint64_t(page.size()); }, 30000));
    QVERIFY(host.write(Stream().status().bytes));
    QCOMPARE(device.reply(host), '\x10');
    QVERIFY(device.service.pagesWritten().isEmpty());
    device.service.holdPageWrites(false);
    QVERIFY(vptest::waitFor([&] { return device.service.pagesWritten().size() == 1; }, 30000));
}

void TestBudgets::burstsInSlicesAndPageBudget()
{
    // 100 reprints (about 41 pages of 20 000 rows), a status query, 100
    // more, another query. The first answer comes while the second burst is
    // still being printed; only 3 pages are written, the budget is logged
    // once, and the second query is answered all the same.
    QTemporaryDir tmp;
    Device device(tmp.path(), 3);
    QString error;
    QVERIFY2(device.service.start(&error), qPrintable(error));
    QStringList limits;
    connect(&device.service, &kvp::Service::limitReached, [&](const QString &m) { limits << m; });
    const QByteArray burst = rowBytes(QStringLiteral("reprint")).repeated(100);
    Host host(device.service.linkPath());
    const QByteArray store = rowBytes(QStringLiteral("store"));
    QVERIFY(host.write(store));
    QVERIFY(vptest::waitFor([&] { return device.service.printer().decodedBytes() == uint64_t(store.size()); }, 10000));
    const QByteArray bursts = burst + Stream().status().bytes + burst + Stream().status().bytes;
    QCOMPARE(::write(host.fd, bursts.constData(), bursts.size()), bursts.size());
    const int rowsPerReprint = 8192;
    QCOMPARE(device.reply(host), '\x10');
    QVERIFY(device.service.printer().core().paper().pagesDelivered() < 200 * rowsPerReprint / 20000);
    QCOMPARE(device.reply(host), '\x10');
    device.service.stop();
    QCOMPARE(device.service.pagesWritten().size(), 3);
    QCOMPARE(limits.size(), 1);
    QCOMPARE(device.lines.filter(QStringLiteral("page limit of 3 pages")).size(), 1);
}

void TestBudgets::logFoldedAndCapped()
{
    // Runs of the same entry fold into one line; the file stops at its size
    // and a log that reached it is kept aside at the next start.
    QTemporaryDir tmp;
    const QString path = tmp.filePath(QStringLiteral("commands.log"));
    auto read = [](const QString &name) {
        QFile f(name);
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                           : QStringList();
    };
    {
        kvp::FileLog file(path, 400);
        kvp::FoldingLog log(&file);
        kvp::LogEntry lf{0, QByteArray("\n"), 0, QStringLiteral("LF"), QString()};
        for (; lf.offset < 1234567; ++lf.offset)
            log.add(lf);
        log.note(QStringLiteral("note"), QStringLiteral("once"));
        log.flushIdle();
        log.flushIdle();
        for (int i = 0; i < 20; ++i)
            log.note(QStringLiteral("note"), QString::number(i));
        log.flush();
    }
    const QStringList lines = read(path);
    QCOMPARE(lines.first(), QStringLiteral("00000000  0A                              LF                 × 1 234 567"));
    QVERIFY(lines[1].endsWith(QLatin1String("once")));
    QVERIFY(lines.last().contains(QLatin1String("log full")));
    QVERIFY(QFileInfo(path).size() <= 400 + lines.last().size() + 1);
    kvp::FileLog(path, 400).note(QStringLiteral("note"), QStringLiteral("next run"));
    QCOMPARE(read(path + QStringLiteral(".old")), lines);
    QCOMPARE(read(path).size(), 1);
}

QTEST_MAIN(TestBudgets)
#include "tst_vp_budgets.moc"
