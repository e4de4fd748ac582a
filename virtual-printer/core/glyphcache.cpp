#include "glyphcache.h"

#include <algorithm>

namespace kvp {

namespace {
constexpr size_t maxCachedTiles = 4096;
// Cells scaled 8 x 8 with wide spacing are large; the cache is bounded in bytes too.
constexpr size_t maxCachedBytes = size_t(64) * 1024 * 1024;

// Rows lean to the right towards the top.
InkMask slanted(const InkMask &mask)
{
    InkMask out(mask.width, mask.height);
    for (int y = 0; y < mask.height; ++y) {
        const int shift = ((mask.height - 1 - y) - mask.height / 2) / 5;
        for (int x = 0; x < mask.width; ++x) {
            const int sx = x - shift;
            if (sx >= 0 && sx < mask.width)
                out.at(x, y) = mask.at(sx, y);
        }
    }
    return out;
}

// Every stroke one dot wider.
void embolden(InkMask &mask)
{
    for (int y = 0; y < mask.height; ++y)
        for (int x = mask.width - 1; x > 0; --x)
            mask.at(x, y) |= mask.at(x - 1, y);
}

// The cell scaled by the double width and height modes and the character
// size, underlined and reversed, as one ink bit per dot.
std::vector<uint8_t> cellBits(const InkMask &mask, int mode, int underlineRows, int width, int height)
{
    const int sx = width / mask.width;
    const int sy = height / mask.height;
    std::vector<uint8_t> bits(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            bits[static_cast<size_t>(y) * width + x] = mask.at(x / sx, y / sy);
    const int thickness = std::min(height, underlineRows * sy); // along the bottom of the cell
    for (int y = height - thickness; y < height; ++y)
        std::fill_n(bits.begin() + static_cast<long>(y) * width, width, 1);
    if (hasFlag(mode, PrintMode::Reverse)) // white on black
        for (auto &b : bits)
            b ^= 1;
    return bits;
}

// The print mode with the encoders' styles folded in.
int effectiveMode(const PrintSettings &s)
{
    int mode = s.printMode & printModeBits;
    if (s.emphasis || s.doubleStrike)
        mode |= static_cast<int>(PrintMode::Bold);
    if (s.reverse)
        mode |= static_cast<int>(PrintMode::Reverse);
    if (s.italic)
        mode |= static_cast<int>(PrintMode::Italic);
    return mode;
}

int underlineRows(const PrintSettings &s, int mode)
{
    if (hasFlag(mode, PrintMode::Underline))
        return s.smallFont ? 1 : 2;
    return std::clamp(s.underline, 0, 2);
}

// How a character is scaled, underlined and spaced: the text settings, and
// for a double-byte character the 1C settings on top.
struct CellLayout
{
    int scaleX, scaleY, underline, left, right;
};
CellLayout layoutFor(const Character &ch, const PrintSettings &s, int mode)
{
    int scaleX = std::max(s.widthScale, hasFlag(mode, PrintMode::DoubleWidth) ? 2 : 1);
    int scaleY = std::max(s.heightScale, hasFlag(mode, PrintMode::DoubleHeight) ? 2 : 1);
    int underline = underlineRows(s, mode);
    int left = 0;
    int right = std::clamp(s.charSpacing, 0, 255);
    if (ch.wide) {
        const bool quadruple = s.doubleByteQuadruple;
        scaleX = std::max(scaleX, (s.doubleByteMode & 0x04) || quadruple ? 2 : 1);
        scaleY = std::max(scaleY, (s.doubleByteMode & 0x08) || quadruple ? 2 : 1);
        const int own = std::clamp(s.doubleByteUnderline, 0, 2);
        underline = std::max(underline, (s.doubleByteMode & 0x80) ? std::max(own, 1) : own);
        left = std::clamp(s.doubleByteLeft, 0, 255);
        right = std::clamp(s.doubleByteRight, 0, 255);
    }
    scaleX = std::clamp(scaleX, 1, 8);
    scaleY = std::clamp(scaleY, 1, 8);
    return {scaleX, scaleY, underline, left * scaleX, right * scaleX};
}

// The cell turned by 90 degrees clockwise, by 180 degrees, and widened by the
// character spacing left and right of it (blank, or black in reverse).
void turnAndSpace(Tile &tile, std::vector<uint8_t> &bits, const PrintSettings &s, const CellLayout &cell, bool reversed)
{
    if (s.rotated) {
        std::vector<uint8_t> turned(bits.size());
        for (int y = 0; y < tile.height; ++y)
            for (int x = 0; x < tile.width; ++x)
                turned[static_cast<size_t>(x) * tile.height + (tile.height - 1 - y)] =
                    bits[static_cast<size_t>(y) * tile.width + x];
        bits.swap(turned);
        std::swap(tile.width, tile.height);
    }
    if (s.upsideDown)
        std::reverse(bits.begin(), bits.end());
    const int spacing = cell.left + cell.right;
    if (spacing <= 0)
        return;
    std::vector<uint8_t> wide(static_cast<size_t>(tile.width + spacing) * tile.height, reversed ? 1 : 0);
    for (int y = 0; y < tile.height; ++y)
        std::copy_n(bits.begin() + static_cast<long>(y) * tile.width, tile.width,
                    wide.begin() + static_cast<long>(y) * (tile.width + spacing) + cell.left);
    bits.swap(wide);
    tile.width += spacing;
}
} // namespace

int inkForDarkness(int darkness)
{
    if (darkness <= 0 || darkness >= 8)
        return 0;
    // Level 1 is a light grey, level 8 full black.
    return 255 - (255 * (30 + 70 * darkness / 8) + 50) / 100;
}

GlyphCache::GlyphCache(const FontSet &fontSet)
    : fonts(fontSet)
{ }

bool GlyphCache::define(char32_t code, const uint8_t *columns)
{
    if (userGlyphs.size() >= maxUserDoubleByte && userGlyphs.count(code) == 0)
        return false;
    InkMask mask(24, 24);
    for (int x = 0; x < 24; ++x)
        for (int y = 0; y < 24; ++y)
            mask.at(x, y) = (columns[x * 3 + y / 8] >> (7 - y % 8)) & 1;
    userGlyphs[code] = std::move(mask);
    tiles.clear(); // cells drawn before the definition
    cachedBytes = 0;
    return true;
}

void GlyphCache::undefine(char32_t code)
{
    if (userGlyphs.erase(code) > 0) {
        tiles.clear();
        cachedBytes = 0;
    }
}

InkMask GlyphCache::glyph(const Character &ch, const CellSize &cell) const
{
    const auto user = userGlyphs.find(ch.code);
    if (user != userGlyphs.end())
        return user->second;
    return fonts.render(ch.code, cell.width * (ch.wide ? 2 : 1), cell.height, ch.wide);
}

std::shared_ptr<const Tile> GlyphCache::tileFor(const Character &ch, const PrintSettings &settings)
{
    const int mode = effectiveMode(settings);
    const int darkness = std::clamp(settings.darkness, 0, 8);
    const CellLayout layout = layoutFor(ch, settings, mode);
    // Code point (21 bits), wide, font, underline, turns, mode, darkness, scales and
    // the spacing right of the cell (11 bits). Cells with spacing on their left
    // (1C 53, rare) are not kept.
    const uint64_t key = static_cast<uint64_t>(ch.code) | (static_cast<uint64_t>(ch.wide) << 21)
        | (static_cast<uint64_t>(settings.smallFont) << 22) | (static_cast<uint64_t>(layout.underline) << 23)
        | (static_cast<uint64_t>(settings.rotated) << 25) | (static_cast<uint64_t>(settings.upsideDown) << 26)
        | (static_cast<uint64_t>(mode) << 27) | (static_cast<uint64_t>(darkness) << 35)
        | (static_cast<uint64_t>(layout.scaleX - 1) << 39) | (static_cast<uint64_t>(layout.scaleY - 1) << 42)
        | (static_cast<uint64_t>(layout.right) << 45);
    auto found = layout.left > 0 ? tiles.end() : tiles.find(key);
    if (found != tiles.end())
        return found->second;

    InkMask mask = glyph(ch, settings.smallFont ? smallCell : standardCell);
    if (hasFlag(mode, PrintMode::Italic))
        mask = slanted(mask);
    if (hasFlag(mode, PrintMode::Bold))
        embolden(mask);
    auto tile = std::make_shared<Tile>();
    tile->width = mask.width * layout.scaleX;
    tile->height = mask.height * layout.scaleY;
    std::vector<uint8_t> bits = cellBits(mask, mode, layout.underline, tile->width, tile->height);
    turnAndSpace(*tile, bits, settings, layout, hasFlag(mode, PrintMode::Reverse));
    const uint8_t ink = static_cast<uint8_t>(inkForDarkness(darkness));
    tile->grey.resize(bits.size());
    for (size_t i = 0; i < bits.size(); ++i) {
        tile->grey[i] = bits[i] ? ink : 255;
        tile->ink = tile->ink || bits[i];
    }
    if (layout.left > 0)
        return tile;
    if (tiles.size() > maxCachedTiles || cachedBytes + tile->grey.size() > maxCachedBytes) {
        tiles.clear();
        cachedBytes = 0;
    }
    cachedBytes += tile->grey.size();
    tiles.emplace(key, tile);
    return tile;
}

} // namespace kvp
