#include "graphicsprinter.h"

#include "glyphcache.h"

#include <algorithm>

namespace kvp {

namespace {
// Graphics functions (the byte after m).
enum class GraphicsFunction : uint8_t {
    PrintBuffer = 0x32,
    PrintBufferShort = 0x02,
    DefineKeyed = 0x43,
    PrintKeyed = 0x45,
    DefineDownload = 0x53,
    PrintDownload = 0x55,
    StoreBuffer = 0x70,
};
constexpr int bufferLocation = -1;        // the print buffer in picture memory
constexpr int keyedLocations = 0x10000;   // keyed pictures: this + kc1 * 256 + kc2
constexpr int storeBufferHeaderSize = 10; // m fn a bx by c xL xH yL yH
constexpr int defineKeyedHeaderSize = 11; // m fn a kc1 kc2 b xL xH yL yH c
constexpr int printKeyedHeaderSize = 6;   // m fn kc1 kc2 x y

int arg16(const QByteArray &b, int i) { return static_cast<uint8_t>(b[i]) | (static_cast<uint8_t>(b[i + 1]) << 8); }

// Scale bytes 1 or 2 as picture mode bits.
int modeOf(int scaleX, int scaleY)
{
    return (scaleX == 2 ? static_cast<int>(PictureMode::DoubleWidth) : 0)
        | (scaleY == 2 ? static_cast<int>(PictureMode::DoubleHeight) : 0);
}

int keyedLocation(const QByteArray &h, int at)
{
    return keyedLocations + static_cast<uint8_t>(h[at]) * 256 + static_cast<uint8_t>(h[at + 1]);
}
} // namespace

GraphicsPrinter::GraphicsPrinter(PrintArea &printArea, TextLayout &textLayout, PicturePrinter &pictureMemory)
    : area(printArea)
    , text(textLayout)
    , pictures(pictureMemory)
{ }

void GraphicsPrinter::begin(const DecodedCommand &c)
{
    header.clear();
    headerSize = 2;
    storing = false;
    columns.clear();
    if (c.id == Cmd::ColumnImage && (c.args[0] & ~0x21) != 0)
        area.note(QStringLiteral("column image mode %1 unknown; read as mode %2").arg(c.args[0]).arg(c.args[0] & 0x21));
}

void GraphicsPrinter::chunk(const DecodedCommand &c, const uint8_t *data, size_t size)
{
    if (c.id == Cmd::Graphics) {
        graphicsChunk(data, size);
        return;
    }
    // Columns beyond the paper (or picture memory) are dropped as they arrive.
    const int bytesPerColumn = c.id == Cmd::NvImages ? 1 : hasFlag(c.args[0], 0x20) ? 3 : 1;
    const size_t cap = c.id == Cmd::NvImages ? PicturePrinter::pictureMemory
                                             : static_cast<size_t>(area.paper.width() + 1) * bytesPerColumn;
    columns.insert(columns.end(), data, data + std::min(size, cap - std::min(cap, columns.size())));
}

void GraphicsPrinter::end(const DecodedCommand &c, bool complete)
{
    if (c.id == Cmd::Graphics)
        graphicsEnd();
    else if (c.id == Cmd::ColumnImage)
        columnImageEnd(c);
    else if (complete)
        storeNvImage(c);
    else
        area.note(QStringLiteral("NV picture %1 cut short; not stored").arg(c.pictureIndex + 1));
}

// 1C 71: picture k of n (numbered from 1, where 1C 70 k finds it) comes in
// columns of y bytes, the high bit on top; picture memory keeps rows.
void GraphicsPrinter::storeNvImage(const DecodedCommand &c)
{
    const int widthBytes = c.arg16(1), heightBytes = c.arg16(3);
    const size_t announced = static_cast<size_t>(widthBytes) * heightBytes * 8;
    if (columns.size() < announced) {
        area.note(QStringLiteral("NV picture %1 larger than picture memory; not stored").arg(c.pictureIndex + 1));
        return;
    }
    PicturePrinter::Header h;
    h.store = true;
    h.location = c.pictureIndex + 1;
    h.widthBytes = widthBytes;
    h.rows = heightBytes * 8;
    pictures.begin(h);
    std::vector<uint8_t> row(static_cast<size_t>(widthBytes));
    for (int y = 0; y < h.rows; ++y) {
        std::fill(row.begin(), row.end(), 0);
        for (int x = 0; x < widthBytes * 8; ++x)
            if (columns[static_cast<size_t>(x) * heightBytes + y / 8] & (0x80 >> y % 8))
                row[static_cast<size_t>(x / 8)] |= static_cast<uint8_t>(0x80 >> x % 8);
        pictures.chunk(row.data(), row.size());
    }
    pictures.end();
}

void GraphicsPrinter::graphicsChunk(const uint8_t *data, size_t size)
{
    size_t i = 0;
    while (!storing && i < size && header.size() < headerSize) {
        header.append(static_cast<char>(data[i++]));
        if (header.size() == 2) {
            const auto fn = static_cast<GraphicsFunction>(header[1]);
            headerSize = fn == GraphicsFunction::StoreBuffer                                    ? storeBufferHeaderSize
                : fn == GraphicsFunction::DefineKeyed || fn == GraphicsFunction::DefineDownload ? defineKeyedHeaderSize
                : fn == GraphicsFunction::PrintKeyed || fn == GraphicsFunction::PrintDownload   ? printKeyedHeaderSize
                                                                                                : 2;
        }
        if (header.size() == headerSize)
            graphicsHeaderComplete();
    }
    if (storing && i < size)
        pictures.chunk(data + i, size - i);
}

void GraphicsPrinter::graphicsHeaderComplete()
{
    const auto fn = static_cast<GraphicsFunction>(header[1]);
    PicturePrinter::Header h;
    h.store = true;
    h.align = -1;
    if (fn == GraphicsFunction::StoreBuffer) {
        h.location = bufferLocation;
        h.widthBytes = (arg16(header, 6) + 7) / 8;
        h.rows = arg16(header, 8);
        modes[bufferLocation] = modeOf(header[3], header[4]);
    } else if (fn == GraphicsFunction::DefineKeyed || fn == GraphicsFunction::DefineDownload) {
        h.location = keyedLocation(header, 3);
        h.widthBytes = (arg16(header, 6) + 7) / 8;
        h.rows = arg16(header, 8);
    } else {
        return;
    }
    storing = true;
    pictures.begin(h);
}

void GraphicsPrinter::graphicsEnd()
{
    if (storing) {
        pictures.end();
        return;
    }
    if (header.size() < headerSize) {
        area.note(QStringLiteral("graphics command too short; ignored"));
        return;
    }
    const auto fn = static_cast<GraphicsFunction>(header[1]);
    if (fn == GraphicsFunction::PrintBuffer || fn == GraphicsFunction::PrintBufferShort) {
        if (!pictures.hasStored(bufferLocation)) {
            area.note(QStringLiteral("graphics buffer empty; nothing printed"));
            return;
        }
        pictures.printStored(bufferLocation, modes[bufferLocation]);
        pictures.forget(bufferLocation);
    } else if (fn == GraphicsFunction::PrintKeyed || fn == GraphicsFunction::PrintDownload) {
        pictures.printStored(keyedLocation(header, 2), modeOf(header[4], header[5]));
    } else {
        area.note(QStringLiteral("graphics function 0x%1 not supported; ignored")
                      .arg(static_cast<uint8_t>(header[1]), 2, 16, QLatin1Char('0')));
    }
}

// Each byte is 8 dots of a column, the high bit on top. The 8-dot modes
// print each dot three rows tall; single density (bit 0 clear) two dots wide.
void GraphicsPrinter::columnImageEnd(const DecodedCommand &c)
{
    const int bytesPerColumn = hasFlag(c.args[0], 0x20) ? 3 : 1;
    const int scaleX = hasFlag(c.args[0], 0x01) ? 1 : 2;
    const int scaleY = bytesPerColumn == 3 ? 1 : 3;
    const int count = static_cast<int>(columns.size()) / bytesPerColumn;
    if (count == 0)
        return;
    auto tile = std::make_shared<Tile>();
    tile->width = count * scaleX;
    tile->height = bytesPerColumn * 8 * scaleY;
    tile->grey.assign(static_cast<size_t>(tile->width) * tile->height, 255);
    for (int col = 0; col < count; ++col)
        for (int dot = 0; dot < bytesPerColumn * 8; ++dot) {
            if (!(columns[static_cast<size_t>(col) * bytesPerColumn + dot / 8] & (0x80 >> dot % 8)))
                continue;
            tile->ink = true;
            for (int y = dot * scaleY; y < (dot + 1) * scaleY; ++y)
                std::fill_n(tile->grey.begin() + static_cast<long>(y) * tile->width + static_cast<long>(col) * scaleX,
                            scaleX, 0);
        }
    text.place(tile);
}

} // namespace kvp
