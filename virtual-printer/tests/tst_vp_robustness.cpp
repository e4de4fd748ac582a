// The controller gives the same result however the stream is cut into
// pieces, and survives random and truncated input in bounded time.

#include "vpstream.h"

#include <QElapsedTimer>
#include <QtTest>

using vptest::Rig;
using vptest::Stream;

namespace {
// A session that touches every kind of command.
QByteArray sampleSession()
{
    QByteArray picture;
    for (int i = 0; i < 48 * 40; ++i)
        picture += static_cast<char>((i * 37) ^ (i >> 3));
    Stream s;
    s.init().justify(0).darkness(4).raster(0, 48, 40, picture).lf();
    s.mode(0x00).line("======== S A M P L E ========");
    for (int m : {0x08, 0x20, 0x10, 0x40, 0x80, 0x02, 0x82, 0xFA})
        s.mode(m).line("Mode 0123456 ABCD abcd");
    s.mode(0).font(1).line("small font line").font(2);
    s.raw({'A', 0x80, 0xA3}).utf16({0x012B, 0x03A9, 0x0628}).lf();
    s.dbOn().raw(QByteArray::fromHex("B7C9C1F7")).raw(QByteArray::fromHex("2422244E")).dbOff().lf();
    s.tabs({8, 24, 38}).ht().text("Tab1").ht().text("Tab2").ht().text("Tab3").lf();
    s.absPos(50).line("Abs: 1234").justify(1).line("Center").justify(2).line("Right").justify(0);
    s.spacing(66).line("spaced").spacingDefault().feedDots(20).feedLines(2).cr();
    s.leftMargin(8).line("margin").leftMargin(0).rightMargin(38).line("right margin").rightMargin(0);
    s.barcodeWidth(3).barcodeHeight(64).barcode(0, "01234567890").barcodeText(0).barcode(8, "12345678").barcodeText(1);
    s.qrModule(4).qrLevel(0x31).qrStore("kivo virtual printer").qrPrint();
    s.store(3, 1, 2, 8, QByteArray(16, '\x3C')).printPicture(3, 3).printPicture(9, 0);
    s.status().version().callBack(0).partialCut();
    s.sleep().line("after sleep").clear().text("cleared").nextLabel();
    s.raw({0x00, 0x1B, 0x7A, 0x1D, 0x28, 0x09}).line("after junk").fullCut();
    s.text("tail without line feed");
    return s.bytes;
}

bool samePages(const std::vector<kvp::Page> &a, const std::vector<kvp::Page> &b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].image != b[i].image || a[i].reason != b[i].reason)
            return false;
    return true;
}
} // namespace

class TestRobustness : public QObject
{
    Q_OBJECT
private slots:
    void chunkingDoesNotChangeTheResult_data();
    void chunkingDoesNotChangeTheResult();
    void randomInputEndsInBoundedTime();
    void everyTruncationEndsCleanly();
    void hostileHeadersStayBounded();
};

void TestRobustness::chunkingDoesNotChangeTheResult_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<int>("maxChunk");
    QTest::newRow("bytes one by one") << 1u << 1;
    QTest::newRow("small pieces") << 7u << 5;
    QTest::newRow("medium pieces") << 42u << 300;
    QTest::newRow("large pieces") << 2024u << 5000;
}

void TestRobustness::chunkingDoesNotChangeTheResult()
{
    QFETCH(quint32, seed);
    QFETCH(int, maxChunk);
    const QByteArray bytes = sampleSession();
    Rig whole;
    whole.run(bytes);
    Rig pieces;
    pieces.runChunked(bytes, seed, maxChunk);

    QCOMPARE(pieces.log.lines(), whole.log.lines());
    QCOMPARE(pieces.replies, whole.replies);
    QVERIFY(whole.pages.size() >= 4);
    QVERIFY(samePages(pieces.pages, whole.pages));
    // Sanity of the reference itself: everything was understood except the junk.
    QCOMPARE(whole.names().count(QStringLiteral("unknown")), 2);
    QCOMPARE(whole.names().count(QStringLiteral("skip")), 1);
}

void TestRobustness::randomInputEndsInBoundedTime()
{
    QElapsedTimer timer;
    timer.start();
    uint64_t total = 0;
    for (quint32 seed = 1; seed <= 300; ++seed) {
        // Mix plain noise with noise made of command prefixes, which reaches
        // deeper into the command set.
        QByteArray bytes = vptest::randomBytes(seed, 1 + static_cast<int>(seed * 37 % 3000));
        if (seed % 2)
            for (int i = 0; i < bytes.size(); i += 3)
                bytes[i] = "\x1B\x1D\x1C\x10\x0A"[static_cast<unsigned char>(bytes[i]) % 5];
        Rig rig(QString(), 3000);
        rig.runChunked(bytes, seed, 64);
        QCOMPARE(rig.core.decoder().offset(), static_cast<uint64_t>(bytes.size()));
        QVERIFY(rig.core.decoder().idle());
        for (const kvp::Page &p : rig.pages)
            QVERIFY(p.image.height() <= 3000);
        total += static_cast<uint64_t>(bytes.size());
    }
    QVERIFY2(timer.elapsed() < 120000,
             qPrintable(QStringLiteral("%1 ms for %2 bytes").arg(timer.elapsed()).arg(total)));
}

void TestRobustness::everyTruncationEndsCleanly()
{
    const QByteArray bytes = sampleSession();
    for (int cut = 0; cut < bytes.size(); cut += 97) {
        Rig rig;
        rig.run(bytes.left(cut));
        QCOMPARE(rig.core.decoder().offset(), static_cast<uint64_t>(cut));
        QVERIFY(rig.core.decoder().idle());
        // Nothing is left unprinted after the end of the stream.
        QVERIFY(!rig.core.renderer().lineHasContent());
    }
}

void TestRobustness::hostileHeadersStayBounded()
{
    QByteArray blankPaper;
    for (int i = 0; i < 50; ++i)
        blankPaper += Stream().spacing(255).feedLines(255).text("x").bytes; // a lot of paper feed
    const QList<QByteArray> streams = {
        Stream().raster(3, 0xFFFF, 0xFFFF, QByteArray(70000, '\xFF')).bytes, // quadruple size, endless rows
        Stream().store(0, 0, 0xFFFF, 0xFFFF, QByteArray(100000, '\xFF')).printPicture(0, 3).bytes, // store of 4 GB
        Stream()
            .raw({0x1D, 0x28, 0x6B, 0xFF, 0xFF, 0x31, 0x50, 0x30})
            .raw(QByteArray(65532, 'Q'))
            .qrPrint()
            .bytes,                                                                // QR of 64 KiB
        Stream().raw({0x1D, 0x6B, 0x45, 0xFF}).raw(QByteArray(255, '\xEE')).bytes, // Code 39 with bytes it cannot
                                                                                   // encode
        Stream().barcodeWidth(6).barcode(8, QByteArray(255, 'W')).bytes,           // far too wide for the paper
        blankPaper,
        Stream().leftMargin(255).rightMargin(255).mode(0x30).line("squeezed").absPos(0xFFFF).ht().line("x").bytes,
    };
    for (const QByteArray &bytes : streams) {
        Rig rig(QString(), 5000);
        QElapsedTimer timer;
        timer.start();
        rig.run(bytes);
        QVERIFY(timer.elapsed() < 30000);
        QVERIFY(rig.core.decoder().idle());
        for (const kvp::Page &p : rig.pages)
            QVERIFY(p.image.height() <= 5000 && p.image.width() == 384);
    }
}

QTEST_MAIN(TestRobustness)
#include "tst_vp_robustness.moc"
