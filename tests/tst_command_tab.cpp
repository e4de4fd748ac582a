// The Command tab: typed lines read as bytes, the history of lines sent, and
// the tab end to end over a pseudo-terminal (Send, Print, a refused line, a
// file sent through the long send).

#include "support/bitmaptesting.h"
#include "support/modalboxcloser.h"
#include "support/pseudoterminal.h"
#include "support/streamnotation.h"
#include "support/windowdriver.h"

#include "printer/commandline.h"
#include "serial/filesource.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestCommandTab : public QObject
{
    Q_OBJECT

private slots:
    void readsTypedLines_data();
    void readsTypedLines();
    void historyWalksBackAndForth();
    void filesGoInPiecesOfTheLinesPace();
    void sendPrintAndRefuseOverTheLine();
    void sentFileArrivesWhole();
};

void TestCommandTab::readsTypedLines_data()
{
    QTest::addColumn<QString>("row");
    for (const QString &row : streamnotation::lines(QStringLiteral(KIVO_TEST_DATA "/typed-lines.txt")))
        QTest::newRow(qPrintable(row)) << row;
}

void TestCommandTab::readsTypedLines()
{
    QFETCH(QString, row);
    static const QRegularExpression parts(QStringLiteral("^(hex|text) \"(.*)\" => (refused at (\\d+)|.*)$"));
    const QRegularExpressionMatch m = parts.match(row);
    QVERIFY(m.hasMatch());
    const printer::ParsedLine line = printer::parseCommandLine(m.captured(2), m.captured(1) == QLatin1String("hex"));
    const int refusedAt = m.captured(4).isEmpty() ? -1 : m.captured(4).toInt();
    QString error;
    const QByteArray bytes = refusedAt < 0 ? streamnotation::writes(m.captured(3), {}, &error).join() : QByteArray();
    QVERIFY(error.isEmpty());
    QCOMPARE(line.bytes, bytes);
    QCOMPARE(line.position, refusedAt);
    QCOMPARE(line.ok(), refusedAt < 0);
    QCOMPARE(line.error.isEmpty(), refusedAt < 0);
}

void TestCommandTab::historyWalksBackAndForth()
{
    printer::CommandHistory history;
    QCOMPARE(history.older("typed"), QStringLiteral("typed"));
    for (const char *line : {"1B 40", "Hi", "Hi", ""})
        history.add(line);
    // Up past the oldest stays there; Down past the newest brings the draft back.
    QStringList walk;
    walk << history.older("draft") << history.older("Hi") << history.older("1B 40");
    walk << history.newer("1B 40") << history.newer("Hi") << history.newer("draft");
    QCOMPARE(walk, (QStringList{"Hi", "1B 40", "1B 40", "Hi", "draft", "draft"}));
    // Sending ends the walk: Up starts again from the newest.
    history.older("x");
    history.add("1D 56 00");
    QCOMPARE(history.older(""), QStringLiteral("1D 56 00"));
}

void TestCommandTab::filesGoInPiecesOfTheLinesPace()
{
    QTemporaryDir dir;
    QByteArray data(10000, '\0');
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    const QString path = bitmaptest::saveBytes(dir, "job.prn", data);
    QVERIFY(!path.isEmpty());
    // At most about a third of a second at each speed, never empty pieces.
    for (const qint32 baud : {9600, 115200, 375000}) {
        const qsizetype most = qMax(qsizetype(256), qsizetype(baud) / 30);
        QString error;
        const auto source = serial::openFileSource(path, printer::filePieceBytes(baud), &error);
        QVERIFY2(source, qPrintable(error));
        QCOMPARE(source->total(), data.size());
        QByteArray joined;
        int pieces = 0;
        for (printer::Command piece; source->next(piece, error); ++pieces) {
            QCOMPARE(piece.writes.size(), 1);
            QVERIFY(!piece.writes[0].isEmpty() && piece.writes[0].size() <= most);
            joined += piece.bytes();
        }
        QVERIFY(error.isEmpty() && source->atEnd() && joined == data && pieces >= 3);
    }

    // Only regular files: a FIFO without a writer, a device and a folder are
    // refused at once.
    QVERIFY(::mkfifo(QFile::encodeName(dir.filePath("fifo")).constData(), 0600) == 0);
    const std::pair<QString, const char *> refused[] = {
        {dir.filePath("fifo"), "it is a FIFO"}, {"/dev/zero", "it is a device"}, {dir.path(), "it is a folder"}};
    for (const auto &[name, why] : refused) {
        QString error;
        QVERIFY(!serial::openFileSource(name, 256, &error));
        QVERIFY2(error.startsWith(QLatin1String(why)), qPrintable(error));
    }
}

void TestCommandTab::sendPrintAndRefuseOverTheLine()
{
    MainWindow window;
    PseudoTerminal pty;
    QVERIFY(driver::connectTo(window, pty.slavePath()));
    auto *field = widget<QLineEdit>(window, "lineEditControllerData");
    auto *hex = widget<QCheckBox>(window, "checkBoxHexEnable");
    auto *refusal = widget<QLabel>(window, "labelCommandError");
    auto press = [&](const char *button, const QString &text, bool hexMode) {
        hex->setChecked(hexMode);
        field->setText(text);
        widget<QPushButton>(window, button)->click();
    };

    press("pushButtonSendCommand", "1b,40", true);
    QCOMPARE(pty.read(2), QByteArray("\x1B\x40"));
    press("pushButtonPrintCommand", "Hi\\x21", false);
    QCOMPARE(pty.read(4), QByteArray("Hi!\n"));
    QVERIFY(driver::console(window).endsWith("Sent 4 bytes: 48 69 21 0A"));
    QCOMPARE(field->text(), QString());

    // Malformed: nothing goes out, the field keeps the line and marks the
    // offending character, the message names its column.
    press("pushButtonSendCommand", "1B 4G", true);
    QCOMPARE(KivoTestAccess::serialPort(window)->bytesToWrite(), 0); // the port sends only from the event loop
    QCOMPARE(field->text(), QStringLiteral("1B 4G"));
    QCOMPARE(field->selectionStart(), 4);
    QVERIFY2(refusal->text().contains("Column 5"), qPrintable(refusal->text()));
    widget<QTabWidget>(window, "mainTabsKivo")->setCurrentIndex(4);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Backspace);
    QCOMPARE(refusal->text(), QString());

    // Up and Down in the field walk through the lines sent.
    QTest::keyClick(field, Qt::Key_Up);
    QCOMPARE(field->text(), QStringLiteral("Hi\\x21"));
    QTest::keyClick(field, Qt::Key_Up);
    QCOMPARE(field->text(), QStringLiteral("1b,40"));
    QTest::keyClick(field, Qt::Key_Down);
    QTest::keyClick(field, Qt::Key_Down);
    QCOMPARE(field->text(), QStringLiteral("1B 4"));
}

void TestCommandTab::sentFileArrivesWhole()
{
    QTemporaryDir dir;
    QByteArray job(9000, '\0');
    for (qsizetype i = 0; i < job.size(); ++i)
        job[i] = char((i * 2654435761u) >> 24);
    const QString path = bitmaptest::saveBytes(dir, "job.prn", job);
    QVERIFY(!path.isEmpty());

    MainWindow window;
    PseudoTerminal pty;
    QVERIFY(driver::connectTo(window, pty.slavePath()));
    ModalBoxCloser closer;
    closer.otherModal = [&](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        if (!dialog || !dialog->isVisible())
            return;
        dialog->selectFile(path);
        widget<QLineEdit>(*dialog, "fileNameEdit")->setText(QFileInfo(path).fileName());
        QMetaObject::invokeMethod(dialog, "accept");
    };
    widget<QPushButton>(window, "pushButtonSendFile")->click();
    QVERIFY(pty.read(job.size(), 5000) == job);
    QTRY_VERIFY(driver::console(window).contains("job.prn sent: 9000 bytes"));
    QVERIFY(closer.boxes.isEmpty());

    // What is no regular file is refused; a file that cannot be read ends
    // the job with the reason.
    KivoTestAccess::sendFile(window, "/dev/zero");
    QCOMPARE(closer.boxes.value(0).text, "Cannot send /dev/zero: it is a device; only regular files are sent");
    KivoTestAccess::sendFile(window, "/proc/self/mem");
    QVERIFY2(driver::console(window).endsWith("mem not finished: 0 of 0 bytes sent (the file could not be read: "
                                              "Input/output error)"),
             qPrintable(driver::console(window)));
}

QTEST_MAIN(TestCommandTab)
#include "tst_command_tab.moc"
