#include "pngencoder.h"

#include <png.h>
#include <zlib.h>

#include <array>
#include <csetjmp>
#include <vector>

namespace kvp {

namespace {
constexpr int paletteLimit = 16;

// The grey levels the page uses, white first; empty when there are more
// than a palette of 4 bits holds.
std::vector<uint8_t> levelsOf(const QImage &page)
{
    std::array<uint8_t, 256> used{};
    const int width = page.width();
    for (int y = 0; y < page.height(); ++y) {
        const uchar *row = page.constScanLine(y);
        for (int x = 0; x < width; ++x)
            used[row[x]] = 1;
    }
    std::vector<uint8_t> levels;
    for (int level = 255; level >= 0; --level) {
        if (used[static_cast<size_t>(level)])
            levels.push_back(static_cast<uint8_t>(level));
    }
    return static_cast<int>(levels.size()) <= paletteLimit ? levels : std::vector<uint8_t>();
}

int bitsFor(size_t levelCount) { return levelCount <= 2 ? 1 : levelCount <= 4 ? 2 : 4; }

// One row of grey levels as palette indices, `bits` to a dot, first dot in
// the high bits as PNG packs them.
void packRow(const uchar *row, int width, int bits, const std::array<uint8_t, 256> &index, uint8_t *out)
{
    const int perByte = 8 / bits;
    const int whole = width / perByte;
    for (int byte = 0; byte < whole; ++byte, row += perByte) {
        unsigned packed = 0;
        for (int k = 0; k < perByte; ++k)
            packed = (packed << bits) | index[row[k]];
        out[byte] = static_cast<uint8_t>(packed);
    }
    const int rest = width - whole * perByte;
    if (rest > 0) {
        unsigned packed = 0;
        for (int k = 0; k < perByte; ++k)
            packed = (packed << bits) | (k < rest ? index[row[k]] : 0U);
        out[whole] = static_cast<uint8_t>(packed);
    }
}

void appendBytes(png_structp png, png_bytep data, size_t length)
{
    auto *out = static_cast<QByteArray *>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char *>(data), static_cast<qsizetype>(length));
}

void noFlush(png_structp) { }

void describe(png_structp png, png_infop info, const QImage &page, const std::vector<uint8_t> &levels)
{
    const bool palette = !levels.empty();
    png_set_IHDR(png, info, static_cast<png_uint_32>(page.width()), static_cast<png_uint_32>(page.height()),
                 palette ? bitsFor(levels.size()) : 8, palette ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (palette) {
        std::array<png_color, paletteLimit> colours{}; // no destructor for a longjmp to skip
        for (size_t i = 0; i < levels.size(); ++i)
            colours[i] = png_color{levels[i], levels[i], levels[i]};
        png_set_PLTE(png, info, colours.data(), static_cast<int>(levels.size()));
    }
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(png, 1);
    png_set_compression_strategy(png, Z_RLE);
}

// libpng reports errors by longjmp; the caller owns every allocation, so the
// jump skips no clean-up.
bool writePng(png_structp png, png_infop info, const QImage &page, const std::vector<uint8_t> &levels,
              std::vector<uint8_t> &packed, QByteArray *out)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_write_fn(png, out, appendBytes, noFlush);
    describe(png, info, page, levels);
    png_write_info(png, info);
    std::array<uint8_t, 256> index{};
    for (size_t i = 0; i < levels.size(); ++i)
        index[levels[i]] = static_cast<uint8_t>(i);
    for (int y = 0; y < page.height(); ++y) {
        if (levels.empty()) {
            png_write_row(png, page.constScanLine(y));
            continue;
        }
        packRow(page.constScanLine(y), page.width(), bitsFor(levels.size()), index, packed.data());
        png_write_row(png, packed.data());
    }
    png_write_end(png, nullptr);
    return true;
}
} // namespace

QByteArray encodePagePng(const QImage &page)
{
    if (page.isNull() || page.format() != QImage::Format_Grayscale8)
        return QByteArray();
    const std::vector<uint8_t> levels = levelsOf(page);
    std::vector<uint8_t> packed(static_cast<size_t>(page.width()) + 8);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    QByteArray out;
    const bool written = info && writePng(png, info, page, levels, packed, &out);
    png_destroy_write_struct(&png, &info);
    return written ? out : QByteArray();
}

} // namespace kvp
