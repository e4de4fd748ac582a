#pragma once
// The controller's command set as a table: prefix bytes, a short name, the
// number of fixed argument bytes and the rule that gives the length of the
// data block that follows (if any). The decoder is driven by this table.
// Below it, what the arguments mean wherever the decoder, the log and the
// renderer all need it: print-mode and picture-mode bits, justification,
// fonts, bar code symbologies and the QR functions.

#include <QByteArray>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
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
    // The commands that common ESC/POS encoders send beside the controller's own.
    RealTimeStatus,
    PrinterId,
    CodePage,
    Emphasis,
    DoubleStrike,
    Underline,
    CharacterSize,
    ReverseMode,
    UpsideDown,
    Rotation,
    CharacterSpacing,
    RelativePosition,
    LeftMarginDots,
    PrintWidth,
    Cut,
    FeedAndCut,
    StandardPartialCut,
    BarcodeFont,
    ColumnImage,
    Graphics,
    DrawerPulse,
    SelectPeripheral,
    NvImages,
    TransmitStatus,
    ItalicOn,
    ItalicOff,
    // The multi-byte (1C) family: settings for double-byte characters.
    DoubleBytePrintMode,
    DoubleByteUnderline,
    DoubleByteSpacing,
    DoubleByteQuadruple,
    CodeSystem,
    DoubleByteFont,
    DefineDoubleByte,
    CancelDoubleByte,
    // Commands the printer reads by their exact length and logs by name but
    // draws nothing for (page mode, macros, sensors, user set-up, ...).
    NotDrawn,
};

enum class DataRule : uint8_t {
    None,
    WidthTimesHeight, // 16-bit width (bytes) and 16-bit height (rows), low byte first, at args[dataArg]
    CountByte,        // args[dataArg] bytes follow
    Length16,         // args[dataArg] + 256 * args[dataArg + 1] bytes follow
    NulList,          // bytes up to a terminating 00, at most maxTabStops of them
    NulTerminated,    // data up to a terminating 00 (not counted in the data), at most maxNulData bytes
    Length32,         // args[dataArg..dataArg + 3], low byte first, bytes follow
    Columns,          // args[dataArg] + 256 * args[dataArg + 1] columns of 1 byte, or 3 when args[0] bit 5 is set
    NvImages,         // args[0] pictures, each 16-bit x and y at args[dataArg] and x * y * 8 bytes
    Fixed,            // dataArg bytes follow
    Product8,         // args[dataArg] * args[dataArg + 1] * 8 bytes follow
};

constexpr int maxArgs = 8;
// A user-defined double-byte character (1C 32 c1 c2): 24 columns of 24 dots,
// three bytes a column, the top dot in bit 7 of the first.
constexpr int doubleByteGlyphBytes = 72;
// The code points user-defined double-byte characters print as: this base
// plus c1 * 256 + c2.
constexpr char32_t userDoubleByteBase = 0xF0000;
// At most this many are kept at a time; further definitions are ignored.
constexpr size_t maxUserDoubleByte = 1024;
constexpr int maxTabStops = 32;
constexpr int maxNulData = 255;

struct CommandShape
{
    std::array<uint8_t, 3> prefix;
    uint8_t prefixLength;
    Cmd id;
    const char *name;
    uint8_t argCount;
    DataRule data;
    uint8_t dataArg;
    // The first arguments this shape takes. Shapes may share a prefix and
    // split the first argument between them; a shape without arguments on the
    // same prefix is taken when the byte after the prefix fits none of them.
    uint8_t firstArgMin;
    uint8_t firstArgMax;
};

const std::vector<CommandShape> &commandTable();

// True for a byte that starts a command (a single-byte command or a prefix).
bool startsCommand(uint8_t byte);

struct PrefixMatch
{
    const CommandShape *exact = nullptr; // the command whose prefix is exactly these bytes
    bool longer = false;                 // some longer prefix starts with these bytes
};
PrefixMatch matchPrefix(const uint8_t *bytes, int length);
// Among the shapes with the prefix of `matched`: the one with arguments that
// takes `firstArg`, and the one without arguments (nullptr if none).
const CommandShape *shapeForFirstArg(const CommandShape &matched, uint8_t firstArg);
const CommandShape *shapeWithoutArgs(const CommandShape &matched);
bool takesArgs(const CommandShape &matched); // some shape with its prefix has arguments

// One decoded command with its arguments, as handed to the printer.
struct DecodedCommand
{
    Cmd id = Cmd::LineFeed;
    std::array<uint8_t, maxArgs> args{};
    uint8_t argCount = 0;
    uint64_t dataLength = 0; // announced length of the data block
    std::array<uint8_t, maxTabStops> list{};
    uint8_t listCount = 0;
    uint8_t pictureIndex = 0; // the picture of 1C 71 being read; from 1 on, only its header bytes are in the stream

    int arg16(int index) const { return args[index] | (args[index + 1] << 8); }
};

// True if `bits` (an argument byte or the status byte) has `flag` set.
template<typename Flag>
constexpr bool hasFlag(int bits, Flag flag)
{
    return (bits & static_cast<int>(flag)) != 0;
}

// The bits of 1B 21 n; bits 0 and 2 change nothing.
enum class PrintMode : uint8_t {
    Italic = 0x02,
    Bold = 0x08,
    DoubleHeight = 0x10,
    DoubleWidth = 0x20,
    Reverse = 0x40,
    Underline = 0x80,
};
constexpr int printModeBits = 0xFA; // all of PrintMode

// The bits of m in 1D 76 30 m (raster) and 1C 70 n m (stored picture).
enum class PictureMode : uint8_t {
    DoubleWidth = 0x01,
    DoubleHeight = 0x02,
};

// 1B 61 n and the alignment of a stored picture (1D 71): 0 or 30 left,
// 1 or 31 centre, 2 or 32 right; nothing for any other value.
enum class Justification : uint8_t { Left, Centre, Right };
std::optional<Justification> justificationFor(int arg);

// The number an ESC/POS selector takes as a number or as its ASCII digit
// (30, 31, 32 ... for 0, 1, 2 ...).
constexpr int digitOf(int arg) { return arg >= 0x30 && arg <= 0x39 ? arg - 0x30 : arg; }

// 1B 4D n: 1 (or 31) is the small font, 0 and 2 (30, 32) the standard one;
// nothing for any other value.
enum class Font : uint8_t { Standard, Small };
std::optional<Font> fontFor(int arg);

// 1D 6B m: symbology 41 + n, or n alone in the form whose data ends at 00.
enum class Symbology : uint8_t { UpcA, UpcE, Ean13, Ean8, Code39, Itf, Codabar, Code93, Code128 };
std::optional<Symbology> symbologyFor(int arg);
const char *symbologyName(Symbology symbology);

// The 2D symbol families (1D 28 6B): the data block starts with the family
// byte (31 QR, 30 PDF417), a function byte and the function's parameter;
// Store carries the data after those three.
constexpr uint8_t qrFamilyByte = 0x31;
constexpr uint8_t pdf417FamilyByte = 0x30;
enum class QrFunction : uint8_t {
    Model = 0x41,
    ModuleSize = 0x43,
    ErrorCorrection = 0x45,
    Store = 0x50,
    Print = 0x51,
};
enum class Pdf417Function : uint8_t {
    Columns = 0x41,
    Rows = 0x42,
    ModuleWidth = 0x43,
    RowHeight = 0x44,
    ErrorCorrection = 0x45,
    Options = 0x46,
    Store = 0x50,
    Print = 0x51,
};
struct QrBlock
{
    int family = -1;         // qrFamilyByte or pdf417FamilyByte
    int function = -1;       // the function byte; -1 if the block does not start with a family and a function byte
    bool wellFormed = false; // 31, the function byte and its parameter are all there
    int parameter = 0;       // the parameter byte, when well formed
};
QrBlock parseQrBlock(const QByteArray &block);
// The log name of a function of a 2D family, or nullptr if there is no such function.
const char *symbolFunctionName(int family, int function);

// QR error correction, 31 45 n: 0..3 or 30..33.
enum class QrLevel { L = 0, M = 1, Q = 2, H = 3 };
std::optional<QrLevel> qrLevelFor(int arg);

} // namespace kvp
