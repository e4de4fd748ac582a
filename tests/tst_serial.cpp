// The serial link end to end over a real pseudo-terminal: the port is
// opened through the settings dialog's "Custom" entry as a user would, and
// the test plays the controller on the master side.

#include "support/modalboxcloser.h"
#include "support/pseudoterminal.h"
#include "support/windowdriver.h"

#include "serial/replytext.h"
#include "serial/settingsdialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTest>
#include <QTextCursor>

#include <algorithm>
#include <memory>

class TestSerial : public QObject
{
    Q_OBJECT

private slots:
    void connectAndDisconnect();
    void settingsStayWhileConnected();
    void failuresNameThePortAndAdvise();
    void repliesAppearAtTheCursorPieceByPiece();
    void repliesShowEveryByte_data();
    void repliesShowEveryByte();
    void largePictureArrivesComplete();
    void vanishedDeviceIsReportedOnceThenReconnects();
    void quittingWhileConnectedFreesThePort();
    void closingTheWindowEndsTheProgram();
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

    widget<QAction>(window, "actionDisconnect")->trigger();
    QVERIFY(!port->isOpen());
    QCOMPARE(driver::statusText(window), QStringLiteral("Disconnected"));
    QCOMPARE(driver::actionStates(window), QStringLiteral("CdF"));
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

    // Configure brings the dialog forward, also when it is open behind.
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    widget<QAction>(window, "actionConfigure")->trigger();
    QTRY_COMPARE(QApplication::activeWindow(), dialog);
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

void TestSerial::repliesAppearAtTheCursorPieceByPiece()
{
    MainWindow window;
    PseudoTerminal pty;
    QVERIFY(driver::connectTo(window, pty.slavePath()));
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
}

void TestSerial::repliesShowEveryByte_data()
{
    // Pieces as they are read (separated by "|"), and the console text.
    QTest::addColumn<QByteArray>("pieces");
    QTest::addColumn<QString>("shown");
    QTest::newRow("status byte") << QByteArray("\x10") << QStringLiteral("<10>");
    QTest::newRow("controls and DEL") << QByteArray("a\x00\x1B@\x7F", 5) << QStringLiteral("a<00><1B>@<7F>");
    QTest::newRow("line ends") << QByteArray("1\r\n2\r3\n\n4\t5") << QStringLiteral("1\n2\n3\n\n4\t5");
    QTest::newRow("CR LF split") << QByteArray("1\r|\n2") << QStringLiteral("1\n2");
    QTest::newRow("UTF-8 split") << QByteArray("\xE2|\x82|\xAC!") << QStringLiteral("\u20AC!");
    QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x98|\x80") << QStringLiteral("\U0001F600");
    QTest::newRow("invalid bytes") << QByteArray("\xFF\xC0\xAFx\xE2\x82y") << QStringLiteral("<FF><C0><AF>x<E2><82>y");
    QTest::newRow("surrogate, overlong") << QByteArray("\xED\xA0\x80\xE0\x80\x80")
                                         << QStringLiteral("<ED><A0><80><E0><80><80>");
    QTest::newRow("C1 control, format mark")
        << QByteArray("\xC2\x85\xE2\x80\x8E") << QStringLiteral("<C2><85><E2><80><8E>");
}

void TestSerial::repliesShowEveryByte()
{
    QFETCH(QByteArray, pieces);
    QFETCH(QString, shown);
    serial::ReplyText text;
    QString all;
    for (const QByteArray &piece : pieces.split('|'))
        all += text.decode(piece);
    QCOMPARE(all + text.flush(), shown);
}

void TestSerial::largePictureArrivesComplete()
{
    MainWindow window;
    PseudoTerminal pty;
    QVERIFY(driver::connectTo(window, pty.slavePath()));
    QByteArray picture(qsizetype(48) * 65535, '\0');
    for (qsizetype i = 0; i < picture.size(); ++i)
        picture[i] = char((i * 2654435761u) >> 24);
    QMetaObject::invokeMethod(&window, "picturePrintH", Q_ARG(uint8_t, 0), Q_ARG(uint16_t, 48), Q_ARG(uint16_t, 65535),
                              Q_ARG(const uint8_t *, reinterpret_cast<const uint8_t *>(picture.constData())));
    const QByteArray received = pty.read(8 + picture.size(), 5000);
    QCOMPARE(received.left(8), QByteArray::fromHex("1D7630003000FFFF"));
    QVERIFY(received.mid(8) == picture);
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

void TestSerial::quittingWhileConnectedFreesThePort()
{
    PseudoTerminal pty;
    ModalBoxCloser closer;
    {
        MainWindow window;
        QVERIFY(driver::connectTo(window, pty.slavePath()));
    }
    QCoreApplication::processEvents();
    QVERIFY(closer.boxes.isEmpty());
    MainWindow again;
    QVERIFY(driver::connectTo(again, pty.slavePath()));
}

void TestSerial::closingTheWindowEndsTheProgram()
{
    // Quit with the settings dialog open and the port connected: the
    // program ends and the port is free at once.
    MainWindow window;
    window.show();
    PseudoTerminal pty;
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

QTEST_MAIN(TestSerial)
#include "tst_serial.moc"
