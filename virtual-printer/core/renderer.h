#pragma once
// Puts what the controller is told to print onto the paper: text lines with
// their print modes (TextLayout), raster and stored pictures
// (PicturePrinter), bar codes and QR codes (SymbolPrinter), feeds and page
// ends. It keeps the print settings that 1B 40 resets. ESC/POS pictures go
// through GraphicsPrinter.

#include "decoder/commandlog.h"
#include "decoder/commands.h"
#include "decoder/textcodec.h"
#include "fontset.h"
#include "graphicsprinter.h"
#include "paper.h"
#include "pictureprinter.h"
#include "printarea.h"
#include "symbolprinter.h"
#include "textlayout.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kvp {

class Renderer
{
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
    bool lineHasContent() const { return text.lineHasContent(); }
    // End of the stream: the pending line is printed and the page ends.
    void finishStream();
    void endPage(const QString &reason);

    const PrintSettings &settings() const { return area.settings; }

private:
    void applyTextSetting(const DecodedCommand &command);
    void applySymbolSetting(const DecodedCommand &command);
    void applyStyle(const DecodedCommand &command);
    void applyDoubleByteSetting(const DecodedCommand &command);
    void standardCut(const DecodedCommand &command);
    void cut(const QString &reason);

    PrintArea area;
    TextLayout text;
    PicturePrinter pictures;
    SymbolPrinter symbols;
    GraphicsPrinter graphics;
    std::vector<uint8_t> userGlyph; // a 1C 32 character's dots as they arrive
};

} // namespace kvp
