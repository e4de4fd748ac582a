#include "decoder/textcodec.h"

#include <iconv.h>

namespace kvp {

TextCodec::TextCodec()
    : gbConverter(iconv_open("UTF-32LE", "EUC-CN"))
    , jisConverter(iconv_open("UTF-32LE", "EUC-JP"))
{ }

TextCodec::~TextCodec()
{
    // (iconv's failure value is the pointer -1.)
    if (gbConverter != reinterpret_cast<void *>(-1)) // NOLINT(performance-no-int-to-ptr)
        iconv_close(static_cast<iconv_t>(gbConverter));
    if (jisConverter != reinterpret_cast<void *>(-1)) // NOLINT(performance-no-int-to-ptr)
        iconv_close(static_cast<iconv_t>(jisConverter));
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

const char *TextCodec::codePageName(int page)
{
    struct Page
    {
        int number;
        const char *name;
    };
    static constexpr Page pages[] = {
        {0, "CP437"},   {2, "CP850"},  {3, "CP860"},  {4, "CP863"},  {5, "CP865"},
        {16, "CP1252"}, {17, "CP866"}, {18, "CP852"}, {19, "CP858"},
    };
    for (const Page &p : pages)
        if (p.number == page)
            return p.name;
    return nullptr;
}

char32_t TextCodec::codePageCharacter(int page, uint8_t byte) const
{
    if (byte < 0x80)
        return byte >= 0x20 && byte <= 0x7E ? byte : 0;
    auto found = codePages.find(page);
    if (found == codePages.end()) {
        std::array<char32_t, 128> upper{};
        iconv_t cd = iconv_open("UTF-32LE", codePageName(page));
        for (int i = 0; i < 128 && cd != reinterpret_cast<iconv_t>(-1); ++i) { // NOLINT(performance-no-int-to-ptr)
            char in = static_cast<char>(0x80 + i);
            char32_t out = 0;
            char *inPtr = &in;
            auto *outPtr = reinterpret_cast<char *>(&out);
            size_t inLeft = 1, outLeft = sizeof out;
            if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
                upper[static_cast<size_t>(i)] = out;
        }
        if (cd != reinterpret_cast<iconv_t>(-1)) // NOLINT(performance-no-int-to-ptr)
            iconv_close(cd);
        found = codePages.emplace(page, upper).first;
    }
    return found->second[byte - 0x80u];
}

} // namespace kvp
