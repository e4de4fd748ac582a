#pragma once
// The pictures of ESC/POS encoders: column images (1B 2A), which take their
// place in the line like characters, and the graphics functions (1D 28 4C,
// 1D 38 4C) and NV pictures (1C 71, printed by 1C 70), whose raster data go to picture memory through PicturePrinter:
// the print buffer (store 70, print 32) and keyed pictures (define 43 or 53,
// print 45 or 55).

#include "decoder/commands.h"
#include "pictureprinter.h"
#include "printarea.h"
#include "textlayout.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace kvp {

class GraphicsPrinter
{
public:
    GraphicsPrinter(PrintArea &printArea, TextLayout &textLayout, PicturePrinter &pictureMemory);

    void begin(const DecodedCommand &command);
    void chunk(const DecodedCommand &command, const uint8_t *data, size_t size);
    void end(const DecodedCommand &command, bool complete);

private:
    void graphicsChunk(const uint8_t *data, size_t size);
    void graphicsHeaderComplete();
    void graphicsEnd();
    void columnImageEnd(const DecodedCommand &command);
    void storeNvImage(const DecodedCommand &command);

    PrintArea &area;
    TextLayout &text;
    PicturePrinter &pictures;

    QByteArray header;            // graphics: m, fn and the parameters before the data
    int headerSize = 2;           // how long the header of this function is
    bool storing = false;         // the data after the header go to picture memory
    std::map<int, int> modes;     // stored graphics: picture mode bits from their scale
    std::vector<uint8_t> columns; // column image data that reach the paper
};

} // namespace kvp
