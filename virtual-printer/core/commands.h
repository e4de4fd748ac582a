#pragma once
// The controller's command set as a table: prefix bytes, a short name, the
// number of fixed argument bytes and the rule that gives the length of the
// data block that follows (if any). The decoder is driven by this table.

#include <array>
#include <cstdint>
#include <vector>

namespace kvp {

enum class Cmd : std::uint8_t {
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

enum class DataRule : std::uint8_t {
    None,
    WidthTimesHeight, // 16-bit width (bytes) and 16-bit height (rows), low byte first, at args[dataArg]
    CountByte,        // args[dataArg] bytes follow
    Length16,         // args[dataArg] + 256 * args[dataArg + 1] bytes follow
    NulList,          // bytes up to a terminating 00, at most kMaxTabStops of them
};

constexpr int kMaxArgs = 6;
constexpr int kMaxTabStops = 32;

struct CommandShape {
    std::array<std::uint8_t, 3> prefix;
    std::uint8_t prefixLength;
    Cmd id;
    const char *name;
    std::uint8_t argCount;
    DataRule data;
    std::uint8_t dataArg;
    std::int16_t firstArgMax; // largest accepted first argument, -1 for any
};

const std::vector<CommandShape> &commandTable();
const CommandShape &commandShape(Cmd id);

// True for a byte that starts a command (a single-byte command or a prefix).
bool startsCommand(std::uint8_t byte);

struct PrefixMatch {
    const CommandShape *exact = nullptr; // the command whose prefix is exactly these bytes
    bool longer = false;                // some longer prefix starts with these bytes
};
PrefixMatch matchPrefix(const std::uint8_t *bytes, int length);

// One decoded command with its arguments, as handed to the printer.
struct Command {
    Cmd id = Cmd::LineFeed;
    std::array<std::uint8_t, kMaxArgs> args{};
    std::uint8_t argCount = 0;
    std::uint64_t dataLength = 0; // announced length of the data block
    std::array<std::uint8_t, kMaxTabStops> list{};
    std::uint8_t listCount = 0;

    int arg16(int index) const { return args[index] | (args[index + 1] << 8); }
};

} // namespace kvp
