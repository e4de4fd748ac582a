#pragma once
// What the parts of the renderer share: the paper, the print settings that
// 1B 40 resets, the printable area between the margins with justification
// inside it, and the log for notes on what the controller did.

#include "commandlog.h"
#include "commands.h"
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
