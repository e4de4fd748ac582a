#include "decoder/textcodec.h"

#include "decoder/codepagetables.h"

#include <iconv.h>

namespace kvp {

TextCodec::TextCodec()
    : gbConverter(iconv_open("UTF-32LE", "EUC-CN"))
    , jisConverter(iconv_open("UTF-32LE", "EUC-JP"))
    , shiftJisConverter(iconv_open("UTF-32LE", "SHIFT_JIS"))
{ }

TextCodec::~TextCodec()
{
    // (iconv's failure value is the pointer -1.)
    if (gbConverter != reinterpret_cast<void *>(-1)) // NOLINT(performance-no-int-to-ptr)
        iconv_close(static_cast<iconv_t>(gbConverter));
    if (jisConverter != reinterpret_cast<void *>(-1)) // NOLINT(performance-no-int-to-ptr)
        iconv_close(static_cast<iconv_t>(jisConverter));
    if (shiftJisConverter != reinterpret_cast<void *>(-1)) // NOLINT(performance-no-int-to-ptr)
        iconv_close(static_cast<iconv_t>(shiftJisConverter));
}

char32_t TextCodec::singleByte(uint8_t byte)
{
    if (byte >= 0x20 && byte <= 0x7E)
        return byte;
    if (byte >= 0xA0)
        return byte;
    if (byte == 0x80)
        return 0x20AC;
    return 0;
}

bool TextCodec::isUnicodeLead(uint8_t byte)
{
    return byte == 0x01 || byte == 0x02 || byte == 0x03 || byte == 0x06 || byte == 0x1E;
}

bool TextCodec::unicodeSupported(char32_t u)
{
    struct Range
    {
        char32_t first, last;
    };
    static constexpr Range ranges[] = {
        {0x0020, 0x007F},
        {0x00A0, 0x017F},
        {0x01A0, 0x01CF},
        {0x01F0, 0x01FF},
        {0x0210, 0x021F},
        {0x1EA0, 0x1EF9},
        // Greek
        {0x0374, 0x0375},
        {0x037A, 0x037E},
        {0x0384, 0x038A},
        {0x038C, 0x038C},
        {0x038E, 0x03A1},
        {0x03A3, 0x03CE},
        // Arabic
        {0x060C, 0x060C},
        {0x061B, 0x061B},
        {0x061F, 0x061F},
        {0x0621, 0x063A},
        {0x0640, 0x0655},
        {0x0660, 0x066F},
        {0x0671, 0x06ED},
        {0x06F0, 0x06FE},
    };
    for (const Range &r : ranges)
        if (u >= r.first && u <= r.last)
            return true;
    return false;
}

char32_t TextCodec::convert(void *cd, uint8_t a, uint8_t b) const
{
    if (cd == reinterpret_cast<void *>(-1)) // NOLINT(performance-no-int-to-ptr): iconv's failure value
        return replacementCharacter;
    char in[2] = {static_cast<char>(a), static_cast<char>(b)};
    char32_t out[2] = {0, 0};
    char *inp = in;
    size_t inLeft = 2;
    char *outp = reinterpret_cast<char *>(out);
    size_t outLeft = sizeof out;
    iconv(static_cast<iconv_t>(cd), nullptr, nullptr, nullptr, nullptr);
    size_t r = iconv(static_cast<iconv_t>(cd), &inp, &inLeft, &outp, &outLeft);
    if (r == static_cast<size_t>(-1) || inLeft != 0 || outLeft != sizeof out - sizeof(char32_t))
        return replacementCharacter;
    return out[0];
}

char32_t TextCodec::gb2312(uint8_t high, uint8_t low) const { return convert(gbConverter, high, low); }

char32_t TextCodec::jisX0208(uint8_t row, uint8_t cell) const
{
    // JIS X 0208 in EUC-JP is the 7-bit code with the top bit set in both bytes.
    return convert(jisConverter, static_cast<uint8_t>(row | 0x80), static_cast<uint8_t>(cell | 0x80));
}

char32_t TextCodec::shiftJis(uint8_t lead, uint8_t trail) const { return convert(shiftJisConverter, lead, trail); }

namespace {
const CodePageTable *tableFor(int page)
{
    for (int i = 0; i < codePageTableCount; ++i)
        if (codePageTables[i].number == page)
            return &codePageTables[i];
    return nullptr;
}
} // namespace

std::optional<TextCodec::CodePage> TextCodec::codePage(int page)
{
    if (const CodePageTable *table = tableFor(page))
        return CodePage{table->name, page};
    // Pages whose characters the fonts here do not have (Thai, the Arabic
    // and Vietnamese pages, the user-defined page) or that have no table
    // here, drawn as the page nearest to them.
    struct Nearest
    {
        int first, last;
        const char *name;
        int drawnAs;
    };
    static constexpr Nearest nearest[] = {
        {6, 6, "Hiragana", 1},
        {7, 8, "one-pass Kanji", 1},
        {11, 11, "PC851 Greek", 14},
        {12, 12, "PC853 Turkish", 13},
        {20, 26, "Thai", 0},
        {30, 31, "TCVN-3 Vietnamese", 0},
        {32, 32, "PC720 Arabic", 0},
        {37, 37, "PC864 Arabic", 0},
        {41, 41, "PC1098 Farsi", 0},
        {42, 42, "PC1118 Lithuanian", 33},
        {43, 43, "PC1119 Lithuanian", 17},
        {44, 44, "PC1125 Ukrainian", 17},
        {49, 49, "WPC1255 Hebrew", 36},
        {50, 50, "WPC1256 Arabic", 0},
        {52, 52, "WPC1258 Vietnamese", 16},
        {53, 53, "KZ-1048 Kazakh", 46},
        {255, 255, "user-defined", 0},
    };
    for (const Nearest &n : nearest)
        if (page >= n.first && page <= n.last)
            return CodePage{n.name, n.drawnAs};
    return std::nullopt;
}

char32_t TextCodec::codePageCharacter(int page, uint8_t byte)
{
    if (byte < 0x80)
        return byte >= 0x20 && byte <= 0x7E ? byte : 0;
    const CodePageTable *table = tableFor(page);
    return table ? table->upper[byte - 0x80] : 0;
}

} // namespace kvp
