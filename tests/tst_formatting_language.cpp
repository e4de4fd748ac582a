// Formatting, Alignment and Language: the exact byte streams, built here
// from the lists of calls with the tests' own encoder, and the console.

#include "support/demotesting.h"
#include "support/expectedstream.h"

#include <QTest>
#include <QTextBlock>
#include <QTextDocument>

#include <initializer_list>
#include <utility>

namespace {

QByteArray hex(const char *text) { return QByteArray::fromHex(QByteArray(text).replace(' ', "")); }

const QByteArray alphabet = "abcdefghijklmnopqrstuvwxyz";
const QByteArray threeAlphabets = alphabet + "\n" + alphabet + "\n" + alphabet;

// 16-bit codes, high byte first, for each inclusive range in turn.
QByteArray codes(std::initializer_list<std::pair<int, int>> ranges)
{
    QByteArray bytes;
    for (auto [first, last] : ranges)
        for (int code = first; code <= last; ++code)
            bytes.append(char(code >> 8)).append(char(code & 0xFF));
    return bytes;
}

QByteArray codeList(std::initializer_list<int> list)
{
    QByteArray bytes;
    for (int code : list)
        bytes.append(char(code >> 8)).append(char(code & 0xFF));
    return bytes;
}

// The samples byte by byte, as the controller expects them.
const QByteArray latinSample = "ABCDabcd1234%&/!)(.-_;" + hex("80 24 40 A3 A5 A9 AE");
const QByteArray latin1Sample = hex("C6 C3 C0 DC FC A5 B5 DE D8 F8 D1 F1 80 C6 D4 DF F0 EB E7 FA EF D9 FF DC");
const QByteArray extendedA = codeList({0x012B, 0x0135, 0x0107, 0x0126, 0x0176, 0x0108, 0x0119, 0x010E, 0x017D, 0x014E,
                                       0x015C, 0x017F, 0x0151, 0x0162, 0x0132, 0x014A, 0x016F});
const QByteArray extendedB = codeList({0x01A0, 0x01AD, 0x01BB, 0x01CE, 0x01CF, 0x01F1, 0x01F9, 0x01FF, 0x0210, 0x0216,
                                       0x0219, 0x021C, 0x021F, 0x01BE, 0x01FC, 0x021B});
const QByteArray extendedAdditional = codeList({0x1EA1, 0x1EC7, 0x1EF3, 0x1EAB, 0x1EDB, 0x1EE9, 0x1EF1, 0x1ED6, 0x1EE7,
                                                0x1EED, 0x1ECF, 0x1EDD, 0x1EBC, 0x1EF9, 0x1ECA, 0x1EB5});
const QByteArray chineseSample =
    hex("B7 C9 C1 F7 D6 B1 CF C2 C8 FD C7 A7 B3 DF A3 AC D2 C9 CA C7 D2 F8 BA D3 C2 E4 BE C5 CC EC");
const QByteArray japaneseSample = hex("42 67 38 36 24 64 44 33 24 4E 3D 50 24 46 49 71 24 26 5B 30 37 6E");

const QList<QByteArray> hiraganaRows = {codes({{0x2421, 0x242F}}), codes({{0x2430, 0x243F}}),
                                        codes({{0x2440, 0x244F}}), codes({{0x2450, 0x245F}}),
                                        codes({{0x2460, 0x246F}}), codes({{0x2470, 0x2473}})};
const QList<QByteArray> katakanaRows = {codes({{0x2521, 0x252E}}), codes({{0x2530, 0x253E}}),
                                        codes({{0x2540, 0x254E}}), codes({{0x2550, 0x255E}}),
                                        codes({{0x2560, 0x256E}}), codes({{0x2570, 0x2576}})};
const QList<QByteArray> greekRows = {codes({{0x0374, 0x0375}, {0x037A, 0x037E}}),
                                     codes({{0x0384, 0x038A}, {0x038C, 0x038C}, {0x038E, 0x038F}}),
                                     codes({{0x0390, 0x039F}}),
                                     codes({{0x03A0, 0x03A1}, {0x03A3, 0x03AF}}),
                                     codes({{0x03B0, 0x03BF}}),
                                     codes({{0x03C0, 0x03CE}})};
const QList<QByteArray> arabicRows = {codes({{0x060C, 0x060C}, {0x061B, 0x061B}, {0x061F, 0x061F}}),
                                      codes({{0x0621, 0x062F}}),
                                      codes({{0x0630, 0x063A}}),
                                      codes({{0x0640, 0x064F}}),
                                      codes({{0x0650, 0x0658}}),
                                      codes({{0x0660, 0x066F}}),
                                      codes({{0x0671, 0x067F}}),
                                      codes({{0x0680, 0x068F}}),
                                      codes({{0x0690, 0x069F}}),
                                      codes({{0x06A0, 0x06AF}}),
                                      codes({{0x06B0, 0x06BF}}),
                                      codes({{0x06C0, 0x06CF}}),
                                      codes({{0x06D0, 0x06DF}}),
                                      codes({{0x06E0, 0x06EF}}),
                                      codes({{0x06F0, 0x06FF}})};

const QStringList explanationLines = {
    "The Controller works with Unicode however basic Latin and Latin-1 can be send as single byte character",
    " all other need to be sent as Unicode. Other DoubleByte languages are also supported e.g. Chinese, Japanese.",
    "Here is the range:",
    "Basic Latin and Latin-1 in range of 0x00h-0xFFh can be send as single byte",
    "Unicode:",
    "(unicode >=  0x0020UL && unicode <= 0x007FUL) ||  basic latin",
    "(unicode >=  0x00A0UL && unicode <= 0x017FUL) ||  part of latin1 & latin extended A",
    "(unicode >=  0x01A0UL && unicode <= 0x01CFUL) ||  part of Latin extended B",
    "(unicode >=  0x01F0UL && unicode <= 0x01FFUL) ||  part of Latin extended B",
    "(unicode >=  0x0210UL && unicode <= 0x021FUL) ||  part of Latin extended B",
    "(unicode >=\t 0x1EA0UL && unicode <= 0x1EF9UL) ||  part of Latin Extended Additional",
    "",
    "Greek and Arabic requires firmware April 2020 or newer",
    "Greek language support range is:",
    "[0374h-0375h 037Ah-037Eh 0384h-038Ah 038Ch 038Eh-03A1h 03A3h-03CEh]",
    "Arabic language support range is:",
    "[060Ch 061Bh 061F 0621h-063Ah 0640h-0655h 0660h-066Fh 0671h-06EDh 06F0h-06FEh]",
};

// The Language stream from its list of steps, with the stream position at
// which each console line after the explanation is due.
struct LanguageExpectation
{
    ExpectedStream stream;
    QList<std::pair<QString, int>> consoleAt;
};

LanguageExpectation languageExpectation()
{
    LanguageExpectation x;
    ExpectedStream &e = x.stream;
    auto line = [&](const QByteArray &t) { e.printStr(t).printLF(); };
    auto blank = [&](const QByteArray &t) { e.printStr(t).printLF().printLF(); };
    auto console = [&](const char *text) { x.consoleAt.append({text, int(e.bytes.size())}); };

    e.printerSoftInit().printLF();
    line("[00h-7Fh]");
    blank(latinSample);
    line("[A0h-FFh]");
    blank(latin1Sample);
    line("[100h-17Fh]");
    blank(extendedA);
    line("[1A0h-1CFh 1F0h-1FFh 210h-21Fh]");
    blank(extendedB);
    line("[1EA0h-1EF9h]");
    blank(extendedAdditional);
    console("Setting Font to Small");
    line("[Setting Small Font]");
    e.setFontMode(1);
    blank(latinSample);
    console("Setting Font to Standard");
    e.setFontMode(2);
    line("[Setting Standard Font]");
    blank(latinSample);
    console("Printing DoubleByte Language");
    console("Chinese");
    line("[DoubleByte - Chinese]");
    e.setDbMode();
    blank(chineseSample);
    e.cancelDbMode();
    console("Japanese - Hiragana");
    line("[DoubleByte - Hiragana]");
    e.setDbMode();
    for (const QByteArray &row : hiraganaRows)
        line(row);
    e.printLF().cancelDbMode();
    console("Japanese - Katakana");
    line("[DoubleByte - Katakana]");
    e.setDbMode();
    for (int i = 0; i < 5; ++i)
        line(katakanaRows[i]);
    e.printStr(katakanaRows[5]).cancelDbMode().printLF().printLF();
    e.setDbMode().printStr(japaneseSample).cancelDbMode().printLF().printLF();
    console("Latin Language");
    line("[Latin Language]");
    blank(latinSample);
    console("Greek Language");
    e.printStr("[Greek Language]\n").printStr("[Firmware 04/2020 or newer]\n").printStr("[0374h-0375h 037Ah-037Eh]\n");
    e.printStr("[0384h-038Ah 038Ch]\n").printStr("[038Eh-03A1h 03A3h-03CEh]\n").printLF();
    for (const QByteArray &row : greekRows)
        line(row);
    e.printLF();
    console("Arabic Language");
    for (const char *heading :
         {"[Arabic Language]\n", "[Firmware 04/2020 or newer]\n", "[060Ch 061Bh 061F]\n", "[0621h-063Ah]\n",
          "[0640h-0655h]\n", "[0660h-066Fh]\n", "[0671h-06EDh]\n", "[06F0h-06FEh]\n"})
        e.printStr(heading);
    e.printLF();
    for (const QByteArray &row : arabicRows)
        line(row);
    e.printLF();
    return x;
}

} // namespace

class TestFormattingLanguage : public QObject
{
    Q_OBJECT

private slots:
    void formattingSendsItsScript();
    void alignmentSendsItsScript();

    void languageSendsTheWholeSample();
    void languageSendsEverySampleWithItsLength();
    void languageEnclosesEveryDoubleByteSection();
    void languageConsoleLinesComeBetweenTheSections();

    void guardShowsTheBoxOnly_data();
    void guardShowsTheBoxOnly();
};

void TestFormattingLanguage::formattingSendsItsScript()
{
    RecordedWindow w;
    w.console()->setPlainText("old text");
    driver::press(w.window, "on_pushButtonFormatting_released");

    ExpectedStream e;
    e.horizontalAlign(0).printerSoftInit().print_with_font(separatorLine, 0);
    e.print_with_font("Default Line Space 33:\n " + threeAlphabets, 0);
    e.lineSpacingSet(66).print_with_font("Line Space 66:\n " + threeAlphabets, 0).lineSpacingDefaults();
    e.print_with_font("Default Line Space 33:\n " + threeAlphabets, 0).print_with_font(separatorLine, 0);
    e.print_with_font("Feeding 20 dots after printing:\n" + threeAlphabets, 0).printAndFeedNDotLine(20);
    e.print_with_font(separatorLine, 0);
    e.print_with_font("Feeding 5 lines after printing:\n" + threeAlphabets, 0).printAndFeedNFontLine(5);
    e.print_with_font(separatorLine, 0).printCR();
    e.setLeftMargin(8).print_with_font("Left Margin 8:\nabcd\nabcd\nabcd", 0).setLeftMargin(0);
    e.setRightMargin(38).print_with_font("Right Margin 38:\nabcd\nabcd\nabcd", 0).setRightMargin(48);
    e.print_with_font(separatorLine, 0);
    const QByteArray sent = w.stream();
    QCOMPARE(sent, e.bytes);

    // The landmarks, read straight off the wire.
    QVERIFY(sent.contains(hex("1B 33 42 1B 21 00") + "Line Space 66:"));
    QVERIFY(sent.contains(alphabet + hex("0A 1B 32 1B 21 00") + "Default Line Space 33:"));
    QVERIFY(sent.contains(alphabet + hex("0A 1B 4A 14")));
    QVERIFY(sent.contains(alphabet + hex("0A 1B 64 05")));
    QCOMPARE(sent.count('\r'), 1);
    QVERIFY(sent.contains(separatorLine + hex("0A 0D 1B 6C 08")));
    QVERIFY(sent.indexOf(hex("1B 51 26")) < sent.indexOf("Right Margin 38:"));
    QVERIFY(sent.indexOf(hex("1B 51 30")) > sent.indexOf("Right Margin 38:"));
    QVERIFY(sent.endsWith(hex("1B 21 00") + separatorLine + hex("0A")));

    QCOMPARE(w.consoleText(),
             QStringLiteral("Setting some text parameters:\n"
                            "Default line space of 33 dots\n"
                            "Line space of 66 dots \n"
                            "Resetting to default 33 dots\n"
                            "Print and feed paper 20 dots\n"
                            "Print and feed paper 5 lines\n"
                            "Test carriage return\n"
                            "Setting a left margin of 8 dots\n"
                            "Setting a right margin of 38 dots"));
}

void TestFormattingLanguage::alignmentSendsItsScript()
{
    RecordedWindow w;
    driver::press(w.window, "on_pushButtonTabs_released");

    ExpectedStream e;
    e.horizontalAlign(0).printerSoftInit().horizontalTabSet(hex("08 18 26"));
    e.print_with_font(separatorLine, 0).print_with_font("No Tab: abcd", 0);
    e.horizontalTab().printStr("Tab1").horizontalTab().printStr("Tab2").horizontalTab().printStr("Tab3").printLF();
    e.print_with_font(separatorLine, 0).absolutePrintPos(50, 0).print_with_font("Abs: 1234", 0);
    e.print_with_font(separatorLine, 0);
    e.horizontalAlign(1).print_with_font("Center: abcd", 0);
    e.horizontalAlign(2).print_with_font("Right: abcd", 0);
    e.horizontalAlign(0).print_with_font("Left: abcd", 0);
    e.print_with_font(separatorLine, 0);
    const QByteArray sent = w.stream();
    QCOMPARE(sent, e.bytes);

    // Tab stops before any text, as three writes: 1B 44, the stops, 00.
    QVERIFY(sent.startsWith(hex("1B 61 00 1B 40 1B 44 08 18 26 00")));
    QCOMPARE(w.device.writes.mid(2, 3), (QList<QByteArray>{hex("1B 44"), hex("08 18 26"), hex("00")}));
    QVERIFY(sent.contains("abcd\n" + hex("09") + "Tab1" + hex("09") + "Tab2" + hex("09") + "Tab3" + hex("0A 1B 21")));
    QVERIFY(sent.contains(hex("1B 24 32 00 1B 21 00") + "Abs: 1234\n"));

    QCOMPARE(w.consoleText(),
             QStringLiteral("Setting 3 tabs and stepping to each\n"
                            "Setting absolute print position\n"
                            "Setting print alignment center\n"
                            "Setting print alignment right\n"
                            "Setting print alignment left"));
}

void TestFormattingLanguage::languageSendsTheWholeSample()
{
    RecordedWindow w;
    driver::press(w.window, "on_pushButtonLanguage_released");
    const QByteArray sent = w.stream();

    QCOMPARE(sent.size(), 1749);
    QCOMPARE(sent, languageExpectation().stream.bytes);
    QVERIFY(sent.startsWith(hex("1B 40 0A") + "[00h-7Fh]\n" + latinSample + "\n\n"));
    QVERIFY(sent.contains("[Setting Small Font]\n" + hex("1B 4D 01")));
    QVERIFY(sent.contains(hex("1B 4D 02") + "[Setting Standard Font]\n"));
    QVERIFY(sent.contains("[038Eh-03A1h 03A3h-03CEh]\n\n" + hex("03 74 03 75 03 7A")));
    QVERIFY(sent.endsWith(codes({{0x06F0, 0x06FF}}) + "\n\n"));
    QVERIFY(sent.contains(hex("1C 26 24 21 24 22 24 23 24 24 24 25 24 26 24 27 24 28 24 29 24 2A 24 2B 24 2C 24 2D "
                              "24 2E 24 2F 0A 24 30")));
    QVERIFY(sent.contains(hex("25 2D 25 2E 0A 25 30 25 31")));
}

void TestFormattingLanguage::languageSendsEverySampleWithItsLength()
{
    // Each sample is one write of its own length; none is cut at a zero
    // byte or run on into the next command.
    RecordedWindow w;
    driver::press(w.window, "on_pushButtonLanguage_released");
    const QList<QByteArray> &writes = w.device.writes;

    const std::pair<const char *, QByteArray> samples[] = {{"Latin", latinSample},
                                                           {"Latin-1", latin1Sample},
                                                           {"Extended-A", extendedA},
                                                           {"Extended-B", extendedB},
                                                           {"Extended Additional", extendedAdditional},
                                                           {"Chinese", chineseSample},
                                                           {"Japanese", japaneseSample}};
    for (const auto &[name, sample] : samples)
        QVERIFY2(writes.contains(sample), name);
    QCOMPARE(writes.count(latinSample), 4);
    for (const QList<QByteArray> *rows : {&hiraganaRows, &katakanaRows, &greekRows, &arabicRows})
        for (const QByteArray &row : *rows)
            QVERIFY2(writes.contains(row), row.toHex(' ').constData());
}

void TestFormattingLanguage::languageEnclosesEveryDoubleByteSection()
{
    RecordedWindow w;
    driver::press(w.window, "on_pushButtonLanguage_released");
    const QByteArray sent = w.stream();
    const QByteArray enter = hex("1C 26"), leave = hex("1C 2E");

    // Chinese, hiragana, katakana and the Japanese sentence, each opened and
    // closed, never nested.
    QList<QByteArray> sections;
    for (qsizetype from = 0;;) {
        const qsizetype open = sent.indexOf(enter, from);
        const qsizetype close = sent.indexOf(leave, from);
        if (open < 0) {
            QCOMPARE(close, qsizetype(-1));
            break;
        }
        QVERIFY(open < close);
        QVERIFY(sent.indexOf(enter, open + 2) < 0 || sent.indexOf(enter, open + 2) > close);
        sections << sent.mid(open + 2, close - open - 2);
        from = close + 2;
    }
    QCOMPARE(sections.size(), 4);
    QCOMPARE(sections[0], chineseSample + "\n\n");
    QVERIFY(sections[1].startsWith(hiraganaRows[0] + "\n"));
    QVERIFY(sections[2].startsWith(katakanaRows[0] + "\n"));
    QCOMPARE(sections[3], japaneseSample);

    // The hiragana's blank line comes inside double-byte mode, the
    // katakana's after it.
    QVERIFY(sent.contains(hex("24 70 24 71 24 72 24 73 0A 0A 1C 2E")));
    QVERIFY(sent.contains(katakanaRows[5] + hex("1C 2E 0A 0A 1C 26") + japaneseSample + hex("1C 2E 0A 0A")));
}

void TestFormattingLanguage::languageConsoleLinesComeBetweenTheSections()
{
    RecordedWindow w;
    w.console()->setPlainText("old text");
    // Where the stream stands each time the console gains a line.
    QList<std::pair<QString, int>> seen;
    QPlainTextEdit *console = w.console();
    connect(console, &QPlainTextEdit::blockCountChanged, this, [&] {
        seen.append({console->document()->lastBlock().text(), int(w.stream().size())});
    });
    driver::press(w.window, "on_pushButtonLanguage_released");

    const LanguageExpectation expected = languageExpectation();
    const QList<std::pair<QString, int>> afterExplanation = seen.mid(seen.size() - expected.consoleAt.size());
    QCOMPARE(afterExplanation, expected.consoleAt);

    QStringList lines = {"Printing languages"};
    lines += explanationLines;
    lines += "";
    for (const auto &[text, position] : expected.consoleAt)
        lines += text;
    QCOMPARE(w.consoleText().split('\n'), lines);
    // The explanation is one paragraph: the first bytes went out after it.
    QCOMPARE(seen.first().second, 0);
}

void TestFormattingLanguage::guardShowsTheBoxOnly_data()
{
    QTest::addColumn<QByteArray>("slot");
    for (const char *slot :
         {"on_pushButtonFormatting_released", "on_pushButtonTabs_released", "on_pushButtonLanguage_released"})
        QTest::newRow(slot) << QByteArray(slot);
}

void TestFormattingLanguage::guardShowsTheBoxOnly()
{
    QFETCH(QByteArray, slot);
    verifyConnectionGuard(slot.constData());
}

QTEST_MAIN(TestFormattingLanguage)
#include "tst_formatting_language.moc"
