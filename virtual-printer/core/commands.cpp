#include "commands.h"

#include <cstring>

namespace kvp {

namespace {
constexpr uint8_t ESC = 0x1B, GS = 0x1D, FS = 0x1C, DLE = 0x10;

CommandShape one(uint8_t a, Cmd id, const char *name) { return {{a, 0, 0}, 1, id, name, 0, DataRule::None, 0, -1}; }
CommandShape two(uint8_t a, uint8_t b, Cmd id, const char *name, uint8_t args = 0, DataRule data = DataRule::None,
                 uint8_t dataArg = 0, int16_t firstArgMax = -1)
{
    return {{a, b, 0}, 2, id, name, args, data, dataArg, firstArgMax};
}
CommandShape three(uint8_t a, uint8_t b, uint8_t c, Cmd id, const char *name, uint8_t args, DataRule data,
                   uint8_t dataArg)
{
    return {{a, b, c}, 3, id, name, args, data, dataArg, -1};
}
} // namespace

const std::vector<CommandShape> &commandTable()
{
    static const std::vector<CommandShape> table = {
        one(0x0A, Cmd::LineFeed, "LF"),
        one(0x0D, Cmd::CarriageReturn, "CR"),
        one(0x09, Cmd::HorizontalTab, "HT"),
        two(ESC, 0x40, Cmd::Initialize, "initialize"),
        two(ESC, 0x21, Cmd::PrintMode, "print-mode", 1),
        two(ESC, 0x4D, Cmd::SelectFont, "font", 1),
        two(ESC, 0x6D, Cmd::Darkness, "darkness", 1),
        two(FS, 0x26, Cmd::DoubleByteOn, "double-byte-on"),
        two(FS, 0x2E, Cmd::DoubleByteOff, "double-byte-off"),
        two(ESC, 0x61, Cmd::Justify, "justify", 1),
        two(ESC, 0x33, Cmd::LineSpacing, "line-spacing", 1),
        two(ESC, 0x32, Cmd::LineSpacingDefault, "line-spacing-default"),
        two(ESC, 0x4A, Cmd::FeedDots, "feed-dots", 1),
        two(ESC, 0x64, Cmd::FeedLines, "feed-lines", 1),
        two(ESC, 0x44, Cmd::TabStops, "tab-stops", 0, DataRule::NulList),
        two(ESC, 0x24, Cmd::AbsolutePosition, "absolute-position", 2),
        two(ESC, 0x6C, Cmd::LeftMargin, "left-margin", 1),
        two(ESC, 0x51, Cmd::RightMargin, "right-margin", 1),
        two(DLE, 0x04, Cmd::StatusQuery, "status-query"),
        two(DLE, 0x05, Cmd::VersionQuery, "version-query"),
        two(DLE, 0x14, Cmd::ClearBuffer, "clear-buffer"),
        two(DLE, 0x16, Cmd::Sleep, "sleep"),
        two(GS, 0x61, Cmd::CallBack, "call-back", 1),
        // 1D 28 is shared: 1D 28 6B starts the QR family, 1D 28 c f with c in 0..6 sets the UART.
        two(GS, 0x28, Cmd::UartMode, "uart-mode", 2, DataRule::None, 0, 6),
        three(GS, 0x28, 0x6B, Cmd::QrCode, "qr", 2, DataRule::Length16, 0),
        two(ESC, 0x5A, Cmd::HeadType, "head-type", 1),
        three(GS, 0x76, 0x30, Cmd::Raster, "raster", 5, DataRule::WidthTimesHeight, 1),
        two(GS, 0x71, Cmd::StorePicture, "store-picture", 6, DataRule::WidthTimesHeight, 2),
        two(FS, 0x70, Cmd::PrintPicture, "print-picture", 2),
        two(GS, 0x68, Cmd::BarcodeHeight, "barcode-height", 1),
        two(GS, 0x77, Cmd::BarcodeWidth, "barcode-width", 1),
        two(GS, 0x48, Cmd::BarcodeText, "barcode-text", 1),
        two(GS, 0x6B, Cmd::Barcode, "barcode", 2, DataRule::CountByte, 1),
        two(ESC, 0x69, Cmd::FullCut, "full-cut"),
        two(ESC, 0x6E, Cmd::PartialCut, "partial-cut"),
        two(GS, 0x06, Cmd::NextLabel, "next-label"),
    };
    return table;
}

const CommandShape &commandShape(Cmd id)
{
    static const std::vector<const CommandShape *> byId = [] {
        std::vector<const CommandShape *> v(64, nullptr);
        for (const CommandShape &s : commandTable())
            v[static_cast<int>(s.id)] = &s;
        return v;
    }();
    return *byId[static_cast<int>(id)];
}

bool startsCommand(uint8_t byte)
{
    static const std::array<bool, 256> starts = [] {
        std::array<bool, 256> a{};
        for (const CommandShape &s : commandTable())
            a[s.prefix[0]] = true;
        return a;
    }();
    return starts[byte];
}

PrefixMatch matchPrefix(const uint8_t *bytes, int length)
{
    PrefixMatch m;
    for (const CommandShape &s : commandTable()) {
        if (s.prefixLength < length || std::memcmp(s.prefix.data(), bytes, length) != 0)
            continue;
        if (s.prefixLength == length)
            m.exact = &s;
        else
            m.longer = true;
    }
    return m;
}

namespace {
// The digit of 1B 61 n, 1B 4D n and 31 45 n, sent as a number or as its ASCII digit.
int digitOf(int arg) { return arg >= 0x30 ? arg - 0x30 : arg; }
} // namespace

std::optional<Justification> justificationFor(int arg)
{
    const int digit = digitOf(arg);
    if (digit > 2)
        return std::nullopt;
    return static_cast<Justification>(digit);
}

std::optional<Font> fontFor(int arg)
{
    if (arg == 1)
        return Font::Small;
    if (arg == 0 || arg == 2)
        return Font::Standard;
    return std::nullopt;
}

std::optional<Symbology> symbologyFor(int arg)
{
    const int index = arg - 0x41;
    if (index < 0 || index > static_cast<int>(Symbology::Code128))
        return std::nullopt;
    return static_cast<Symbology>(index);
}

const char *symbologyName(Symbology symbology)
{
    static const char *const names[] = {"UPC-A", "UPC-E",   "EAN-13",  "EAN-8",   "Code 39",
                                        "ITF",   "Codabar", "Code 93", "Code 128"};
    return names[static_cast<int>(symbology)];
}

QrBlock parseQrBlock(const QByteArray &block)
{
    QrBlock qr;
    if (block.isEmpty() || static_cast<uint8_t>(block[0]) != qrFamilyByte)
        return qr;
    if (block.size() >= 2)
        qr.function = static_cast<uint8_t>(block[1]);
    if (block.size() >= 3) {
        qr.wellFormed = true;
        qr.parameter = static_cast<uint8_t>(block[2]);
    }
    return qr;
}

const char *qrFunctionName(int function)
{
    switch (function) {
    case static_cast<int>(QrFunction::ModuleSize): return "qr-module-size";
    case static_cast<int>(QrFunction::ErrorCorrection): return "qr-error-correction";
    case static_cast<int>(QrFunction::Store): return "qr-store";
    case static_cast<int>(QrFunction::Print): return "qr-print";
    default: return nullptr;
    }
}

std::optional<QrLevel> qrLevelFor(int arg)
{
    const int digit = digitOf(arg);
    if (digit > 3)
        return std::nullopt;
    return static_cast<QrLevel>(digit);
}

} // namespace kvp
