#include "decoder/commands.h"

#include <algorithm>
#include <cstring>

namespace kvp {

namespace {
constexpr uint8_t ESC = 0x1B, GS = 0x1D, FS = 0x1C, DLE = 0x10;

struct FirstArg
{
    uint8_t min = 0, max = 255;
};

CommandShape one(uint8_t a, Cmd id, const char *name) { return {{a, 0, 0}, 1, id, name, 0, DataRule::None, 0, 0, 255}; }
CommandShape two(uint8_t a, uint8_t b, Cmd id, const char *name, uint8_t args = 0, DataRule data = DataRule::None,
                 uint8_t dataArg = 0, FirstArg first = {})
{
    return {{a, b, 0}, 2, id, name, args, data, dataArg, first.min, first.max};
}
CommandShape three(uint8_t a, uint8_t b, uint8_t c, Cmd id, const char *name, uint8_t args, DataRule data,
                   uint8_t dataArg)
{
    return {{a, b, c}, 3, id, name, args, data, dataArg, 0, 255};
}
// The controller's own commands.
std::vector<CommandShape> controllerCommands()
{
    return {
        one(0x0A, Cmd::LineFeed, "LF"),
        one(0x0D, Cmd::CarriageReturn, "CR"),
        one(0x09, Cmd::HorizontalTab, "HT"),
        two(ESC, 0x40, Cmd::Initialize, "initialize"),
        two(ESC, 0x21, Cmd::PrintMode, "print-mode", 1),
        two(ESC, 0x4D, Cmd::SelectFont, "font", 1),
        two(ESC, 0x6D, Cmd::Darkness, "darkness", 1, DataRule::None, 0, {0, 8}),
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
        // 1D 28 is shared: 1D 28 6B starts the 2D symbols, 1D 28 4C the graphics, 1D 28 c f with c in 0..6
        // sets the UART.
        two(GS, 0x28, Cmd::UartMode, "uart-mode", 2, DataRule::None, 0, {0, 6}),
        three(GS, 0x28, 0x6B, Cmd::QrCode, "qr", 2, DataRule::Length16, 0),
        two(ESC, 0x5A, Cmd::HeadType, "head-type", 1),
        three(GS, 0x76, 0x30, Cmd::Raster, "raster", 5, DataRule::WidthTimesHeight, 1),
        two(GS, 0x71, Cmd::StorePicture, "store-picture", 6, DataRule::WidthTimesHeight, 2),
        two(FS, 0x70, Cmd::PrintPicture, "print-picture", 2),
        two(GS, 0x68, Cmd::BarcodeHeight, "barcode-height", 1),
        two(GS, 0x77, Cmd::BarcodeWidth, "barcode-width", 1),
        two(GS, 0x48, Cmd::BarcodeText, "barcode-text", 1),
        two(GS, 0x6B, Cmd::Barcode, "barcode", 2, DataRule::CountByte, 1, {7, 255}),
        two(ESC, 0x69, Cmd::FullCut, "full-cut"),
        two(ESC, 0x6E, Cmd::PartialCut, "partial-cut"),
        two(GS, 0x06, Cmd::NextLabel, "next-label"),
    };
}

// The ESC/POS commands common encoders send. Where a prefix is the
// controller's too, the first argument (or its absence) tells them apart:
// 1B 6D without 0..8 after it is the partial cut, 10 04 n with n 1..4 the
// real-time status, 1D 6B m with m 0..6 a bar code whose data end at 00.
std::vector<CommandShape> escPosCommands()
{
    return {
        two(ESC, 0x6D, Cmd::StandardPartialCut, "partial-cut"),
        two(DLE, 0x04, Cmd::RealTimeStatus, "real-time-status", 1, DataRule::None, 0, {1, 4}),
        two(GS, 0x6B, Cmd::Barcode, "barcode", 1, DataRule::NulTerminated, 0, {0, 6}),
        three(GS, 0x28, 0x4C, Cmd::Graphics, "graphics", 2, DataRule::Length16, 0),
        three(GS, 0x38, 0x4C, Cmd::Graphics, "graphics", 4, DataRule::Length32, 0),
        two(FS, 0x71, Cmd::NvImages, "nv-images", 5, DataRule::NvImages, 1, {1, 255}),
        two(ESC, 0x2A, Cmd::ColumnImage, "column-image", 3, DataRule::Columns, 1),
        two(GS, 0x66, Cmd::BarcodeFont, "barcode-font", 1),
        two(GS, 0x56, Cmd::Cut, "cut", 1, DataRule::None, 0, {0, 1}),
        two(GS, 0x56, Cmd::Cut, "cut", 1, DataRule::None, 0, {0x30, 0x31}),
        two(GS, 0x56, Cmd::FeedAndCut, "feed-cut", 2, DataRule::None, 0, {0x41, 0x42}),
        two(GS, 0x56, Cmd::FeedAndCut, "feed-cut", 2, DataRule::None, 0, {0x61, 0x62}),
        two(GS, 0x56, Cmd::FeedAndCut, "feed-cut", 2, DataRule::None, 0, {0x67, 0x68}),
        two(GS, 0x49, Cmd::PrinterId, "printer-id", 1),
        two(ESC, 0x74, Cmd::CodePage, "code-page", 1),
        two(ESC, 0x45, Cmd::Emphasis, "emphasis", 1),
        two(ESC, 0x47, Cmd::DoubleStrike, "double-strike", 1),
        two(ESC, 0x2D, Cmd::Underline, "underline", 1),
        two(GS, 0x21, Cmd::CharacterSize, "character-size", 1),
        two(GS, 0x42, Cmd::ReverseMode, "reverse", 1),
        two(ESC, 0x7B, Cmd::UpsideDown, "upside-down", 1),
        two(ESC, 0x56, Cmd::Rotation, "rotation", 1),
        two(ESC, 0x20, Cmd::CharacterSpacing, "character-spacing", 1),
        two(ESC, 0x5C, Cmd::RelativePosition, "relative-position", 2),
        two(GS, 0x4C, Cmd::LeftMarginDots, "left-margin", 2),
        two(GS, 0x57, Cmd::PrintWidth, "print-width", 2),
        two(ESC, 0x70, Cmd::DrawerPulse, "drawer-pulse", 3),
        two(ESC, 0x3D, Cmd::SelectPeripheral, "select-peripheral", 1),
        two(GS, 0x72, Cmd::TransmitStatus, "transmit-status", 1),
        two(ESC, 0x34, Cmd::ItalicOn, "italic-on"),
        two(ESC, 0x35, Cmd::ItalicOff, "italic-off"),
    };
}

// The multi-byte family (1C): double-byte mode is the controller's own
// (1C 26, 1C 2E); these set how double-byte characters print.
std::vector<CommandShape> multiByteCommands()
{
    return {
        two(FS, 0x21, Cmd::DoubleBytePrintMode, "double-byte-print-mode", 1),
        two(FS, 0x2D, Cmd::DoubleByteUnderline, "double-byte-underline", 1),
        two(FS, 0x53, Cmd::DoubleByteSpacing, "double-byte-spacing", 2),
        two(FS, 0x57, Cmd::DoubleByteQuadruple, "double-byte-quadruple", 1),
        two(FS, 0x43, Cmd::CodeSystem, "code-system", 1),
        three(FS, 0x28, 0x41, Cmd::DoubleByteFont, "double-byte-font", 2, DataRule::Length16, 0),
        two(FS, 0x32, Cmd::DefineDoubleByte, "define-double-byte", 2, DataRule::Fixed, doubleByteGlyphBytes),
        two(FS, 0x3F, Cmd::CancelDoubleByte, "cancel-double-byte", 2),
    };
}

// Read by their exact length and logged by name; nothing to draw.
std::vector<CommandShape> notDrawnCommands()
{
    const Cmd n = Cmd::NotDrawn;
    return {
        one(0x07, n, "bell"),
        two(ESC, 0x52, n, "international-set", 1),
        two(ESC, 0x25, n, "user-characters", 1),
        two(ESC, 0x3F, n, "cancel-user-character", 1),
        two(ESC, 0x72, n, "print-colour", 1),
        two(ESC, 0x75, n, "peripheral-status", 1),
        two(ESC, 0x4C, n, "page-mode"),
        two(ESC, 0x53, n, "standard-mode"),
        two(ESC, 0x0C, n, "print-page"),
        two(ESC, 0x54, n, "page-direction", 1),
        two(ESC, 0x57, n, "page-area", 8),
        two(GS, 0x24, n, "page-vertical-position", 2),
        two(GS, 0x5C, n, "page-relative-vertical", 2),
        two(GS, 0x50, n, "motion-units", 2),
        two(GS, 0x62, n, "smoothing", 1),
        two(GS, 0x3A, n, "macro"),
        two(GS, 0x5E, n, "run-macro", 3),
        two(GS, 0x2F, n, "print-downloaded-image", 1),
        two(GS, 0x2A, n, "define-downloaded-image", 2, DataRule::Product8, 0),
        three(ESC, 0x63, 0x33, n, "paper-end-sensors", 1, DataRule::None, 0),
        three(ESC, 0x63, 0x34, n, "paper-stop-sensors", 1, DataRule::None, 0),
        three(ESC, 0x63, 0x35, n, "panel-buttons", 1, DataRule::None, 0),
        three(ESC, 0x28, 0x41, n, "beeper", 2, DataRule::Length16, 0),
        three(GS, 0x28, 0x41, n, "test-print", 2, DataRule::Length16, 0),
        three(GS, 0x28, 0x44, n, "real-time-enable", 2, DataRule::Length16, 0),
        three(GS, 0x28, 0x45, n, "user-setup", 2, DataRule::Length16, 0),
        three(GS, 0x28, 0x48, n, "process-id", 2, DataRule::Length16, 0),
        three(GS, 0x28, 0x4B, n, "print-control", 2, DataRule::Length16, 0),
        three(GS, 0x28, 0x4E, n, "character-effects", 2, DataRule::Length16, 0),
        three(FS, 0x28, 0x43, n, "double-byte-code-set", 2, DataRule::Length16, 0),
        three(FS, 0x28, 0x45, n, "receipt-enhancement", 2, DataRule::Length16, 0),
    };
}
} // namespace

const std::vector<CommandShape> &commandTable()
{
    static const std::vector<CommandShape> table = [] {
        std::vector<CommandShape> all = controllerCommands();
        for (const auto &more : {escPosCommands(), multiByteCommands(), notDrawnCommands()})
            all.insert(all.end(), more.begin(), more.end());
        return all;
    }();
    return table;
}

namespace {
bool samePrefix(const CommandShape &a, const CommandShape &b)
{
    return a.prefixLength == b.prefixLength && a.prefix == b.prefix;
}
} // namespace

const CommandShape *shapeForFirstArg(const CommandShape &matched, uint8_t firstArg)
{
    for (const CommandShape &s : commandTable())
        if (samePrefix(s, matched) && s.argCount > 0 && firstArg >= s.firstArgMin && firstArg <= s.firstArgMax)
            return &s;
    return nullptr;
}

const CommandShape *shapeWithoutArgs(const CommandShape &matched)
{
    for (const CommandShape &s : commandTable())
        if (samePrefix(s, matched) && s.argCount == 0)
            return &s;
    return nullptr;
}

bool takesArgs(const CommandShape &matched)
{
    return std::any_of(commandTable().begin(), commandTable().end(),
                       [&](const CommandShape &s) { return samePrefix(s, matched) && s.argCount > 0; });
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

std::optional<Justification> justificationFor(int arg)
{
    const int digit = digitOf(arg);
    if (digit > 2)
        return std::nullopt;
    return static_cast<Justification>(digit);
}

std::optional<Font> fontFor(int arg)
{
    const int digit = digitOf(arg);
    if (digit == 1)
        return Font::Small;
    if (digit == 0 || digit == 2)
        return Font::Standard;
    return std::nullopt;
}

std::optional<Symbology> symbologyFor(int arg)
{
    if (arg >= 0 && arg <= 6) // the form whose data end at 00 counts from 0
        return static_cast<Symbology>(arg);
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
    const int family = block.isEmpty() ? -1 : static_cast<uint8_t>(block[0]);
    if (family != qrFamilyByte && family != pdf417FamilyByte)
        return qr;
    qr.family = family;
    if (block.size() >= 2)
        qr.function = static_cast<uint8_t>(block[1]);
    if (block.size() >= 3) {
        qr.wellFormed = true;
        qr.parameter = static_cast<uint8_t>(block[2]);
    }
    return qr;
}

const char *symbolFunctionName(int family, int function)
{
    struct Name
    {
        uint8_t family, function;
        const char *name;
    };
    static constexpr Name names[] = {
        {qrFamilyByte, 0x41, "qr-model"},
        {qrFamilyByte, 0x43, "qr-module-size"},
        {qrFamilyByte, 0x45, "qr-error-correction"},
        {qrFamilyByte, 0x50, "qr-store"},
        {qrFamilyByte, 0x51, "qr-print"},
        {pdf417FamilyByte, 0x41, "pdf417-columns"},
        {pdf417FamilyByte, 0x42, "pdf417-rows"},
        {pdf417FamilyByte, 0x43, "pdf417-module-width"},
        {pdf417FamilyByte, 0x44, "pdf417-row-height"},
        {pdf417FamilyByte, 0x45, "pdf417-error-correction"},
        {pdf417FamilyByte, 0x46, "pdf417-options"},
        {pdf417FamilyByte, 0x50, "pdf417-store"},
        {pdf417FamilyByte, 0x51, "pdf417-print"},
    };
    for (const Name &n : names)
        if (n.family == family && n.function == function)
            return n.name;
    return nullptr;
}

std::optional<QrLevel> qrLevelFor(int arg)
{
    const int digit = digitOf(arg);
    if (digit > 3)
        return std::nullopt;
    return static_cast<QrLevel>(digit);
}

} // namespace kvp
