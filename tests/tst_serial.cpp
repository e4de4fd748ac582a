// The serial link end to end over a real pseudo-terminal: the port is
// opened through the settings dialog's "Custom" entry as a user would, and
// the test plays the controller on the master side. Replies show in the
// console (data/replies-shown.txt) and in the Traffic record. Another program
// holds the port in one test; a UART's control lines are a stand-in's.

#include "support/modalboxcloser.h"
#include "support/pseudoterminal.h"
#include "support/streamnotation.h"
#include "support/windowdriver.h"

#include "serial/linesignals.h"
#include "serial/linesignalsbar.h"
#include "serial/replytext.h"
#include "serial/settingsdialog.h"
#include "timing/clock.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// What a second program finds of a port: whether it could take an exclusive
// flock as serial tools do, and whether the terminal is exclusive (opens by
// others than root fail).
QString asSeenByOthers(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int exclusive = 0;
    ::ioctl(fd, TIOCGEXCL, &exclusive);
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    return QStringLiteral("%1%2").arg(locked ? "locked" : "free", exclusive ? ", exclusive" : "");
}

// A UART's control lines as the test sets them, and what the program
// switched.
struct Uart
{
    serial::ModemSignals lines;
    bool readable = true;
    QStringList calls;
};

struct FakeModemLines : serial::ModemLines
{
    explicit FakeModemLines(Uart &shared)
        : uart(shared)
    { }
    bool read(serial::ModemSignals *now) override { return (*now = uart.lines), uart.readable; }
    bool setDtr(bool on) override { return record("DTR", on), uart.lines.dtr = on, true; }
    bool setRts(bool on) override { return record("RTS", on), uart.lines.rts = on, true; }
    bool setBreak(bool on) override { return record("break", on), true; }
    void record(const char *line, bool on) { uart.calls << QStringLiteral("%1 %2").arg(line, on ? "on" : "off"); }
    Uart &uart;
};

// The bar's controls by name, "+" for enabled; lit inputs in capitals.
QString barState(LineSignalsBar &bar)
{
    QString shown;
    for (auto [name, shortName] :
         {std::pair{"buttonDtr", "DTR"}, {"buttonRts", "RTS"}, {"buttonBreak", "Break"}, {"spinBreakLength", "ms"}}) {
        auto *control = widget<QWidget>(bar, name);
        auto *button = qobject_cast<QToolButton *>(control);
        shown += QStringLiteral("%1%2%3 ").arg(shortName, control->isEnabled() ? "+" : "",
                                               button && button->isChecked() ? "*" : "");
    }
    for (const char *name : {"labelCts", "labelDsr", "labelDcd", "labelRi"}) {
        auto *input = widget<QLabel>(bar, name);
        shown += input->property("lit").toBool() ? input->text() : input->text().toLower();
    }
    return shown;
}

} // namespace

class TestSerial : public QObject
{
    Q_OBJECT

private slots:
    void connectAndDisconnect();
    void settingsStayWhileConnected();
    void failuresNameThePortAndAdvise();
    void repliesAppearAtTheCursorAndAsReads();
    void repliesShowEveryByte_data();
    void repliesShowEveryByte();
    void vanishedDeviceIsReportedOnceThenReconnects();
    void quittingEndsTheProgramAndFreesThePort();
    void aPortAnotherProgramHoldsIsRefused();
    void controlLinesOfAUart();
};

void TestSerial::connectAndDisconnect()
{
    MainWindow window;
    PseudoTerminal pty;
    QVERIFY(driver::connectTo(window, pty.slavePath()));
    QCOMPARE(driver::statusText(window),
             QStringLiteral("Connected to %1 : 115200, 8, None, 1, XON/XOFF").arg(pty.slavePath()));
    QCOMPARE(driver::actionStates(window), QStringLiteral("cDF"));
    QSerialPort *port = KivoTestAccess::serialPort(window);
    QCOMPARE(port->baudRate(), 115200);
    QCOMPARE(port->flowControl(), QSerialPort::SoftwareControl);

    // A pseudo-terminal has no modem lines: their controls are off, with
    // the reason, and no box comes.
    ModalBoxCloser closer;
    QCoreApplication::processEvents();
    for (const char *control : {"buttonDtr", "buttonRts", "buttonBreak", "spinBreakLength", "labelCts", "labelRi"}) {
        QVERIFY(!widget<QWidget>(window, control)->isEnabled());
        QVERIFY(widget<QWidget>(window, control)->toolTip().contains("pseudo-terminal"));
    }

    widget<QAction>(window, "actionDisconnect")->trigger();
    QVERIFY(!port->isOpen());
    QCOMPARE(driver::statusText(window), QStringLiteral("Disconnected"));
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));
    QVERIFY(widget<QWidget>(window, "buttonDtr")->toolTip().startsWith("Connect to a serial port"));
    QVERIFY(closer.boxes.isEmpty());
}

void TestSerial::settingsStayWhileConnected()
{
    // The dialog, left open from before, cannot change what the port runs at.
    MainWindow window;
    PseudoTerminal pty;
    QVERIFY(driver::connectTo(window, pty.slavePath()));
    SettingsDialog *dialog = KivoTestAccess::settingsDialog(window);
    dialog->show();
    auto *apply = widget<QPushButton>(*dialog, "applyButton");
    QVERIFY(!apply->isEnabled());
    auto *baud = widget<QComboBox>(*dialog, "baudRateBox");
    baud->setCurrentIndex(baud->findText("9600"));
    QTest::keyClick(baud, Qt::Key_Return);
    QCOMPARE(dialog->serialSettings().baudRate, 115200);

    widget<QAction>(window, "actionDisconnect")->trigger();
    QVERIFY(apply->isEnabled());

    // Configure brings the dialog forward, also when it is open behind:
    // one dialog however often it is asked for, and modeless.
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    widget<QAction>(window, "actionConfigure")->trigger();
    QTRY_COMPARE(QApplication::activeWindow(), dialog);
    widget<QAction>(window, "actionConfigure")->trigger();
    QCOMPARE(window.findChildren<SettingsDialog *>().size(), 1);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
}

void TestSerial::failuresNameThePortAndAdvise()
{
    // The system's words after the port's name, then one line of advice.
    MainWindow window;
    ModalBoxCloser closer;
    const QString missing = QStringLiteral("/dev/kivo-no-such-device");
    QVERIFY(!driver::connectTo(window, missing));
    QCOMPARE(closer.titles(), QStringList{"Error"});
    QCOMPARE(closer.boxes[0].icon, QMessageBox::Critical);
    const QString system = KivoTestAccess::serialPort(window)->errorString();
    QVERIFY2(closer.boxes[0].text.startsWith(missing + ": " + system + "\n"), qPrintable(closer.boxes[0].text));
    QCOMPARE(driver::statusText(window), QStringLiteral("Open error"));
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));

    // A port another window holds.
    PseudoTerminal pty;
    MainWindow holder;
    QVERIFY(driver::connectTo(holder, pty.slavePath()));
    QVERIFY(!driver::connectTo(window, pty.slavePath()));
    QCOMPARE(KivoTestAccess::serialPort(window)->error(), QSerialPort::PermissionError);
    QVERIFY(closer.boxes[1].text.startsWith(pty.slavePath() + ": "));
    QCOMPARE(closer.boxes[1].text.count(u'\n'), 1);

    // No path typed: nothing is opened, the box says what to do.
    QVERIFY(!driver::connectTo(window, QString()));
    QCOMPARE(closer.titles(), (QStringList{"Error", "Error", "Error"}));
    QVERIFY(closer.boxes[2].text.contains("Settings"));
    QCOMPARE(driver::statusText(window), QStringLiteral("Open error"));
}

void TestSerial::repliesAppearAtTheCursorAndAsReads()
{
    MainWindow window;
    PseudoTerminal pty;
    QVERIFY(driver::connectTo(window, pty.slavePath()));
    const traffic::Record &record = KivoTestAccess::trafficRecord(window);
    QCOMPARE(record.size(), std::size_t(0)); // the Traffic record starts at Connect
    auto *console = widget<QPlainTextEdit>(window, "editKivo");
    console->setPlainText("before|after");
    QTextCursor cursor = console->textCursor();
    cursor.setPosition(7);
    console->setTextCursor(cursor);

    pty.write("VX024 ");
    QTRY_COMPARE(console->toPlainText(), QStringLiteral("before|VX024 after"));
    pty.write("Ver\xC3\xA9\x10");
    QTRY_COMPARE(console->toPlainText(), QStringLiteral("before|VX024 Ver\u00E9<10>after"));
    // A long reply (Version) wraps at the console's width.
    QCOMPARE(console->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    // The start of a character whose rest never comes shows in the end.
    pty.write("\xE2\x82");
    QTRY_COMPARE(console->toPlainText(), QStringLiteral("before|VX024 Ver\u00E9<10><E2><82>after"));

    // Every byte read is in the record, marked as read.
    QByteArray reads;
    for (quint64 i = record.firstIndex(); i < record.endIndex(); ++i) {
        QVERIFY(record.at(i).direction == traffic::Direction::In
                && record.at(i).format().contains(QStringLiteral("<  ")));
        reads += record.at(i).head();
    }
    QCOMPARE(reads, QByteArray("VX024 Ver\xC3\xA9\x10\xE2\x82"));
}

void TestSerial::repliesShowEveryByte_data()
{
    QTest::addColumn<QByteArrayList>("pieces");
    QTest::addColumn<QString>("shown");
    static const QRegularExpression row(QStringLiteral("^(.*) => (.*)$"));
    for (const QString &line : streamnotation::lines(QStringLiteral(KIVO_TEST_DATA "/replies-shown.txt"))) {
        const QRegularExpressionMatch m = row.match(line);
        QString error;
        QTest::newRow(qPrintable(m.captured(1)))
            << streamnotation::writes(m.captured(1), {}, &error)
            << QString::fromUtf8(streamnotation::writes(m.captured(2), {}, &error).join());
        QVERIFY2(m.hasMatch() && error.isEmpty(), qPrintable(line));
    }
}

void TestSerial::repliesShowEveryByte()
{
    QFETCH(QByteArrayList, pieces);
    QFETCH(QString, shown);
    serial::ReplyText text;
    QString all;
    for (const QByteArray &piece : pieces)
        all += text.decode(piece);
    QCOMPARE(all + text.flush(), shown);
}

void TestSerial::vanishedDeviceIsReportedOnceThenReconnects()
{
    MainWindow window;
    auto pty = std::make_unique<PseudoTerminal>();
    QVERIFY(driver::connectTo(window, pty->slavePath()));
    QSerialPort *port = KivoTestAccess::serialPort(window);
    ModalBoxCloser closer;
    const QString path = pty->slavePath();
    pty.reset();
    QTRY_COMPARE(driver::statusText(window), QStringLiteral("Disconnected"));
    QCOMPARE(closer.titles(), QStringList{"Critical Error"});
    QVERIFY(closer.boxes[0].text.startsWith(path + ": "));
    QCOMPARE(closer.boxes[0].text.count(u'\n'), 1);
    QVERIFY(!port->isOpen());
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));

    // Idle again: nothing is left watching the vanished device, so no
    // stream of errors and no second box can follow.
    const auto notifiers = port->findChildren<QSocketNotifier *>();
    QVERIFY(std::none_of(notifiers.begin(), notifiers.end(), [](QSocketNotifier *n) { return n->isEnabled(); }));

    PseudoTerminal second;
    QVERIFY(driver::connectTo(window, second.slavePath()));
    QMetaObject::invokeMethod(&window, "printerSoftInit");
    QCOMPARE(second.read(2), QByteArray("\x1B\x40"));
    QCOMPARE(closer.boxes.size(), 1);
}

void TestSerial::quittingEndsTheProgramAndFreesThePort()
{
    // Quit with the settings dialog open and the port connected: the program
    // ends and the port is free at once. A window closed while connected frees
    // its port too, without a box.
    PseudoTerminal pty;
    ModalBoxCloser closer;
    {
        MainWindow window;
        window.show();
        QVERIFY(driver::connectTo(window, pty.slavePath()));
        KivoTestAccess::settingsDialog(window)->show();
        QApplication::setQuitOnLastWindowClosed(true);
        QTimer watchdog;
        connect(&watchdog, &QTimer::timeout, this, [] { QCoreApplication::exit(1); });
        watchdog.start(5000);
        QMetaObject::invokeMethod(widget<QAction>(window, "actionQuit"), "trigger", Qt::QueuedConnection);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(!KivoTestAccess::settingsDialog(window)->isVisible());
        MainWindow next;
        QVERIFY(driver::connectTo(next, pty.slavePath()));
    }
    QCoreApplication::processEvents();
    QVERIFY(closer.boxes.isEmpty());
    MainWindow again;
    QVERIFY(driver::connectTo(again, pty.slavePath()));
}

void TestSerial::aPortAnotherProgramHoldsIsRefused()
{
    // Another program holds the port with an exclusive flock, as picocom
    // does: the port is refused, naming it, and left closed.
    auto pty = std::make_unique<PseudoTerminal>();
    const QString path = pty->slavePath();
    QProcess holder;
    holder.start("flock", {"--exclusive", "--nonblock", path, "--command", "echo held; exec cat"});
    QVERIFY(holder.waitForReadyRead());
    QCOMPARE(holder.readAllStandardOutput(), QByteArray("held\n"));
    MainWindow window;
    ModalBoxCloser closer;
    QVERIFY(!driver::connectTo(window, path));
    QCOMPARE(closer.boxes.size(), 1);
    QCOMPARE(closer.boxes[0].text,
             QStringLiteral("%1: the port is in use by another program.\nflock (process %2) holds "
                            "the port: close it there, then connect again.")
                 .arg(path)
                 .arg(holder.processId()));
    QCOMPARE(driver::statusText(window), QStringLiteral("Open error"));

    // Once it lets go the port is ours alone until Disconnect.
    holder.closeWriteChannel();
    QVERIFY(holder.waitForFinished());
    QVERIFY(driver::connectTo(window, path));
    QCOMPARE(asSeenByOthers(path), QStringLiteral("locked, exclusive"));
    widget<QAction>(window, "actionDisconnect")->trigger();
    QCOMPARE(asSeenByOthers(path), QStringLiteral("free"));

    // A device that goes away lets go of it too.
    QVERIFY(driver::connectTo(window, path));
    const int other = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), -1);
    pty.reset();
    QTRY_COMPARE(driver::statusText(window), QStringLiteral("Disconnected"));
    QCOMPARE(::flock(other, LOCK_EX | LOCK_NB), 0);
    ::close(other);
}

void TestSerial::controlLinesOfAUart()
{
    timing::ManualClock clock;
    serial::LineSignals lines(clock);
    LineSignalsBar bar(lines);
    QCOMPARE(barState(bar), QStringLiteral("DTR RTS Break ms ctsdsrdcdri"));

    // Connected: the lines as the device has them, the inputs read every
    // tenth of a second.
    Uart uart;
    uart.lines = {true, true, true, false, false, false};
    lines.attach(std::make_unique<FakeModemLines>(uart), false);
    QCOMPARE(barState(bar), QStringLiteral("DTR+* RTS+* Break+ ms+ CTSdsrdcdri"));
    uart.lines.cts = false;
    uart.lines.dcd = uart.lines.ri = true;
    clock.advance(serial::LineSignals::pollMs);
    QCOMPARE(barState(bar), QStringLiteral("DTR+* RTS+* Break+ ms+ ctsdsrDCDRI"));
    QVERIFY(widget<QLabel>(bar, "labelRi")->toolTip().endsWith(": on"));

    // DTR and RTS switch; a break lasts as long as chosen, one at a time.
    widget<QToolButton>(bar, "buttonDtr")->click();
    widget<QToolButton>(bar, "buttonRts")->click();
    widget<QSpinBox>(bar, "spinBreakLength")->setValue(300);
    widget<QToolButton>(bar, "buttonBreak")->click();
    QCOMPARE(barState(bar), QStringLiteral("DTR+ RTS+ Break* ms+ ctsdsrDCDRI"));
    lines.sendBreak(300);
    clock.advance(299);
    QCOMPARE(uart.calls, (QStringList{"DTR off", "RTS off", "break on"}));
    clock.advance(1);
    QCOMPARE(uart.calls.last(), QStringLiteral("break off"));
    QCOMPARE(barState(bar), QStringLiteral("DTR+ RTS+ Break+ ms+ ctsdsrDCDRI"));

    // Disconnect ends a break under way; with RTS/CTS flow control the
    // system drives RTS.
    widget<QToolButton>(bar, "buttonBreak")->click();
    lines.detach();
    QCOMPARE(uart.calls.last(), QStringLiteral("break off"));
    QCOMPARE(barState(bar), QStringLiteral("DTR RTS Break ms ctsdsrdcdri"));
    lines.attach(std::make_unique<FakeModemLines>(uart), true);
    QCOMPARE(barState(bar), QStringLiteral("DTR+ RTS Break+ ms+ ctsdsrDCDRI"));
    QVERIFY(widget<QWidget>(bar, "buttonRts")->toolTip().contains("flow control"));

    // Lines that stop answering (an adapter pulled out) go off quietly.
    uart.readable = false;
    clock.advance(serial::LineSignals::pollMs);
    QCOMPARE(barState(bar), QStringLiteral("DTR RTS Break ms ctsdsrdcdri"));
}

QTEST_MAIN(TestSerial)
#include "tst_serial.moc"
