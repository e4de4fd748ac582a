#include "symbolprinter.h"

#include "symbols.h"

#include <algorithm>

namespace kvp {

namespace {
// Code 128 data of ESC/POS start with a code set, {A, {B or {C; {{ stands for
// {, and in code set C each byte is a pair of digits. What is encoded is the
// same whichever set zint chooses, so the selectors come out and the pairs
// become digits. Data without a selector are taken as they are.
QByteArray code128Payload(const QByteArray &data)
{
    if (data.size() < 2 || data[0] != '{' || data[1] < 'A' || data[1] > 'C')
        return data;
    QByteArray out;
    char set = 'B';
    for (int i = 0; i < data.size(); ++i) {
        if (data[i] == '{' && i + 1 < data.size()) {
            const char next = data[++i];
            if (next >= 'A' && next <= 'C')
                set = next;
            else if (next == '{')
                out += '{';
            continue; // {1..{4 (function codes) have no text
        }
        const auto byte = static_cast<uint8_t>(data[i]);
        if (set == 'C' && byte < 100)
            out += QByteArray::number(byte).rightJustified(2, '0');
        else
            out += data[i];
    }
    return out;
}
} // namespace

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
    request.data = *symbology == Symbology::Code128 ? code128Payload(data) : data;
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
    if (qr.family == pdf417FamilyByte) {
        pdf417Command(qr, body, cut);
        return;
    }
    const int m = qr.parameter;
    switch (qr.function) {
    case static_cast<int>(QrFunction::Model):
        if (m != 0x32)
            area.note(QStringLiteral("QR model %1: printed as model 2").arg(m));
        break;
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

void SymbolPrinter::pdf417Command(const QrBlock &qr, const QByteArray &body, bool cut)
{
    PrintSettings &s = area.settings;
    const int m = qr.parameter;
    switch (qr.function) {
    case static_cast<int>(Pdf417Function::Columns): s.pdfColumns = std::min(m, 30); break;
    case static_cast<int>(Pdf417Function::Rows): s.pdfRows = m == 0 ? 0 : std::clamp(m, 3, 90); break;
    case static_cast<int>(Pdf417Function::ModuleWidth): s.pdfModule = std::clamp(m, 1, 8); break;
    case static_cast<int>(Pdf417Function::RowHeight): s.pdfRowHeight = std::clamp(m, 1, 8); break;
    case static_cast<int>(Pdf417Function::ErrorCorrection): // 30 45 30 n: level n - 30; 30 45 31 n: by ratio
        s.pdfLevel = m == 0x30 && body.size() >= 4 ? std::clamp(static_cast<uint8_t>(body[3]) - 0x30, 0, 8) : -1;
        break;
    case static_cast<int>(Pdf417Function::Options): break;
    case static_cast<int>(Pdf417Function::Store):
        s.pdfData = body.mid(3);
        if (cut)
            area.note(QStringLiteral("PDF417 data longer than %1 bytes; the rest was dropped").arg(maxQrData));
        break;
    case static_cast<int>(Pdf417Function::Print): printPdf417(); break;
    default:
        area.note(
            QStringLiteral("PDF417 function 0x%1 is not supported; ignored").arg(qr.function, 2, 16, QLatin1Char('0')));
        break;
    }
}

void SymbolPrinter::printPdf417()
{
    text.flushLine();
    const PrintSettings &s = area.settings;
    Pdf417Request request;
    request.data = s.pdfData;
    request.columns = s.pdfColumns;
    request.rows = s.pdfRows;
    request.moduleWidth = s.pdfModule;
    request.rowHeight = s.pdfRowHeight;
    request.level = s.pdfLevel;
    request.maxWidth = area.end() - area.start();
    const SymbolResult result = renderPdf417(request);
    if (result.mask.width == 0) {
        area.note(QStringLiteral("PDF417 not printed: %1").arg(result.error));
        return;
    }
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
