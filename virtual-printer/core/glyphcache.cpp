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
    return mode;
}

int underlineRows(const PrintSettings &s, int mode)
{
    if (hasFlag(mode, PrintMode::Underline))
        return s.smallFont ? 1 : 2;
    return std::clamp(s.underline, 0, 2);
}

// The cell turned by 90 degrees clockwise, by 180 degrees, and widened by the
// character spacing (blank, or black in reverse).
void turnAndSpace(Tile &tile, std::vector<uint8_t> &bits, const PrintSettings &s, int spacing, bool reversed)
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
    if (spacing <= 0)
        return;
    std::vector<uint8_t> wide(static_cast<size_t>(tile.width + spacing) * tile.height, reversed ? 1 : 0);
    for (int y = 0; y < tile.height; ++y)
        std::copy_n(bits.begin() + static_cast<long>(y) * tile.width, tile.width,
                    wide.begin() + static_cast<long>(y) * (tile.width + spacing));
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

std::shared_ptr<const Tile> GlyphCache::tileFor(const Character &ch, const PrintSettings &settings)
{
    const int mode = effectiveMode(settings);
    const int darkness = std::clamp(settings.darkness, 0, 8);
    const int scaleX = std::clamp(std::max(settings.widthScale, hasFlag(mode, PrintMode::DoubleWidth) ? 2 : 1), 1, 8);
    const int scaleY = std::clamp(std::max(settings.heightScale, hasFlag(mode, PrintMode::DoubleHeight) ? 2 : 1), 1, 8);
    const int underline = underlineRows(settings, mode);
    const int spacing = std::clamp(settings.charSpacing, 0, 255) * scaleX;
    const uint64_t key = static_cast<uint64_t>(ch.code) | (static_cast<uint64_t>(ch.wide) << 24)
        | (static_cast<uint64_t>(settings.smallFont) << 25) | (static_cast<uint64_t>(underline) << 26)
        | (static_cast<uint64_t>(settings.rotated) << 28) | (static_cast<uint64_t>(settings.upsideDown) << 29)
        | (static_cast<uint64_t>(mode) << 32) | (static_cast<uint64_t>(darkness) << 40)
        | (static_cast<uint64_t>(scaleX - 1) << 44) | (static_cast<uint64_t>(scaleY - 1) << 47)
        | (static_cast<uint64_t>(spacing) << 50);
    auto found = tiles.find(key);
    if (found != tiles.end())
        return found->second;

    const CellSize cell = settings.smallFont ? smallCell : standardCell;
    InkMask mask = fonts.render(ch.code, cell.width * (ch.wide ? 2 : 1), cell.height, ch.wide);
    if (hasFlag(mode, PrintMode::Italic))
        mask = slanted(mask);
    if (hasFlag(mode, PrintMode::Bold))
        embolden(mask);
    auto tile = std::make_shared<Tile>();
    tile->width = mask.width * scaleX;
    tile->height = mask.height * scaleY;
    std::vector<uint8_t> bits = cellBits(mask, mode, underline, tile->width, tile->height);
    turnAndSpace(*tile, bits, settings, spacing, hasFlag(mode, PrintMode::Reverse));
    const uint8_t ink = static_cast<uint8_t>(inkForDarkness(darkness));
    tile->grey.resize(bits.size());
    for (size_t i = 0; i < bits.size(); ++i) {
        tile->grey[i] = bits[i] ? ink : 255;
        tile->ink = tile->ink || bits[i];
    }
    if (tiles.size() > maxCachedTiles || cachedBytes + tile->grey.size() > maxCachedBytes) {
        tiles.clear();
        cachedBytes = 0;
    }
    cachedBytes += tile->grey.size();
    tiles.emplace(key, tile);
    return tile;
}

} // namespace kvp
