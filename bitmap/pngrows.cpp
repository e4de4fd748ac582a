#include "bitmap/pngrows.h"

#include <QIODevice>

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace bitmap {

struct PngRows::Png
{
    QIODevice *device = nullptr;
    png_structp read = nullptr;
    png_infop info = nullptr;
    png_infop end = nullptr;
    bool valid = false;
    bool readingEnd = false;
    int rowsRead = 0;
    QSize size;
    QImage::Format format = QImage::Format_Invalid;
    QList<QRgb> colours;
};

namespace {

// As Qt's reader: the device's bytes, or an error when they run out.
// (A file that lacks only its last checksum is read as whole.)
void readBytes(png_structp read, png_bytep data, size_t length)
{
    auto *png = static_cast<PngRows::Png *>(png_get_io_ptr(read));
    QIODevice *in = png->device;
    if (png->readingEnd && !in->isSequential() && in->size() - in->pos() < 4 && length == 4) {
        const uchar endCrc[4] = {0xae, 0x42, 0x60, 0x82};
        std::memcpy(data, endCrc, 4);
        in->seek(in->size());
        return;
    }
    while (length > 0) {
        const qint64 got = in->read(reinterpret_cast<char *>(data), qint64(length));
        if (got <= 0)
            png_error(read, "Read Error");
        data += got;
        length -= size_t(got);
    }
}

void quiet(png_structp, png_const_charp) { }

[[noreturn]] void fail(png_structp read, png_const_charp) { png_longjmp(read, 1); }

// libpng reports errors by longjmp: these frames hold nothing to clean up.
bool readInfo(png_structp read, png_infop info)
{
    if (setjmp(png_jmpbuf(read)))
        return false;
    png_read_info(read, info);
    return true;
}

bool updateInfo(png_structp read, png_infop info)
{
    if (setjmp(png_jmpbuf(read)))
        return false;
    png_read_update_info(read, info);
    return true;
}

bool readRow(png_structp read, png_bytep row)
{
    if (setjmp(png_jmpbuf(read)))
        return false;
    png_read_row(read, row, nullptr);
    return true;
}

bool readEnd(png_structp read, png_infop end)
{
    if (setjmp(png_jmpbuf(read)))
        return false;
    png_read_end(read, end);
    return true;
}

QRgb grey(int level, int alpha = 255) { return qRgba(level, level, level, alpha); }

// Grey files, as Qt's reader sets them up.
QImage::Format greyFormat(png_structp read, png_infop info, int depth, QList<QRgb> &colours)
{
    png_bytep alphas = nullptr;
    png_color_16p transparent = nullptr;
    int count = 0;
    const bool masked = png_get_valid(read, info, PNG_INFO_tRNS);
    const bool transparentGrey = png_get_tRNS(read, info, &alphas, &count, &transparent) && transparent;
    if (depth == 1) {
        png_set_invert_mono(read);
        colours = {grey(255), grey(0)};
        if (transparentGrey && transparent->gray == 0)
            colours[1] = qRgba(0, 0, 0, 0);
        else if (transparentGrey && transparent->gray == 1)
            colours[0] = grey(255, 0);
        return QImage::Format_Mono;
    }
    if (depth == 16) {
        if (!masked)
            return QImage::Format_Grayscale16;
        png_set_expand(read);
        png_set_gray_to_rgb(read);
        return QImage::Format_RGBA64;
    }
    if (depth == 8 && !masked) {
        png_set_expand(read);
        return QImage::Format_Grayscale8;
    }
    if (depth < 8)
        png_set_packing(read);
    const int levels = depth < 8 ? 1 << depth : 256;
    for (int i = 0; i < levels; ++i)
        colours.append(grey(i * 255 / (levels - 1)));
    if (transparentGrey && transparent->gray < levels)
        colours[transparent->gray] = 0;
    return QImage::Format_Indexed8;
}

// Palette files: the palette with its transparency, grown with white to
// every index the depth can hold, so that indices past it print nothing
// (readPicture's rule).
QImage::Format paletteFormat(png_structp read, png_infop info, int depth, QList<QRgb> &colours)
{
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(read, info, &palette, &count);
    if (depth != 1)
        png_set_packing(read);
    png_bytep alphas = nullptr;
    png_color_16p transparent = nullptr;
    int alphaCount = 0;
    if (!png_get_tRNS(read, info, &alphas, &alphaCount, &transparent) || !alphas)
        alphaCount = 0;
    colours.fill(0, depth == 1 ? 2 : count);
    for (int i = 0; i < qMin(count, int(colours.size())); ++i)
        colours[i] = qRgba(palette[i].red, palette[i].green, palette[i].blue, i < alphaCount ? alphas[i] : 255);
    if (depth != 1)
        colours.resize(1 << depth, qRgb(255, 255, 255));
    return depth == 1 ? QImage::Format_Mono : QImage::Format_Indexed8;
}

// Colour files, 8 or 16 bits a channel.
QImage::Format colourFormat(png_structp read, png_infop info, int depth, int type)
{
    const bool opaque = !(type & PNG_COLOR_MASK_ALPHA) && !png_get_valid(read, info, PNG_INFO_tRNS);
    if (depth == 16) {
        if (opaque)
            png_set_filler(read, 0xffff, PNG_FILLER_AFTER);
        if (!(type & PNG_COLOR_MASK_COLOR))
            png_set_gray_to_rgb(read);
        return opaque ? QImage::Format_RGBX64 : QImage::Format_RGBA64;
    }
    png_set_expand(read);
    if (type == PNG_COLOR_TYPE_GRAY_ALPHA)
        png_set_gray_to_rgb(read);
    if (opaque)
        png_set_filler(read, 0xff, PNG_FILLER_AFTER);
    png_set_bgr(read);
    return opaque ? QImage::Format_RGB32 : QImage::Format_ARGB32;
}

} // namespace

PngRows::PngRows(QIODevice *device)
    : png(std::make_unique<Png>())
{
    png->device = device;
    png->read = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, quiet);
    if (!png->read)
        return;
    png->info = png_create_info_struct(png->read);
    png->end = png_create_info_struct(png->read);
#if defined(PNG_SET_OPTION_SUPPORTED) && defined(PNG_MAXIMUM_INFLATE_WINDOW)
    png_set_option(png->read, PNG_MAXIMUM_INFLATE_WINDOW, PNG_OPTION_ON);
#endif
    png_set_read_fn(png->read, png.get(), readBytes);
    if (!png->info || !png->end || !readInfo(png->read, png->info))
        return;
    png_uint_32 width = 0, height = 0;
    int depth = 0, type = 0, interlace = 0;
    png_get_IHDR(png->read, png->info, &width, &height, &depth, &type, &interlace, nullptr, nullptr);
    png_colorp palette = nullptr;
    int colourCount = 0;
    if (interlace != PNG_INTERLACE_NONE || width > 0x7fffffffu || height > 0x7fffffffu)
        return;
    if (type == PNG_COLOR_TYPE_GRAY)
        png->format = greyFormat(png->read, png->info, depth, png->colours);
    else if (type == PNG_COLOR_TYPE_PALETTE && png_get_PLTE(png->read, png->info, &palette, &colourCount)
             && colourCount <= 256)
        png->format = paletteFormat(png->read, png->info, depth, png->colours);
    else
        png->format = colourFormat(png->read, png->info, depth, type);
    if (!updateInfo(png->read, png->info))
        return;
    // 16-bit samples in the machine's order, as Qt reads them.
    if (depth == 16 && QSysInfo::ByteOrder == QSysInfo::LittleEndian)
        png_set_swap(png->read);
    png->size = QSize(int(width), int(height));
    png->valid = !png->size.isEmpty();
}

PngRows::~PngRows()
{
    if (png->read)
        png_destroy_read_struct(&png->read, png->info ? &png->info : nullptr, png->end ? &png->end : nullptr);
}

bool PngRows::isValid() const { return png->valid; }

QSize PngRows::size() const { return png->size; }

QImage PngRows::readRows(int count)
{
    count = qMin(count, png->size.height() - png->rowsRead);
    if (!png->valid || count <= 0)
        return {};
    QImage band(png->size.width(), count, png->format);
    if (band.isNull())
        return {};
    if (!png->colours.isEmpty())
        band.setColorTable(png->colours);
    // What libpng does not write stays as readPicture's cleared image has it.
    if (band.format() == QImage::Format_Mono || band.format() == QImage::Format_Indexed8)
        band.fill(0u);
    else
        band.fill(Qt::white);
    for (int y = 0; y < count; ++y) {
        if (!readRow(png->read, band.scanLine(y))) {
            png->valid = false;
            return {};
        }
    }
    png->rowsRead += count;
    return band;
}

bool PngRows::finish()
{
    png->readingEnd = true;
    return png->valid && png->rowsRead == png->size.height() && readEnd(png->read, png->end);
}

} // namespace bitmap
