#pragma once
// Character cells as the head prints them: the glyph drawn into its cell,
// changed by the print modes (italic, bold, double width and height,
// underline, reverse) and inked at the darkness level. Cells are kept for
// reuse by character and settings.

#include "decoder/textcodec.h"
#include "fontset.h"
#include "printarea.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace kvp {

// Character cells in dots. The standard cell is 11 dots wide so that a line
// of 33 characters fits the 384-dot head.
struct CellSize
{
    int width;
    int height;
};
constexpr CellSize standardCell{11, 24};
constexpr CellSize smallCell{8, 16};

// Grey level of text ink for darkness 0..8 (0 is the default, full black).
int inkForDarkness(int darkness);

// One printed character cell in grey levels.
struct Tile
{
    int width = 0;
    int height = 0;
    std::vector<uint8_t> grey;
    bool ink = false;
};

class GlyphCache
{
public:
    explicit GlyphCache(const FontSet &fontSet);

    std::shared_ptr<const Tile> tileFor(const Character &ch, const PrintSettings &settings);
    // A user-defined double-byte character (1C 32): 24 x 24 dots in columns
    // of three bytes, printed for its code point; 1C 3F removes it. False
    // when maxUserDoubleByte others are defined.
    bool define(char32_t code, const uint8_t *columns);
    void undefine(char32_t code);

private:
    InkMask glyph(const Character &ch, const CellSize &cell) const;

    const FontSet &fonts;
    std::unordered_map<char32_t, InkMask> userGlyphs;
    std::unordered_map<uint64_t, std::shared_ptr<const Tile>> tiles;
    size_t cachedBytes = 0;
};

} // namespace kvp
