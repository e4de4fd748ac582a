#pragma once
// How the controller reads text bytes.
//
// Outside double-byte mode a byte is one character: 0x20..0x7E are ASCII,
// 0xA0..0xFF Latin-1 and 0x80 is the euro sign. A byte that can only be the
// high byte of a supported UTF-16BE code unit (01, 02, 03, 06 or 1E) starts a
// two-byte character; the byte after it, whatever its value, is the low byte.
// In double-byte mode (between 1C 26 and 1C 2E) a byte pair 0xA1..0xFE twice
// is GB 2312 and a pair 0x21..0x7E twice is JIS X 0208 in its 7-bit form.
// After 1B 74 n selects a code page, bytes 0x80..0xFF are read in that page.

#include <array>
#include <cstdint>
#include <map>

namespace kvp {

constexpr char32_t replacementCharacter = 0xFFFD;

struct Character
{
    char32_t code = 0; // Unicode code point, replacementCharacter when the controller has no glyph
    bool wide = false; // double-byte characters take two cells
};

class TextCodec
{
public:
    TextCodec();
    ~TextCodec();
    TextCodec(const TextCodec &) = delete;
    TextCodec &operator=(const TextCodec &) = delete;

    // Code point of a single text byte, or 0 when the byte prints nothing.
    static char32_t singleByte(uint8_t byte);
    static bool isUnicodeLead(uint8_t byte);
    // The code points the controller has glyphs for when sent as UTF-16.
    static bool unicodeSupported(char32_t code);

    static bool isGbByte(uint8_t b) { return b >= 0xA1 && b <= 0xFE; }
    static bool isJisByte(uint8_t b) { return b >= 0x21 && b <= 0x7E; }

    // Conversions of one double-byte character; replacementCharacter if unassigned.
    char32_t gb2312(uint8_t high, uint8_t low) const;
    char32_t jisX0208(uint8_t row, uint8_t cell) const;

    // The iconv name of code page n of 1B 74 n, or nullptr when there is none.
    static const char *codePageName(int page);
    // Code point of a text byte in a known code page, 0 when it prints nothing.
    char32_t codePageCharacter(int page, uint8_t byte) const;

private:
    char32_t convert(void *cd, uint8_t a, uint8_t b) const;
    void *gbConverter;                                          // iconv_t
    void *jisConverter;                                         // iconv_t
    mutable std::map<int, std::array<char32_t, 128>> codePages; // upper halves, made when first used
};

} // namespace kvp
