#pragma once
// Puts what the controller is told to print onto the paper: text lines with
// their print modes, raster and stored pictures, bar codes and QR codes,
// feeds and page ends. It keeps the print settings that 1B 40 resets.

#include "commandlog.h"
#include "commands.h"
#include "fontset.h"
#include "inkmask.h"
#include "paper.h"
#include "symbols.h"
#include "textcodec.h"

#include <QByteArray>

#include <array>
#include <map>
#include <memory>
#include <unordered_map>
#include <vector>

namespace kvp {

// Character cells in dots. The standard cell is 11 dots wide so that a line
// of 33 characters fits the 384-dot head.
struct CellSize {
    int width;
    int height;
};
constexpr CellSize standardCell{11, 24};
constexpr CellSize smallCell{8, 16};
constexpr int defaultLineSpacing = 33;
constexpr int tabUnit = 8; // tab stops count in units of 8 dots (1 mm)

// Grey level of text ink for darkness 0..8 (0 is the default, full black).
int inkForDarkness(int darkness);

struct PrintSettings {
    int printMode = 0;
    bool smallFont = false;
    int darkness = 0;
    Justification justify = Justification::Left;
    int lineSpacing = defaultLineSpacing;
    int leftMargin = 0;
    int rightMargin = 0;
    bool customTabs = false;
    std::vector<int> tabStops; // in tab units
    int barcodeHeight = 80;
    int barcodeWidth = 3;
    bool barcodeText = true;
    int qrModule = 4;
    QrLevel qrLevel = QrLevel::M;
    QByteArray qrData;
};

class Renderer {
public:
    Renderer(Paper &paperRoll, const FontSet &fontSet, LogSink *logSink);

    void initialize(); // 1B 40
    void execute(const DecodedCommand &command);
    void character(const Character &ch);
    void dataBegin(const DecodedCommand &command);
    void dataChunk(const DecodedCommand &command, const uint8_t *data, size_t size);
    void dataEnd(const DecodedCommand &command, uint64_t received, bool complete);

    // Prints a pending line as a line feed would.
    void flushLine();
    void clearLine();
    bool lineHasContent() const { return !line.empty(); }
    // End of the stream: the pending line is printed and the page ends.
    void finishStream();
    void endPage(const QString &reason);

    const PrintSettings &settings() const { return printSettings; }

    static constexpr int maxQrData = 7089;
    static constexpr int maxPictureRows = 4096;
    static constexpr size_t pictureMemory = size_t(2) * 1024 * 1024;

private:
    struct Tile {
        int width = 0;
        int height = 0;
        std::vector<uint8_t> grey;
        bool ink = false;
    };
    struct Placed {
        int x;
        std::shared_ptr<const Tile> tile;
    };
    struct StoredPicture {
        int widthBytes = 0; // bytes kept per row
        int rows = 0;
        int align = 0;
        std::vector<uint8_t> data;
    };
    struct RasterJob {
        int widthBytes = 0;   // bytes per row in the stream
        int keptBytes = 0;    // bytes per row that reach the paper
        int scaleX = 1;
        int scaleY = 1;
        int x0 = 0;
        int rowPos = 0;
        std::vector<uint8_t> row;
        bool toStore = false;
        int storeLocation = 0;
        bool storeRefused = false;
        StoredPicture stored;
    };

    int areaStart() const;
    int areaEnd() const;
    int cursor() const;
    int justifyOffset(Justification justification, int usedWidth) const;
    std::shared_ptr<const Tile> tileFor(const Character &ch);
    void printLine(int advance);
    int lineHeight() const;
    void printMask(const InkMask &mask, int x0);
    void emitRasterRow(const uint8_t *row, int keptBytes, int x0, int scaleX, int scaleY);
    void printBarcode(int symbologyByte, const QByteArray &data);
    void qrCommand(const QByteArray &body, uint64_t length, bool cut);
    void printPicture(int location, int mode);
    void note(const QString &text);

    Paper &paper;
    const FontSet &fonts;
    LogSink *log;
    PrintSettings printSettings;

    std::vector<Placed> line;
    int cursorX = 0;
    bool cursorSet = false;

    std::unordered_map<uint64_t, std::shared_ptr<const Tile>> tiles;

    RasterJob raster;
    QByteArray block; // bar code or QR data being received (bounded)
    bool blockCut = false;
    std::map<int, StoredPicture> pictures;
    size_t pictureBytes = 0;
};

} // namespace kvp
