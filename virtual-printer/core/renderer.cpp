#include "renderer.h"

#include <algorithm>
#include <cstring>

namespace kvp {

int inkForDarkness(int darkness)
{
    if (darkness <= 0 || darkness >= 8)
        return 0;
    // Level 1 is a light grey, level 8 full black.
    return 255 - (255 * (30 + 70 * darkness / 8) + 50) / 100;
}

Renderer::Renderer(Paper &paperRoll, const FontSet &fontSet, LogSink *logSink)
    : paper(paperRoll)
    , fonts(fontSet)
    , log(logSink)
{
}

void Renderer::note(const QString &text)
{
    if (log)
        log->note(QStringLiteral("note"), text);
}

void Renderer::initialize()
{
    printSettings = PrintSettings();
    clearLine();
}

int Renderer::areaStart() const
{
    return std::min(printSettings.leftMargin, paper.width() - 1);
}

int Renderer::areaEnd() const
{
    return std::max(areaStart() + 1, paper.width() - printSettings.rightMargin);
}

int Renderer::cursor() const
{
    return cursorSet ? cursorX : areaStart();
}

int Renderer::justifyOffset(Justification justification, int usedWidth) const
{
    const int free = areaEnd() - areaStart() - usedWidth;
    if (free <= 0)
        return 0;
    switch (justification) {
    case Justification::Left: return 0;
    case Justification::Centre: return free / 2;
    case Justification::Right: return free;
    }
    return 0;
}

void Renderer::clearLine()
{
    line.clear();
    cursorSet = false;
}

std::shared_ptr<const Renderer::Tile> Renderer::tileFor(const Character &ch)
{
    const int mode = printSettings.printMode & printModeBits;
    const int darkness = std::clamp(printSettings.darkness, 0, 8);
    const uint64_t key = static_cast<uint64_t>(ch.code) | (static_cast<uint64_t>(ch.wide) << 24)
        | (static_cast<uint64_t>(printSettings.smallFont) << 25) | (static_cast<uint64_t>(mode) << 32)
        | (static_cast<uint64_t>(darkness) << 40);
    auto found = tiles.find(key);
    if (found != tiles.end())
        return found->second;

    const CellSize cell = printSettings.smallFont ? smallCell : standardCell;
    const int baseW = cell.width * (ch.wide ? 2 : 1);
    const int baseH = cell.height;
    InkMask mask = fonts.render(ch.code, baseW, baseH, ch.wide);

    if (hasFlag(mode, PrintMode::Italic)) { // rows lean to the right towards the top
        InkMask slanted(baseW, baseH);
        for (int y = 0; y < baseH; ++y) {
            const int shift = ((baseH - 1 - y) - baseH / 2) / 5;
            for (int x = 0; x < baseW; ++x) {
                const int sx = x - shift;
                if (sx >= 0 && sx < baseW)
                    slanted.at(x, y) = mask.at(sx, y);
            }
        }
        mask = std::move(slanted);
    }
    if (hasFlag(mode, PrintMode::Bold)) { // every stroke one dot wider
        for (int y = 0; y < baseH; ++y)
            for (int x = baseW - 1; x > 0; --x)
                mask.at(x, y) |= mask.at(x - 1, y);
    }
    const int sx = hasFlag(mode, PrintMode::DoubleWidth) ? 2 : 1;
    const int sy = hasFlag(mode, PrintMode::DoubleHeight) ? 2 : 1;
    auto tile = std::make_shared<Tile>();
    tile->width = baseW * sx;
    tile->height = baseH * sy;
    std::vector<uint8_t> bits(static_cast<size_t>(tile->width) * tile->height);
    for (int y = 0; y < tile->height; ++y)
        for (int x = 0; x < tile->width; ++x)
            bits[static_cast<size_t>(y) * tile->width + x] = mask.at(x / sx, y / sy);
    if (hasFlag(mode, PrintMode::Underline)) { // along the bottom of the cell
        const int thickness = (printSettings.smallFont ? 1 : 2) * sy;
        for (int y = tile->height - thickness; y < tile->height; ++y)
            std::fill_n(bits.begin() + static_cast<long>(y) * tile->width, tile->width, 1);
    }
    if (hasFlag(mode, PrintMode::Reverse)) // white on black
        for (auto &b : bits)
            b ^= 1;
    const uint8_t ink = static_cast<uint8_t>(inkForDarkness(darkness));
    tile->grey.resize(bits.size());
    for (size_t i = 0; i < bits.size(); ++i) {
        tile->grey[i] = bits[i] ? ink : 255;
        tile->ink = tile->ink || bits[i];
    }
    if (tiles.size() > 4096)
        tiles.clear();
    tiles.emplace(key, tile);
    return tile;
}

void Renderer::character(const Character &ch)
{
    auto tile = tileFor(ch);
    if (cursor() + tile->width > areaEnd() && !line.empty())
        printLine(std::max(lineHeight(), printSettings.lineSpacing)); // wrap
    const int x = cursor();
    line.push_back({x, tile});
    cursorX = x + tile->width;
    cursorSet = true;
}

int Renderer::lineHeight() const
{
    int h = 0;
    for (const Placed &p : line)
        h = std::max(h, p.tile->height);
    return h;
}

void Renderer::printLine(int advance)
{
    const int height = lineHeight();
    if (!line.empty()) {
        int right = areaStart();
        for (const Placed &p : line)
            right = std::max(right, p.x + p.tile->width);
        const int offset = justifyOffset(printSettings.justify, right - areaStart());
        const int width = paper.width();
        uint8_t *rows = paper.addRows(height);
        bool ink = false;
        for (const Placed &p : line) {
            const Tile &t = *p.tile;
            const int top = height - t.height;
            for (int y = 0; y < t.height; ++y) {
                uint8_t *dst = rows + static_cast<size_t>(top + y) * width;
                const uint8_t *src = t.grey.data() + static_cast<size_t>(y) * t.width;
                for (int x = 0; x < t.width; ++x) {
                    const int px = p.x + offset + x;
                    if (px >= 0 && px < width)
                        dst[px] = std::min(dst[px], src[x]);
                }
            }
            ink = ink || t.ink;
        }
        if (ink)
            paper.markInk();
    }
    paper.feed(advance - height);
    clearLine();
}

void Renderer::flushLine()
{
    if (!line.empty() || cursorSet)
        printLine(std::max(lineHeight(), printSettings.lineSpacing));
}

void Renderer::finishStream()
{
    flushLine();
    endPage(QStringLiteral("end of stream"));
}

void Renderer::endPage(const QString &reason)
{
    paper.endPage(reason);
}

void Renderer::execute(const DecodedCommand &c)
{
    const auto &a = c.args;
    PrintSettings &s = printSettings;
    switch (c.id) {
    case Cmd::LineFeed:
        printLine(std::max(lineHeight(), s.lineSpacing));
        break;
    case Cmd::CarriageReturn: // prints a pending line; on an empty line it does nothing
        flushLine();
        break;
    case Cmd::HorizontalTab: {
        const int start = areaStart();
        const int here = cursor();
        int target = -1;
        if (s.customTabs) {
            for (int stop : s.tabStops) {
                const int x = start + stop * tabUnit;
                if (x > here) {
                    target = x;
                    break;
                }
            }
        } else {
            target = start + ((here - start) / (8 * tabUnit) + 1) * 8 * tabUnit;
        }
        if (target > here && target < areaEnd()) {
            cursorX = target;
            cursorSet = true;
        }
        break;
    }
    case Cmd::Initialize:
        initialize();
        break;
    case Cmd::PrintMode:
        s.printMode = a[0];
        break;
    case Cmd::SelectFont:
        if (const std::optional<Font> font = fontFor(a[0]))
            s.smallFont = *font == Font::Small;
        else
            note(QStringLiteral("font %1 does not exist; font unchanged").arg(a[0]));
        break;
    case Cmd::Darkness:
        s.darkness = std::min<int>(a[0], 8);
        if (a[0] > 8)
            note(QStringLiteral("darkness %1 above 8; using 8").arg(a[0]));
        break;
    case Cmd::Justify:
        if (const std::optional<Justification> justification = justificationFor(a[0]))
            s.justify = *justification;
        else
            note(QStringLiteral("justification %1 out of range; unchanged").arg(a[0]));
        break;
    case Cmd::LineSpacing:
        s.lineSpacing = a[0];
        break;
    case Cmd::LineSpacingDefault:
        s.lineSpacing = defaultLineSpacing;
        break;
    case Cmd::FeedDots: {
        const int h = lineHeight();
        printLine(std::max(h, static_cast<int>(a[0])));
        break;
    }
    case Cmd::FeedLines: {
        const int h = lineHeight();
        printLine(a[0] == 0 ? h : std::max(h, s.lineSpacing) + (a[0] - 1) * s.lineSpacing);
        break;
    }
    case Cmd::TabStops:
        s.customTabs = true;
        s.tabStops.assign(c.list.begin(), c.list.begin() + c.listCount);
        std::sort(s.tabStops.begin(), s.tabStops.end());
        break;
    case Cmd::AbsolutePosition: {
        const int x = areaStart() + c.arg16(0);
        if (x < areaEnd()) {
            cursorX = x;
            cursorSet = true;
        } else {
            note(QStringLiteral("absolute position %1 is beyond the line; ignored").arg(c.arg16(0)));
        }
        break;
    }
    case Cmd::LeftMargin:
        s.leftMargin = a[0];
        break;
    case Cmd::RightMargin:
        s.rightMargin = a[0];
        break;
    case Cmd::PrintPicture:
        printPicture(a[0], a[1]);
        break;
    case Cmd::BarcodeHeight:
        s.barcodeHeight = std::max<int>(1, a[0]);
        break;
    case Cmd::BarcodeWidth:
        s.barcodeWidth = std::clamp<int>(a[0], 1, 6);
        if (a[0] < 1 || a[0] > 6)
            note(QStringLiteral("bar code module width %1 outside 1..6; using %2").arg(a[0]).arg(s.barcodeWidth));
        break;
    case Cmd::BarcodeText:
        s.barcodeText = a[0] != 0;
        break;
    case Cmd::FullCut:
        flushLine();
        endPage(QStringLiteral("full cut"));
        break;
    case Cmd::PartialCut:
        flushLine();
        endPage(QStringLiteral("partial cut"));
        break;
    case Cmd::NextLabel:
        flushLine();
        endPage(QStringLiteral("next label"));
        break;
    default:
        break;
    }
}

void Renderer::dataBegin(const DecodedCommand &c)
{
    switch (c.id) {
    case Cmd::Raster:
    case Cmd::StorePicture: {
        const bool store = c.id == Cmd::StorePicture;
        const int mode = store ? 0 : (c.args[0] & 0x03);
        RasterJob job;
        job.widthBytes = c.arg16(store ? 2 : 1);
        job.scaleX = hasFlag(mode, PictureMode::DoubleWidth) ? 2 : 1;
        job.scaleY = hasFlag(mode, PictureMode::DoubleHeight) ? 2 : 1;
        const int paperBytes = (paper.width() + 7) / 8;
        job.keptBytes = std::min(job.widthBytes, paperBytes);
        job.row.assign(static_cast<size_t>(job.keptBytes), 0);
        job.toStore = store;
        if (store) {
            job.storeLocation = c.args[0];
            job.stored.widthBytes = job.keptBytes;
            job.stored.align = c.args[1];
            const int rows = std::min(c.arg16(4), maxPictureRows);
            const size_t size = static_cast<size_t>(job.keptBytes) * rows;
            size_t inUse = pictureBytes;
            auto old = pictures.find(job.storeLocation);
            if (old != pictures.end())
                inUse -= old->second.data.size();
            if (inUse + size > pictureMemory) {
                job.storeRefused = true;
                note(QStringLiteral("picture memory full: picture %1 not stored").arg(job.storeLocation));
            }
            if (c.arg16(4) > maxPictureRows)
                note(QStringLiteral("stored picture cut to %1 rows").arg(maxPictureRows));
        } else {
            flushLine();
            job.x0 = areaStart() + justifyOffset(printSettings.justify, job.widthBytes * 8 * job.scaleX);
        }
        if (job.widthBytes > paperBytes)
            note(QStringLiteral("picture of %1 dots is wider than the paper; cut at %2 dots").arg(job.widthBytes * 8).arg(paper.width()));
        raster = std::move(job);
        break;
    }
    case Cmd::Barcode:
    case Cmd::QrCode:
        block.clear();
        blockCut = false;
        break;
    default:
        break;
    }
}

void Renderer::emitRasterRow(const uint8_t *row, int keptBytes, int x0, int scaleX, int scaleY)
{
    const int width = paper.width();
    uint8_t *dst = paper.addRows(scaleY);
    bool ink = false;
    for (int i = 0; i < keptBytes; ++i) {
        const uint8_t b = row[i];
        if (!b)
            continue;
        ink = true;
        for (int bit = 0; bit < 8; ++bit) {
            if (!(b & (0x80 >> bit)))
                continue;
            for (int k = 0; k < scaleX; ++k) {
                const int x = x0 + (i * 8 + bit) * scaleX + k;
                if (x >= 0 && x < width)
                    for (int r = 0; r < scaleY; ++r)
                        dst[static_cast<size_t>(r) * width + x] = 0;
            }
        }
    }
    if (ink)
        paper.markInk();
}

void Renderer::dataChunk(const DecodedCommand &c, const uint8_t *data, size_t size)
{
    switch (c.id) {
    case Cmd::Raster:
    case Cmd::StorePicture: {
        RasterJob &job = raster;
        if (job.widthBytes == 0)
            return;
        for (size_t i = 0; i < size;) {
            // Copy the part of the row that reaches the paper; skip the rest.
            if (job.rowPos < job.keptBytes) {
                const size_t take = std::min<size_t>(size - i, static_cast<size_t>(job.keptBytes - job.rowPos));
                std::memcpy(job.row.data() + job.rowPos, data + i, take);
                job.rowPos += static_cast<int>(take);
                i += take;
            } else {
                const size_t take = std::min<size_t>(size - i, static_cast<size_t>(job.widthBytes - job.rowPos));
                job.rowPos += static_cast<int>(take);
                i += take;
            }
            if (job.rowPos == job.widthBytes) {
                if (!job.toStore)
                    emitRasterRow(job.row.data(), job.keptBytes, job.x0, job.scaleX, job.scaleY);
                else if (!job.storeRefused && job.stored.rows < maxPictureRows) {
                    job.stored.data.insert(job.stored.data.end(), job.row.begin(), job.row.end());
                    ++job.stored.rows;
                }
                job.rowPos = 0;
                std::fill(job.row.begin(), job.row.end(), 0);
            }
        }
        break;
    }
    case Cmd::Barcode:
    case Cmd::QrCode: {
        const int cap = maxQrData + 3;
        const int room = cap - static_cast<int>(block.size());
        const int take = static_cast<int>(std::min<size_t>(size, static_cast<size_t>(std::max(0, room))));
        block.append(reinterpret_cast<const char *>(data), take);
        if (static_cast<size_t>(take) < size)
            blockCut = true;
        break;
    }
    default:
        break;
    }
}

void Renderer::dataEnd(const DecodedCommand &c, uint64_t received, bool complete)
{
    switch (c.id) {
    case Cmd::Raster:
    case Cmd::StorePicture: {
        RasterJob &job = raster;
        if (job.rowPos > 0 && !job.toStore) // a picture cut short prints what arrived
            emitRasterRow(job.row.data(), std::min(job.rowPos, job.keptBytes), job.x0, job.scaleX, job.scaleY);
        if (job.toStore && !job.storeRefused) {
            auto old = pictures.find(job.storeLocation);
            if (old != pictures.end())
                pictureBytes -= old->second.data.size();
            pictureBytes += job.stored.data.size();
            pictures[job.storeLocation] = std::move(job.stored);
        }
        raster = RasterJob();
        break;
    }
    case Cmd::Barcode:
        if (complete)
            printBarcode(c.args[0], block);
        else
            note(QStringLiteral("bar code data cut short; nothing printed"));
        block.clear();
        break;
    case Cmd::QrCode:
        if (complete)
            qrCommand(block, received, blockCut);
        else
            note(QStringLiteral("QR command cut short; ignored"));
        block.clear();
        break;
    default:
        break;
    }
}

void Renderer::printMask(const InkMask &mask, int x0)
{
    const int width = paper.width();
    if (mask.height <= 0)
        return;
    uint8_t *dst = paper.addRows(mask.height);
    bool ink = false;
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x)
            if (mask.at(x, y)) {
                const int px = x0 + x;
                if (px >= 0 && px < width) {
                    dst[static_cast<size_t>(y) * width + px] = 0;
                    ink = true;
                }
            }
    if (ink)
        paper.markInk();
}

void Renderer::printBarcode(int symbologyByte, const QByteArray &data)
{
    const std::optional<Symbology> symbology = symbologyFor(symbologyByte);
    if (!symbology) {
        note(QStringLiteral("bar code symbology 0x%1 is not supported; nothing printed").arg(symbologyByte, 2, 16, QLatin1Char('0')));
        return;
    }
    flushLine();
    BarcodeRequest request;
    request.symbology = *symbology;
    request.data = data;
    request.height = printSettings.barcodeHeight;
    request.moduleWidth = printSettings.barcodeWidth;
    request.text = printSettings.barcodeText;
    request.maxWidth = areaEnd() - areaStart();
    const SymbolResult result = renderBarcode(request);
    if (result.mask.width == 0) {
        note(QStringLiteral("%1 not printed: %2").arg(QLatin1String(symbologyName(*symbology)), result.error));
        return;
    }
    if (result.moduleWidth != printSettings.barcodeWidth)
        note(QStringLiteral("%1 too wide at module width %2; printed at %3")
                 .arg(QLatin1String(symbologyName(*symbology)))
                 .arg(printSettings.barcodeWidth)
                 .arg(result.moduleWidth));
    if (!result.error.isEmpty())
        note(QStringLiteral("%1: %2").arg(QLatin1String(symbologyName(*symbology)), result.error));
    printMask(result.mask, areaStart() + justifyOffset(printSettings.justify, result.mask.width));
}

void Renderer::qrCommand(const QByteArray &body, uint64_t length, bool cut)
{
    const QrBlock qr = parseQrBlock(body);
    if (!qr.wellFormed) {
        note(QStringLiteral("malformed QR command (length %1); ignored").arg(length));
        return;
    }
    const int m = qr.parameter;
    switch (qr.function) {
    case static_cast<int>(QrFunction::ModuleSize):
        if (m >= 1 && m <= 16)
            printSettings.qrModule = m;
        else
            note(QStringLiteral("QR module size %1 outside 1..16; unchanged").arg(m));
        break;
    case static_cast<int>(QrFunction::ErrorCorrection):
        if (const std::optional<QrLevel> level = qrLevelFor(m))
            printSettings.qrLevel = *level;
        else
            note(QStringLiteral("QR error correction %1 unknown; unchanged").arg(m));
        break;
    case static_cast<int>(QrFunction::Store):
        if (m != 0x30) {
            note(QStringLiteral("QR store with m = 0x%1 (expected 0x30); ignored").arg(m, 2, 16, QLatin1Char('0')));
            break;
        }
        printSettings.qrData = body.mid(3);
        if (cut)
            note(QStringLiteral("QR data longer than %1 bytes; the rest was dropped").arg(maxQrData));
        break;
    case static_cast<int>(QrFunction::Print): {
        flushLine();
        const SymbolResult result = renderQrCode(printSettings.qrData, printSettings.qrModule, printSettings.qrLevel, areaEnd() - areaStart());
        if (result.mask.width == 0) {
            note(QStringLiteral("QR code not printed: %1").arg(result.error));
            break;
        }
        if (result.moduleWidth != printSettings.qrModule)
            note(QStringLiteral("QR code too wide at module size %1; printed at %2").arg(printSettings.qrModule).arg(result.moduleWidth));
        printMask(result.mask, areaStart() + justifyOffset(printSettings.justify, result.mask.width));
        break;
    }
    default:
        note(QStringLiteral("QR function 0x%1 is not supported; ignored").arg(qr.function, 2, 16, QLatin1Char('0')));
        break;
    }
}

void Renderer::printPicture(int location, int mode)
{
    auto found = pictures.find(location);
    if (found == pictures.end()) {
        note(QStringLiteral("no picture stored at location %1").arg(location));
        return;
    }
    flushLine();
    const StoredPicture &p = found->second;
    const int sx = hasFlag(mode, PictureMode::DoubleWidth) ? 2 : 1;
    const int sy = hasFlag(mode, PictureMode::DoubleHeight) ? 2 : 1;
    const Justification align = justificationFor(p.align).value_or(Justification::Left);
    const int x0 = areaStart() + justifyOffset(align, p.widthBytes * 8 * sx);
    for (int r = 0; r < p.rows; ++r)
        emitRasterRow(p.data.data() + static_cast<size_t>(r) * p.widthBytes, p.widthBytes, x0, sx, sy);
}

} // namespace kvp
