// A peer that floods the line: 5 MB of random bytes (text, broken UTF-8,
// NULs, the XON/XOFF values) come in while a demonstration's bytes go out.
// The console must show the last of them as text, in order, below a note
// that older text was dropped; the demonstration must arrive intact, and the
// window must keep answering.

#include "app/consolelimit.h"
#include "support/pseudoterminal.h"
#include "support/windowdriver.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <atomic>
#include <cerrno>
#include <mutex>
#include <optional>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

// The far end of the line on threads of its own, as a real peer is: one
// writes the flood as fast as the line takes it, one reads what the program
// sends at a printer's pace (12 KB/s), so that the demonstration is still
// going out while the flood comes in.
class FloodingPeer
{
public:
    FloodingPeer(int fd, const QByteArray &flood)
    {
        writer = std::thread([this, fd, flood] {
            for (qsizetype sent = 0; !stop && sent < flood.size();) {
                pollfd pfd{fd, POLLOUT, 0};
                const ssize_t n =
                    ::poll(&pfd, 1, 50) > 0 ? ::write(fd, flood.constData() + sent, size_t(flood.size() - sent)) : 0;
                sent += qMax<ssize_t>(n, 0);
            }
        });
        reader = std::thread([this, fd] {
            QElapsedTimer clock;
            clock.start();
            char buffer[4096];
            while (!stop) {
                const qint64 allowed = qMin<qint64>(clock.elapsed() * 12 - receivedCount, sizeof buffer);
                pollfd pfd{fd, POLLIN, 0};
                if (allowed <= 0 || ::poll(&pfd, 1, 5) <= 0)
                    continue;
                const ssize_t n = ::read(fd, buffer, size_t(allowed));
                std::lock_guard<std::mutex> lock(mutex);
                if (n > 0)
                    receivedBytes.append(buffer, n), receivedCount += n;
            }
        });
    }
    ~FloodingPeer()
    {
        stop = true;
        writer.join();
        reader.join();
    }
    QByteArray received()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return receivedBytes;
    }

private:
    std::thread writer, reader;
    std::atomic<bool> stop{false};
    std::atomic<qint64> receivedCount{0};
    std::mutex mutex;
    QByteArray receivedBytes;
};

// Random bytes: ASCII with NULs, LF and the XON/XOFF values, and stray UTF-8
// continuation bytes, none of which can join another into a character,
// however the line splits the flood into pieces. No CR (it would fold into a
// following LF).
QByteArray floodBytes()
{
    QByteArray flood(qsizetype(5) * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(20240607).fillRange(reinterpret_cast<quint32 *>(flood.data()), flood.size() / 4);
    for (char &c : flood)
        c = char((c & 0x80) ? 0x80 | (c & 0x3F) : c == '\r' ? 0x0E : c);
    return flood;
}

// The console text of the flood: printable ASCII as it is, LF a paragraph
// end, TAB a tab, and every other byte its hex token.
QString shownAs(const QByteArray &flood)
{
    QString text;
    text.reserve(flood.size() * 3);
    for (char c : flood) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\n')
            text += QChar::ParagraphSeparator;
        else if (c == '\t' || (byte >= 0x20 && byte < 0x7F))
            text += QLatin1Char(c);
        else
            text += QStringLiteral("<%1>").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

// True when `shown` is the end of `expected` but for the breaks the console
// puts into a line longer than its line length: each such break follows
// exactly that many characters of its line, or fewer where the line's start
// was dropped. Where a break falls depends on how the flood came in pieces.
bool endOfWithConsoleBreaks(const QString &expected, const QString &shown)
{
    qsizetype j = expected.size();
    for (qsizetype i = shown.size(); i-- > 0;) {
        if (j > 0 && shown.at(i) == expected.at(j - 1)) {
            --j;
            continue;
        }
        if (shown.at(i) != QChar::ParagraphSeparator)
            return false;
        const qsizetype lineStart = i > 0 ? shown.lastIndexOf(QChar::ParagraphSeparator, i - 1) + 1 : 0;
        const qsizetype before = i - lineStart;
        if (before != ConsoleLimit::lineLength && (lineStart > 0 || before > ConsoleLimit::lineLength))
            return false;
    }
    return true;
}

} // namespace

class TestFlood : public QObject
{
    Q_OBJECT

private slots:
    void floodWhileADemonstrationIsSent();
    void consoleKeepsItsLastText_data();
    void consoleKeepsItsLastText();
};

void TestFlood::floodWhileADemonstrationIsSent()
{
    const QByteArray flood = floodBytes();
    MainWindow window;
    window.show();
    PseudoTerminal pty;
    QVERIFY(driver::connectTo(window, pty.slavePath(), "None"));
    auto *console = widget<QPlainTextEdit>(window, "editKivo");
    driver::press(window, "on_pushButtonReceipt_released");
    const qint64 receiptSize = KivoTestAccess::serialPort(window)->bytesToWrite();
    const QString before = console->document()->toRawText();

    // The window keeps answering: the flood is read a piece per turn of the
    // event loop (a piece is at most what the terminal buffers), so the call
    // queued by the first console change runs while nearly all of it is
    // still to come, however fast or slow the machine.
    const QString expected = before + shownAs(flood);
    const QString end = expected.right(1000);
    std::optional<bool> answered;
    auto answer = [&] {
        if (!answered)
            answered = !console->document()->toRawText().endsWith(end);
    };
    connect(console, &QPlainTextEdit::textChanged, &window, answer, Qt::QueuedConnection);
    FloodingPeer peer(pty.masterFd(), flood);
    QTRY_VERIFY_WITH_TIMEOUT(console->document()->toRawText().endsWith(end) && peer.received().size() >= receiptSize,
                             120000);

    QCOMPARE(peer.received().size(), receiptSize);
    QVERIFY(answered.value_or(false));
    const QString note = ConsoleLimit::droppedNote() + QChar::ParagraphSeparator;
    const QString shown = console->document()->toRawText();
    QVERIFY2(shown.startsWith(note), "the console does not say that older text was dropped");
    QVERIFY2(shown.size() > note.size() + end.size() && endOfWithConsoleBreaks(expected, shown.mid(note.size())),
             "the console lost or reordered part of the flood");
}

void TestFlood::consoleKeepsItsLastText_data()
{
    QTest::addColumn<QString>("piece");
    QTest::addColumn<int>("pieces");
    QTest::newRow("many lines") << "a reply\n" << 500;
    QTest::newRow("one line without end") << QString(3000, u'x') << 20;
}

void TestFlood::consoleKeepsItsLastText()
{
    QFETCH(QString, piece);
    QFETCH(int, pieces);
    QPlainTextEdit console;
    new ConsoleLimit(&console, 100, 5000);
    QString all;
    for (int i = 0; i < pieces; ++i) {
        const QString text = QString::number(i) + piece;
        console.insertPlainText(text);
        all += text;
        QCoreApplication::processEvents();
        const QTextDocument *document = console.document();
        QVERIFY(document->blockCount() <= 101 && document->characterCount() <= 5100
                && document->lastBlock().length() <= ConsoleLimit::lineLength + 1);
    }
    const QString note = ConsoleLimit::droppedNote() + u'\n';
    const QString shown = console.toPlainText();
    QVERIFY(shown.startsWith(note) && all.remove(u'\n').endsWith(shown.mid(note.size()).remove(u'\n')));
}

QTEST_MAIN(TestFlood)
#include "tst_flood.moc"
