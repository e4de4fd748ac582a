#include "symbolprinter.h"

#include "symbols.h"

#include <algorithm>

namespace kvp {

SymbolPrinter::SymbolPrinter(PrintArea &printArea, TextLayout &textLayout)
    : area(printArea)
    , text(textLayout)
{ }

void SymbolPrinter::begin()
{
    block.clear();
    blockCut = false;
}

void SymbolPrinter::chunk(const uint8_t *data, size_t size)
{
    const int cap = maxQrData + 3;
    const int room = cap - static_cast<int>(block.size());
    const int take = static_cast<int>(std::min<size_t>(size, static_cast<size_t>(std::max(0, room))));
    block.append(reinterpret_cast<const char *>(data), take);
    if (static_cast<size_t>(take) < size)
        blockCut = true;
}

void SymbolPrinter::endBarcode(int symbologyArg, bool complete)
{
    if (complete)
        printBarcode(symbologyArg, block);
    else
        area.note(QStringLiteral("bar code data cut short; nothing printed"));
    block.clear();
}

void SymbolPrinter::endQr(uint64_t received, bool complete)
{
    if (complete)
        qrCommand(block, received, blockCut);
    else
        area.note(QStringLiteral("QR command cut short; ignored"));
    block.clear();
}

void SymbolPrinter::printBarcode(int symbologyArg, const QByteArray &data)
{
    const std::optional<Symbology> symbology = symbologyFor(symbologyArg);
    if (!symbology) {
        area.note(QStringLiteral("bar code symbology 0x%1 is not supported; nothing printed")
                      .arg(symbologyArg, 2, 16, QLatin1Char('0')));
        return;
    }
    text.flushLine();
    const PrintSettings &s = area.settings;
    BarcodeRequest request;
    request.symbology = *symbology;
    request.data = data;
    request.height = s.barcodeHeight;
    request.moduleWidth = s.barcodeWidth;
    request.text = s.barcodeText;
    request.maxWidth = area.end() - area.start();
    const SymbolResult result = renderBarcode(request);
    const QLatin1String name(symbologyName(*symbology));
    if (result.mask.width == 0) {
        area.note(QStringLiteral("%1 not printed: %2").arg(name, result.error));
        return;
    }
    if (result.moduleWidth != s.barcodeWidth)
        area.note(QStringLiteral("%1 too wide at module width %2; printed at %3")
                      .arg(name)
                      .arg(s.barcodeWidth)
                      .arg(result.moduleWidth));
    if (!result.error.isEmpty())
        area.note(QStringLiteral("%1: %2").arg(name, result.error));
    printMask(result.mask);
}

void SymbolPrinter::qrCommand(const QByteArray &body, uint64_t length, bool cut)
{
    const QrBlock qr = parseQrBlock(body);
    if (!qr.wellFormed) {
        area.note(QStringLiteral("malformed QR command (length %1); ignored").arg(length));
        return;
    }
    const int m = qr.parameter;
    switch (qr.function) {
    case static_cast<int>(QrFunction::ModuleSize):
        if (m >= 1 && m <= 16)
            area.settings.qrModule = m;
        else
            area.note(QStringLiteral("QR module size %1 outside 1..16; unchanged").arg(m));
        break;
    case static_cast<int>(QrFunction::ErrorCorrection):
        if (const std::optional<QrLevel> level = qrLevelFor(m))
            area.settings.qrLevel = *level;
        else
            area.note(QStringLiteral("QR error correction %1 unknown; unchanged").arg(m));
        break;
    case static_cast<int>(QrFunction::Store): storeQrData(qr, body, cut); break;
    case static_cast<int>(QrFunction::Print): printQr(); break;
    default:
        area.note(
            QStringLiteral("QR function 0x%1 is not supported; ignored").arg(qr.function, 2, 16, QLatin1Char('0')));
        break;
    }
}

void SymbolPrinter::storeQrData(const QrBlock &qr, const QByteArray &body, bool cut)
{
    if (qr.parameter != 0x30) {
        area.note(QStringLiteral("QR store with m = 0x%1 (expected 0x30); ignored")
                      .arg(qr.parameter, 2, 16, QLatin1Char('0')));
        return;
    }
    area.settings.qrData = body.mid(3);
    if (cut)
        area.note(QStringLiteral("QR data longer than %1 bytes; the rest was dropped").arg(maxQrData));
}

void SymbolPrinter::printQr()
{
    text.flushLine();
    const PrintSettings &s = area.settings;
    const SymbolResult result = renderQrCode(s.qrData, s.qrModule, s.qrLevel, area.end() - area.start());
    if (result.mask.width == 0) {
        area.note(QStringLiteral("QR code not printed: %1").arg(result.error));
        return;
    }
    if (result.moduleWidth != s.qrModule)
        area.note(QStringLiteral("QR code too wide at module size %1; printed at %2")
                      .arg(s.qrModule)
                      .arg(result.moduleWidth));
    printMask(result.mask);
}

// The symbol below what is printed so far, justified like text. The paper
// hands out at most a page of rows at a time, so a symbol taller than a page
// goes on over the next one, band by band.
void SymbolPrinter::printMask(const InkMask &mask)
{
    const int x0 = area.start() + area.justifyOffset(area.settings.justify, mask.width);
    const int width = area.paper.width();
    for (int top = 0; top < mask.height;) {
        const int band = std::min(mask.height - top, area.paper.maxPageDots());
        uint8_t *dst = area.paper.addRows(band);
        bool ink = false;
        for (int y = 0; y < band; ++y)
            for (int x = 0; x < mask.width; ++x)
                if (mask.at(x, top + y)) {
                    const int px = x0 + x;
                    if (px >= 0 && px < width) {
                        dst[static_cast<size_t>(y) * width + px] = 0;
                        ink = true;
                    }
                }
        if (ink)
            area.paper.markInk();
        top += band;
    }
}

} // namespace kvp
