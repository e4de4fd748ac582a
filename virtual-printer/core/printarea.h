#pragma once
// What the parts of the renderer share: the paper, the print settings that
// 1B 40 resets, the printable area between the margins with justification
// inside it, and the log for notes on what the controller did.

#include "decoder/commandlog.h"
#include "decoder/commands.h"
#include "paper.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace kvp {

constexpr int defaultLineSpacing = 33;

struct PrintSettings
{
    int printMode = 0; // 1B 21 n as sent
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

    // The text styles of ESC/POS encoders, on top of the print mode.
    bool emphasis = false;     // 1B 45
    bool doubleStrike = false; // 1B 47
    int underline = 0;         // 1B 2D: dots thick, 0..2
    int widthScale = 1;        // 1D 21: 1..8
    int heightScale = 1;
    bool reverse = false;    // 1D 42
    bool upsideDown = false; // 1B 7B: the line turned by 180 degrees
    bool rotated = false;    // 1B 56: each character turned by 90 degrees clockwise
    int charSpacing = 0;     // 1B 20: dots right of each character, times its width scale
    int printWidth = 0;      // 1D 57: dots from the left margin; 0 to the right margin
    int barcodeFont = 0;     // 1D 66: kept; the text line under bar codes has one font
    bool italic = false;     // 1B 34, 1B 35

    // Double-byte characters (the 1C family), on top of the above.
    int doubleByteMode = 0;      // 1C 21: bit 2 double width, bit 3 double height, bit 7 underline
    int doubleByteUnderline = 0; // 1C 2D: dots thick, 0..2
    int doubleByteLeft = 0;      // 1C 53: dots left and right of each character
    int doubleByteRight = 0;
    bool doubleByteQuadruple = false; // 1C 57

    // PDF417 (1D 28 6B 30 ...): 0 lets the symbol choose.
    int pdfColumns = 0;
    int pdfRows = 0;
    int pdfModule = 3;
    int pdfRowHeight = 3;
    int pdfLevel = -1;
    QByteArray pdfData;
};

struct PrintArea
{
    PrintArea(Paper &paperRoll, LogSink *logSink);

    // First dot inside the left margin, and one past the last dot inside the right one.
    int start() const;
    int end() const;
    // Where, from start(), something `usedWidth` dots wide goes.
    int justifyOffset(Justification justification, int usedWidth) const;
    void note(const QString &text) const;

    Paper &paper;
    LogSink *log;
    PrintSettings settings;
};

} // namespace kvp
