// Entering commands on the Command tab: Enter and Shift+Enter, the focus and
// the echo, typed text in the controller's encoding (checked against what
// the virtual printer reads), the saved commands and their file, and the
// console line when a request gets no answer.

#include "support/modalboxcloser.h"
#include "support/pseudoterminal.h"
#include "support/streamnotation.h"
#include "support/windowdriver.h"

#include "app/savedcommandspanel.h"
#include "decoder/textcodec.h"
#include "printer/commandline.h"
#include "timing/clock.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

const QString savedData = QStringLiteral(KIVO_TEST_DATA "/saved-commands/");

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(cannot read)");
}

// The window on its Command tab, shown and active (keys go through its
// shortcuts), connected to a pseudo-terminal.
struct CommandTab
{
    CommandTab()
    {
        KivoTestAccess::setAnswerClock(window, stoppedClock); // the peer answers in its own time
        QVERIFY(driver::connectTo(window, pty.slavePath()));
        widget<QTabWidget>(window, "mainTabsKivo")->setCurrentWidget(widget<QWidget>(window, "tab_5"));
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
    }
    // Types `text` into the field and presses a key there.
    void enter(const QString &text, Qt::KeyboardModifiers modifiers = {}, Qt::Key key = Qt::Key_Return)
    {
        field->setFocus();
        field->setText(text);
        QTest::keyClick(field, key, modifiers);
    }
    QStringList consoleLines() { return driver::console(window).split(u'\n'); }

    timing::ManualClock stoppedClock;
    MainWindow window;
    PseudoTerminal pty;
    QLineEdit *field = widget<QLineEdit>(window, "lineEditControllerData");
    QCheckBox *hex = widget<QCheckBox>(window, "checkBoxHexEnable");
};

} // namespace

class TestCommandEntry : public QObject
{
    Q_OBJECT

private slots:
    void encodesTypedText_data();
    void encodesTypedText();
    void controllerTextIsWhatTheVirtualPrinterReads();
    void enterSendsShiftEnterPrints();
    void savedCommandsRoundTripThroughAFile();
    void savedCommandsOnTheTab();
    void silenceAfterARequestIsReported();
};

void TestCommandEntry::encodesTypedText_data()
{
    QTest::addColumn<QString>("row");
    for (const QString &row : streamnotation::lines(QStringLiteral(KIVO_TEST_DATA "/text-encodings.txt")))
        QTest::newRow(qPrintable(row)) << row;
}

void TestCommandEntry::encodesTypedText()
{
    QFETCH(QString, row);
    static const QRegularExpression parts(QStringLiteral("^(controller|utf-8|raw) \"(.*)\" => (.*)$"));
    const QRegularExpressionMatch m = parts.match(row);
    QVERIFY(m.hasMatch());
    const auto encoding = printer::TextEncoding(QStringList{"controller", "utf-8", "raw"}.indexOf(m.captured(1)));
    const printer::ParsedLine line = printer::parseCommandLine(m.captured(2), false, encoding);
    QCOMPARE(line.ok() ? QString::fromLatin1(line.bytes.toHex(' ').toUpper())
                       : QStringLiteral("refused at %1 \"%2\"").arg(line.position).arg(line.error),
             m.captured(3));
}

void TestCommandEntry::controllerTextIsWhatTheVirtualPrinterReads()
{
    // Every character of the Basic Multilingual Plane: what controller text
    // sends for it, the virtual printer reads as that very character, and
    // every character the virtual printer has a glyph for can be typed.
    for (char32_t code = 0; code <= 0xFFFF; ++code) {
        const QChar typed(char16_t(code & 0xFFFF));
        if (typed.isSurrogate() || typed == u'\\')
            continue;
        const printer::ParsedLine line = printer::parseCommandLine(typed, false, printer::TextEncoding::Controller);
        const QByteArray bytes = line.bytes + QByteArray(2, '\0');
        const auto first = uint8_t(bytes[0]);
        const char32_t pair = char32_t(first << 8 | uint8_t(bytes[1]));
        char32_t read = 0;
        if (line.bytes.size() == 1)
            read = first == '\t' ? U'\t' : kvp::TextCodec::singleByte(first);
        else if (line.bytes.size() == 2 && kvp::TextCodec::isUnicodeLead(first))
            read = kvp::TextCodec::unicodeSupported(pair) ? pair : 0;
        const bool printable = kvp::TextCodec::unicodeSupported(code) && code != 0x7F;
        QVERIFY2(line.ok() ? read == code : !printable, qPrintable(QString::number(uint(code), 16)));
    }
}

void TestCommandEntry::enterSendsShiftEnterPrints()
{
    CommandTab tab;
    // Enter sends; Shift+Enter prints (a line feed after the line), on the
    // main keys and on the keypad. Text goes as controller text.
    tab.enter("Grüße ½");
    tab.enter("Ho", Qt::ShiftModifier);
    tab.enter("Hu", Qt::ShiftModifier | Qt::KeypadModifier, Qt::Key_Enter);
    QCOMPARE(tab.pty.read(13),
             QByteArray("Gr\xFC\xDF"
                        "e \xBDHo\nHu\n"));
    // A character the controller cannot print is refused with its column.
    tab.enter("ab中");
    QVERIFY(widget<QLabel>(tab.window, "labelCommandError")->text().startsWith("Not sent. Column 3: '中'"));
    QCOMPARE(tab.field->selectedText(), QStringLiteral("中"));

    // After a button the focus is back in the field.
    auto *print = widget<QPushButton>(tab.window, "pushButtonPrintCommand");
    tab.field->setText("x");
    print->setFocus();
    print->click();
    QCOMPARE(QApplication::focusWidget(), tab.field);
    QCOMPARE(tab.pty.read(2), QByteArray("x\n"));

    // The echo line ends before the reply that follows it.
    tab.hex->setChecked(true);
    tab.enter("10 04");
    QCOMPARE(tab.pty.read(2), QByteArray("\x10\x04"));
    tab.pty.write("\x10");
    QTRY_COMPARE(tab.consoleLines().mid(tab.consoleLines().size() - 2), (QStringList{"Sent 2 bytes: 10 04", "<10>"}));
}

void TestCommandEntry::savedCommandsRoundTripThroughAFile()
{
    // A file written by hand (a Windows line end, blank lines, spaces around
    // a name, a tab inside a line) reads as the list that is saved as
    // as-saved.txt, which reads back the same.
    QTemporaryDir dir;
    QString why;
    const auto read = printer::readSavedCommands(savedData + "hand-written.txt", &why);
    QVERIFY(read && read->problems.isEmpty());
    QCOMPARE(printer::writeSavedCommands(dir.filePath("list.txt"), read->commands), QString());
    QCOMPARE(fileBytes(dir.filePath("list.txt")), fileBytes(savedData + "as-saved.txt"));
    QCOMPARE(printer::readSavedCommands(dir.filePath("list.txt"), &why)->commands, read->commands);

    // Every malformed line is named by its number.
    QCOMPARE(printer::readSavedCommands(savedData + "malformed.txt", &why)->problems,
             streamnotation::lines(savedData + "malformed-problems.txt"));
    // A line end in a command is kept as its escape; a device is no list.
    QCOMPARE(printer::formatSavedCommands({{"Two\tlines", "a\nb"}}), QByteArray("Two lines\ta\\nb\n"));
    QVERIFY(printer::writeSavedCommands("/dev/null", {}).startsWith("it is no regular file"));
}

void TestCommandEntry::savedCommandsOnTheTab()
{
    CommandTab tab;
    ModalBoxCloser closer;
    SavedCommandsPanel *saved = KivoTestAccess::savedCommands(tab.window);
    auto *list = widget<QTreeWidget>(tab.window, "treeSavedCommands");

    // A malformed file is not opened; the box names its bad lines. A good
    // one is, and from then on every change is written to it.
    QVERIFY(!saved->openFile(savedData + "malformed.txt"));
    QVERIFY(closer.boxes.value(0).text.endsWith("\nline 5: not UTF-8 text"));
    QTemporaryDir dir;
    const QString path = dir.filePath("commands.txt");
    QVERIFY(QFile::copy(savedData + "as-saved.txt", path) && saved->openFile(path));
    tab.hex->setChecked(true);
    tab.field->setText("1b 40");
    widget<QPushButton>(tab.window, "pushButtonAddSavedCommand")->click();
    auto *nameEditor = list->findChild<QLineEdit *>();
    QVERIFY(nameEditor);
    nameEditor->setText("Reset");
    QTest::keyClick(nameEditor, Qt::Key_Return);
    QTRY_COMPARE(list->topLevelItem(5)->text(0), QStringLiteral("Reset"));
    list->setCurrentItem(list->topLevelItem(3));
    widget<QPushButton>(tab.window, "pushButtonRemoveSavedCommand")->click();
    QString why;
    const QList<printer::SavedCommand> inFile = printer::readSavedCommands(path, &why)->commands;
    QVERIFY(inFile.size() == 5 && inFile == saved->commands());
    QCOMPARE(inFile.last(), (printer::SavedCommand{"Reset", "\\x1B\\x40"}));

    // A click puts a line in the field (as text); a double-click sends it.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    QVERIFY(tab.field->text() == "\\x10\\x04" && !tab.hex->isChecked());
    const QPoint reset = list->visualItemRect(list->topLevelItem(4)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, reset); // a double-click's first click
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, reset);
    QCOMPARE(tab.pty.read(2), QByteArray("\x1B\x40"));

    // Commands in no file are not dropped without asking.
    MainWindow other;
    KivoTestAccess::savedCommands(other)->add("\\x10\\x04");
    QVERIFY(!other.close());
    QVERIFY(closer.boxes.last().text.startsWith("1 saved command is kept in no file yet."));
}

void TestCommandEntry::silenceAfterARequestIsReported()
{
    timing::ManualClock clock;
    CommandTab tab;
    KivoTestAccess::setClock(tab.window, clock);
    const QString noAnswer = QStringLiteral("No answer from the controller within 1 s.");

    // Status, and nothing comes back for a second; what comes later goes in
    // a line of its own.
    widget<QPushButton>(tab.window, "pushButtonStatus")->click();
    QCOMPARE(tab.pty.read(2), QByteArray("\x10\x04"));
    clock.advance(999);
    QCOMPARE(driver::console(tab.window), QString());
    clock.advance(1);
    tab.pty.write("\x10");
    QTRY_COMPARE(tab.consoleLines(), (QStringList{noAnswer, "<10>"}));

    // Version with its answer in time: nothing more is said.
    widget<QPushButton>(tab.window, "pushButtonVersion")->click();
    tab.pty.write("V1.22");
    QTRY_COMPARE(driver::console(tab.window), QStringLiteral("V1.22"));
    clock.advance(5000);
    QCOMPARE(driver::console(tab.window), QStringLiteral("V1.22"));

    // The same request typed on the Command tab waits too; other lines do not.
    tab.hex->setChecked(true);
    for (const char *line : {"10 05", "1B 40"}) {
        tab.enter(line);
        clock.advance(1000);
    }
    QCOMPARE(tab.consoleLines().mid(1), (QStringList{"Sent 2 bytes: 10 05", noAnswer, "Sent 2 bytes: 1B 40"}));
}

QTEST_MAIN(TestCommandEntry)
#include "tst_command_entry.moc"
