#pragma once
// How the controller reads text bytes.
//
// Outside double-byte mode a byte is one character: 0x20..0x7E are ASCII,
// 0xA0..0xFF Latin-1 and 0x80 is the euro sign. A byte that can only be the
// high byte of a supported UTF-16BE code unit (01, 02, 03, 06 or 1E) starts a
// two-byte character; the byte after it, whatever its value, is the low byte.
// In double-byte mode (between 1C 26 and 1C 2E) a byte pair 0xA1..0xFE twice
// is GB 2312 and a pair 0x21..0x7E twice is JIS X 0208 in its 7-bit form.
// With Shift JIS chosen as the code system (1C 43 1), a byte 81..9F or
// E0..FC and the byte after it are one Shift JIS character, in or out of
// double-byte mode. After 1B 74 n selects a code page, bytes 0x80..0xFF are
// read in that page (codepagetables.h); a page the fonts here cannot show is
// read as the nearest page that they can.

#include <cstdint>
#include <optional>

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

    static bool isShiftJisLead(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
    static bool isShiftJisTrail(uint8_t b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }
    char32_t shiftJis(uint8_t lead, uint8_t trail) const;

    // Page n of 1B 74 n: its name and the page whose table draws it (n
    // itself, or the nearest page for one the fonts cannot show); nothing
    // for a page the controller does not know.
    struct CodePage
    {
        const char *name;
        int drawnAs;
    };
    static std::optional<CodePage> codePage(int page);
    // Code point of a text byte in a page with a table (drawnAs), 0 when it prints nothing.
    static char32_t codePageCharacter(int page, uint8_t byte);

private:
    char32_t convert(void *cd, uint8_t a, uint8_t b) const;
    void *gbConverter;       // iconv_t
    void *jisConverter;      // iconv_t
    void *shiftJisConverter; // iconv_t
};

} // namespace kvp
