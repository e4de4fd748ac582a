// How the controller reads its byte stream: every command, text form and
// awkward corner of the command set (data/decoding.txt), the log line, and
// the same result however the stream is cut, with random or truncated input
// ending cleanly (a hang is left to the test's time limit).

#include "vpstream.h"

#include <QtTest>

using vptest::Rig;

class TestDecoding : public QObject
{
    Q_OBJECT
private slots:
    void commands_data() { vptest::addRows(QStringLiteral("decoding.txt")); }
    void commands();
    void logLine();
    void chunkingDoesNotChangeTheResult();
    void randomAndTruncatedInputEndCleanly();
};

void TestDecoding::commands()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, expected);
    Rig rig(QString(), 3000);
    rig.run(bytes);
    QCOMPARE(rig.decoded().join(QStringLiteral(" | ")), expected);
}

void TestDecoding::logLine()
{
    Rig rig;
    rig.run(vptest::bytesOf(QStringLiteral("78 1D 76 30 00 30 00 5E 00 01*4512")));
    QCOMPARE(rig.log.lines(false).at(1),
             QStringLiteral("00000001  1D 76 30 00 30 00 5E 00 01 01 01 01 01 01 01 01 ... (+4504 bytes)  raster"
                            "             mode 0, 48 bytes x 94 rows (384 x 94 dots)"));
}

void TestDecoding::chunkingDoesNotChangeTheResult()
{
    const QByteArray bytes = vptest::bytesOf(vptest::dataLines(QStringLiteral("session.txt")).join(u' '));
    Rig whole;
    whole.run(bytes);
    QVERIFY(!whole.decoded().isEmpty() && whole.pages.size() >= 4);
    // Bytes one by one, and pieces of random sizes up to 5, 300 and 5000 bytes.
    for (const auto &[seed, maxChunk] : {std::pair{1u, 1}, {7u, 5}, {42u, 300}, {2024u, 5000}}) {
        Rig pieces;
        pieces.runChunked(bytes, seed, maxChunk);
        QCOMPARE(pieces.log.lines(), whole.log.lines());
        QCOMPARE(pieces.replies, whole.replies);
        QCOMPARE(pieces.pages.size(), whole.pages.size());
        for (size_t i = 0; i < whole.pages.size(); ++i) {
            QCOMPARE(pieces.pages[i].image, whole.pages[i].image);
            QCOMPARE(pieces.pages[i].reason, whole.pages[i].reason);
        }
    }
}

void TestDecoding::randomAndTruncatedInputEndCleanly()
{
    QList<QByteArray> streams;
    for (quint32 seed = 1; seed <= 300; ++seed) {
        // Plain noise, and noise made of command prefixes, which reaches
        // deeper into the command set.
        QByteArray bytes(1 + seed * 37 % 3000, 0);
        QRandomGenerator(seed).generate(bytes.begin(), bytes.end());
        for (qsizetype i = 0; seed % 2 && i < bytes.size(); i += 3)
            bytes[i] = "\x1B\x1D\x1C\x10\x0A"[static_cast<unsigned char>(bytes[i]) % 5];
        streams << bytes;
    }
    const QByteArray session = vptest::bytesOf(vptest::dataLines(QStringLiteral("session.txt")).join(u' '));
    for (qsizetype cut = 0; cut < session.size(); cut += 53)
        streams << session.left(cut);
    for (const QByteArray &bytes : streams) {
        Rig rig(QString(), 3000);
        rig.runChunked(bytes, static_cast<quint32>(bytes.size()), 64);
        QCOMPARE(rig.core.decoder().offset(), static_cast<uint64_t>(bytes.size()));
        QVERIFY(rig.core.decoder().idle() && !rig.core.renderer().lineHasContent());
        QVERIFY(bytes.isEmpty() || !rig.decoded().isEmpty());
        for (const kvp::Page &p : rig.pages)
            QVERIFY(p.image.height() <= 3000);
    }
}

QTEST_MAIN(TestDecoding)
#include "tst_vp_decoding.moc"
