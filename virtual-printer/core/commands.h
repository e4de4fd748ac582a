#pragma once
// The controller's command set as a table: prefix bytes, a short name, the
// number of fixed argument bytes and the rule that gives the length of the
// data block that follows (if any). The decoder is driven by this table.

#include <array>
#include <cstdint>
#include <vector>

namespace kvp {

enum class Cmd : uint8_t {
    LineFeed,
    CarriageReturn,
    HorizontalTab,
    Initialize,
    PrintMode,
    SelectFont,
    Darkness,
    DoubleByteOn,
    DoubleByteOff,
    Justify,
    LineSpacing,
    LineSpacingDefault,
    FeedDots,
    FeedLines,
    TabStops,
    AbsolutePosition,
    LeftMargin,
    RightMargin,
    StatusQuery,
    VersionQuery,
    ClearBuffer,
    CallBack,
    Sleep,
    UartMode,
    HeadType,
    Raster,
    StorePicture,
    PrintPicture,
    BarcodeHeight,
    BarcodeWidth,
    BarcodeText,
    Barcode,
    QrCode,
    FullCut,
    PartialCut,
    NextLabel,
};

enum class DataRule : uint8_t {
    None,
    WidthTimesHeight, // 16-bit width (bytes) and 16-bit height (rows), low byte first, at args[dataArg]
    CountByte,        // args[dataArg] bytes follow
    Length16,         // args[dataArg] + 256 * args[dataArg + 1] bytes follow
    NulList,          // bytes up to a terminating 00, at most maxTabStops of them
};

constexpr int maxArgs = 6;
constexpr int maxTabStops = 32;

struct CommandShape {
    std::array<uint8_t, 3> prefix;
    uint8_t prefixLength;
    Cmd id;
    const char *name;
    uint8_t argCount;
    DataRule data;
    uint8_t dataArg;
    int16_t firstArgMax; // largest accepted first argument, -1 for any
};

const std::vector<CommandShape> &commandTable();
const CommandShape &commandShape(Cmd id);

// True for a byte that starts a command (a single-byte command or a prefix).
bool startsCommand(uint8_t byte);

struct PrefixMatch {
    const CommandShape *exact = nullptr; // the command whose prefix is exactly these bytes
    bool longer = false;                // some longer prefix starts with these bytes
};
PrefixMatch matchPrefix(const uint8_t *bytes, int length);

// One decoded command with its arguments, as handed to the printer.
struct DecodedCommand {
    Cmd id = Cmd::LineFeed;
    std::array<uint8_t, maxArgs> args{};
    uint8_t argCount = 0;
    uint64_t dataLength = 0; // announced length of the data block
    std::array<uint8_t, maxTabStops> list{};
    uint8_t listCount = 0;

    int arg16(int index) const { return args[index] | (args[index + 1] << 8); }
};

} // namespace kvp
