#pragma once
// Raster pictures (1D 76 30), printed dot for dot as their rows stream in,
// and stored pictures (1D 71), kept in picture memory and printed by 1C 70.
// Rows wider than the paper are cut at its edge; nothing is allocated from
// the size a command announces.

#include "decoder/commands.h"
#include "printarea.h"
#include "textlayout.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace kvp {

class PicturePrinter
{
public:
    PicturePrinter(PrintArea &printArea, TextLayout &textLayout);

    // What a picture command announces.
    struct Header
    {
        int widthBytes = 0;
        int rows = 0;
        int scaleX = 1;
        int scaleY = 1;
        bool store = false;
        int location = 0;
        int align = 0; // stored pictures: as 1B 61 n; -1 follows the justification when printed
    };
    // 1D 76 30 and 1D 71: the header, the data as it arrives, the end.
    void begin(const DecodedCommand &command);
    void begin(const Header &header);
    void chunk(const uint8_t *data, size_t size);
    void end();
    // 1C 70 n m.
    void printStored(int location, int mode);
    bool hasStored(int location) const { return pictures.count(location) != 0; }
    void forget(int location);

    static constexpr int maxPictureRows = 4096;
    static constexpr size_t pictureMemory = size_t(2) * 1024 * 1024;

private:
    struct StoredPicture
    {
        int widthBytes = 0; // bytes kept per row
        int rows = 0;
        int align = 0;
        std::vector<uint8_t> data;
    };
    struct RasterJob
    {
        int widthBytes = 0; // bytes per row in the stream
        int keptBytes = 0;  // bytes per row that reach the paper
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

    void reserveStore(RasterJob &job, const Header &header);
    void rowComplete();
    void emitRow(const uint8_t *row, int keptBytes, int x0, int scaleX, int scaleY);

    PrintArea &area;
    TextLayout &text;
    RasterJob raster;
    std::map<int, StoredPicture> pictures;
    size_t pictureBytes = 0;
};

} // namespace kvp
