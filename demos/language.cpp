// The Language sample: every character repertoire the controller accepts.
//
// The controller takes three forms of text. Latin and Latin-1 go as single
// bytes (with 80 for the euro sign, as in Windows-1252). Any other character
// goes as its UTF-16 code unit, high byte first. Between the double-byte
// mode commands it takes Chinese as GB 2312 in its 8-bit (EUC-CN) form and
// Japanese as JIS X 0208 in its 7-bit form, row byte first, without escape
// sequences. Every sample below is built from its characters or code points
// and sent with its length, never up to a terminating zero.

#include "demos/demos.h"

#include <QDebug>

#include <iconv.h>

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace demos {

using namespace printer;

namespace {

// A run of 16-bit codes, both ends included.
struct CodeRange
{
    char16_t first;
    char16_t last;
};

using Row = std::vector<CodeRange>;

void appendCode(QByteArray &bytes, char16_t code)
{
    bytes += char(code >> 8);
    bytes += char(code & 0xFF);
}

// Each code as two bytes, high byte first: a Unicode character as its UTF-16
// code unit, a JIS X 0208 character as its row and cell bytes.
QByteArray highByteFirst(std::initializer_list<char16_t> codes)
{
    QByteArray bytes;
    for (char16_t code : codes)
        appendCode(bytes, code);
    return bytes;
}

QByteArray highByteFirst(const Row &row)
{
    QByteArray bytes;
    for (const CodeRange &range : row)
        for (char32_t code = range.first; code <= range.last; ++code)
            appendCode(bytes, char16_t(code));
    return bytes;
}

// `utf8` in the given character set, through the C library's converter.
// Empty if the converter is missing or a character has no code there.
QByteArray encoded(const char *utf8, const char *charset)
{
    const iconv_t converter = iconv_open(charset, "UTF-8");
    if (converter == iconv_t(-1)) { // NOLINT(performance-no-int-to-ptr): iconv's own failure value
        qWarning("Language sample: no converter from UTF-8 to %s", charset);
        return {};
    }
    QByteArray in(utf8);
    QByteArray out(in.size() * 4, '\0');
    char *inPos = in.data();
    size_t inLeft = size_t(in.size());
    char *outPos = out.data();
    size_t outLeft = size_t(out.size());
    const size_t result = iconv(converter, &inPos, &inLeft, &outPos, &outLeft);
    iconv_close(converter);
    // A non-zero count means characters were replaced, not converted.
    if (result != 0 || inLeft != 0) {
        qWarning("Language sample: \"%s\" cannot be written in %s", utf8, charset);
        return {};
    }
    out.truncate(out.size() - qsizetype(outLeft));
    return out;
}

// A double-byte sample in its 8-bit EUC form: every byte 0xA1 to 0xFE.
// With `sevenBit`, 0x80 comes off each byte (EUC-JP to JIS X 0208).
QByteArray doubleByte(const char *utf8, const char *eucCharset, bool sevenBit)
{
    QByteArray bytes = encoded(utf8, eucCharset);
    // Anything else is a single-byte character, or a half-width or
    // supplementary character that double-byte mode cannot carry.
    const auto doubleByteOnly = [](char byte) { return uint8_t(byte) >= 0xA1 && uint8_t(byte) <= 0xFE; };
    if (bytes.size() % 2 != 0 || !std::all_of(bytes.begin(), bytes.end(), doubleByteOnly)) {
        qWarning("Language sample: \"%s\" is not all double-byte characters in %s", utf8, eucCharset);
        return {};
    }
    if (sevenBit)
        for (char &byte : bytes)
            byte = char(uint8_t(byte) - 0x80);
    return bytes;
}

struct Samples
{
    // The euro sign goes as 80, as in Windows-1252.
    QByteArray latin = encoded("ABCDabcd1234%&/!)(.-_;€$@£¥©®", "CP1252");
    QByteArray latin1 = encoded("ÆÃÀÜü¥µÞØøÑñ€ÆÔßðëçúïÙÿÜ", "CP1252");
    QByteArray latinExtendedA = highByteFirst({0x012B, 0x0135, 0x0107, 0x0126, 0x0176, 0x0108, 0x0119, 0x010E, 0x017D,
                                               0x014E, 0x015C, 0x017F, 0x0151, 0x0162, 0x0132, 0x014A, 0x016F});
    QByteArray latinExtendedB = highByteFirst({0x01A0, 0x01AD, 0x01BB, 0x01CE, 0x01CF, 0x01F1, 0x01F9, 0x01FF, 0x0210,
                                               0x0216, 0x0219, 0x021C, 0x021F, 0x01BE, 0x01FC, 0x021B});
    QByteArray latinExtendedAdditional =
        highByteFirst({0x1EA1, 0x1EC7, 0x1EF3, 0x1EAB, 0x1EDB, 0x1EE9, 0x1EF1, 0x1ED6, 0x1EE7, 0x1EED, 0x1ECF, 0x1EDD,
                       0x1EBC, 0x1EF9, 0x1ECA, 0x1EB5});
    QByteArray chinese = doubleByte("飞流直下三千尺，疑是银河落九天", "GB2312", false);
    QByteArray japanese = doubleByte("大原や蝶の出て舞う朧月", "EUC-JP", true);

    // JIS X 0208 row 4, all 83 hiragana.
    std::vector<QByteArray> hiragana = rows({{{0x2421, 0x242F}},
                                             {{0x2430, 0x243F}},
                                             {{0x2440, 0x244F}},
                                             {{0x2450, 0x245F}},
                                             {{0x2460, 0x246F}},
                                             {{0x2470, 0x2473}}});
    // JIS X 0208 row 5, without the codes ending in 2F, 3F, 4F, 5F and 6F.
    std::vector<QByteArray> katakana = rows({{{0x2521, 0x252E}},
                                             {{0x2530, 0x253E}},
                                             {{0x2540, 0x254E}},
                                             {{0x2550, 0x255E}},
                                             {{0x2560, 0x256E}},
                                             {{0x2570, 0x2576}}});
    std::vector<QByteArray> greek = rows({{{0x0374, 0x0375}, {0x037A, 0x037E}},
                                          {{0x0384, 0x038A}, {0x038C, 0x038C}, {0x038E, 0x038F}},
                                          {{0x0390, 0x039F}},
                                          {{0x03A0, 0x03A1}, {0x03A3, 0x03AF}},
                                          {{0x03B0, 0x03BF}},
                                          {{0x03C0, 0x03CE}}});
    std::vector<QByteArray> arabic = rows({{{0x060C, 0x060C}, {0x061B, 0x061B}, {0x061F, 0x061F}},
                                           {{0x0621, 0x062F}},
                                           {{0x0630, 0x063A}},
                                           {{0x0640, 0x064F}},
                                           {{0x0650, 0x0658}},
                                           {{0x0660, 0x066F}},
                                           {{0x0671, 0x067F}},
                                           {{0x0680, 0x068F}},
                                           {{0x0690, 0x069F}},
                                           {{0x06A0, 0x06AF}},
                                           {{0x06B0, 0x06BF}},
                                           {{0x06C0, 0x06CF}},
                                           {{0x06D0, 0x06DF}},
                                           {{0x06E0, 0x06EF}},
                                           {{0x06F0, 0x06FF}}});

    static std::vector<QByteArray> rows(std::initializer_list<Row> definitions)
    {
        std::vector<QByteArray> result;
        for (const Row &row : definitions)
            result.push_back(highByteFirst(row));
        return result;
    }
};

// Built once; the commands share the bytes.
const Samples &samples()
{
    static const Samples built;
    return built;
}

QString explanation()
{
    const QStringList lines = {
        "The Controller works with Unicode however basic Latin and Latin-1 can be sent as single byte character",
        " all other need to be sent as Unicode. Other DoubleByte languages are also supported e.g. Chinese, Japanese.",
        "Here is the range:",
        "Basic Latin and Latin-1 in range of 0x00h-0xFFh can be sent as single byte",
        "Unicode:",
        "(unicode >=  0x0020UL && unicode <= 0x007FUL) ||  basic latin",
        "(unicode >=  0x00A0UL && unicode <= 0x017FUL) ||  part of latin1 & latin extended A",
        "(unicode >=  0x01A0UL && unicode <= 0x01CFUL) ||  part of Latin extended B",
        "(unicode >=  0x01F0UL && unicode <= 0x01FFUL) ||  part of Latin extended B",
        "(unicode >=  0x0210UL && unicode <= 0x021FUL) ||  part of Latin extended B",
        "(unicode >=\t 0x1EA0UL && unicode <= 0x1EF9UL) ||  part of Latin Extended Additional",
        "",
        "Greek and Arabic require firmware April 2020 or newer",
        "Greek language support range is:",
        "[0374h-0375h 037Ah-037Eh 0384h-038Ah 038Ch 038Eh-03A1h 03A3h-03CEh]",
        "Arabic language support range is:",
        "[060Ch 061Bh 061F 0621h-063Ah 0640h-0655h 0660h-066Fh 0671h-06EDh 06F0h-06FEh]",
    };
    // One paragraph ending in a line feed: an empty line follows it.
    return lines.join('\n') + '\n';
}

// Collects the script: printed lines, samples and console lines in order.
class LanguageScript
{
public:
    explicit LanguageScript(Script &script)
        : out(script)
    { }

    void send(Command command) { out.push_back(std::move(command)); }
    void console(const char *text) { out.push_back(ConsoleLine{text}); }
    // The text, then a line feed.
    void line(const QByteArray &text)
    {
        send(printStr(text));
        send(printLF());
    }
    // The text and a blank line.
    void withBlank(const QByteArray &text)
    {
        line(text);
        send(printLF());
    }

private:
    Script &out;
};

} // namespace

// The sample's script, one step a line: a table more than a routine.
// NOLINTNEXTLINE(readability-function-size)
Demo language()
{
    const Samples &s = samples();
    Demo demo{Demo::Console::Replace, "Printing languages", {explanation()}, {}};
    LanguageScript script(demo.script);

    script.send(printerSoftInit());
    script.send(printLF());
    script.line("[00h-7Fh]");
    script.withBlank(s.latin);
    script.line("[A0h-FFh]");
    script.withBlank(s.latin1);
    script.line("[100h-17Fh]");
    script.withBlank(s.latinExtendedA);
    script.line("[1A0h-1CFh 1F0h-1FFh 210h-21Fh]");
    script.withBlank(s.latinExtendedB);
    script.line("[1EA0h-1EF9h]");
    script.withBlank(s.latinExtendedAdditional);

    // The heading still prints in the old font.
    script.console("Setting Font to Small");
    script.line("[Setting Small Font]");
    script.send(setFontMode(1));
    script.withBlank(s.latin);

    script.console("Setting Font to Standard");
    script.send(setFontMode(2));
    script.line("[Setting Standard Font]");
    script.withBlank(s.latin);

    script.console("Printing DoubleByte Language");
    script.console("Chinese");
    script.line("[DoubleByte - Chinese]");
    script.send(setDbMode());
    script.withBlank(s.chinese);
    script.send(cancelDbMode());

    script.console("Japanese - Hiragana");
    script.line("[DoubleByte - Hiragana]");
    script.send(setDbMode());
    for (const QByteArray &row : s.hiragana)
        script.line(row);
    script.send(printLF());
    script.send(cancelDbMode());

    // Here double-byte mode ends before the blank line.
    script.console("Japanese - Katakana");
    script.line("[DoubleByte - Katakana]");
    script.send(setDbMode());
    for (size_t i = 0; i + 1 < s.katakana.size(); ++i)
        script.line(s.katakana[i]);
    script.send(printStr(s.katakana.back()));
    script.send(cancelDbMode());
    script.send(printLF());
    script.send(printLF());

    script.send(setDbMode());
    script.send(printStr(s.japanese));
    script.send(cancelDbMode());
    script.send(printLF());
    script.send(printLF());

    script.console("Latin Language");
    script.line("[Latin Language]");
    script.withBlank(s.latin);

    // Greek and Arabic need firmware of April 2020 or newer; they are sent
    // whatever the controller runs. The headings carry their own line feeds.
    script.console("Greek Language");
    for (const char *heading : {"[Greek Language]\n", "[Firmware 04/2020 or newer]\n", "[0374h-0375h 037Ah-037Eh]\n",
                                "[0384h-038Ah 038Ch]\n", "[038Eh-03A1h 03A3h-03CEh]\n"})
        script.send(printStr(heading));
    script.send(printLF());
    for (const QByteArray &row : s.greek)
        script.line(row);
    script.send(printLF());

    script.console("Arabic Language");
    for (const char *heading :
         {"[Arabic Language]\n", "[Firmware 04/2020 or newer]\n", "[060Ch 061Bh 061F]\n", "[0621h-063Ah]\n",
          "[0640h-0655h]\n", "[0660h-066Fh]\n", "[0671h-06EDh]\n", "[06F0h-06FEh]\n"})
        script.send(printStr(heading));
    script.send(printLF());
    for (const QByteArray &row : s.arabic)
        script.line(row);
    script.send(printLF());

    return demo;
}

} // namespace demos
