#pragma once
// The line buffer: characters placed cell by cell from the cursor, wrapped
// when the next one does not fit, moved on by tabs and the absolute
// position, and printed, justified, by line feeds and paper feeds.

#include "decoder/textcodec.h"
#include "fontset.h"
#include "glyphcache.h"
#include "printarea.h"

#include <memory>
#include <vector>

namespace kvp {

constexpr int tabUnit = 8; // tab stops count in units of 8 dots (1 mm)

class TextLayout
{
public:
    TextLayout(PrintArea &printArea, const FontSet &fonts);

    void character(const Character &ch);
    GlyphCache &glyphCache() { return glyphs; }
    void lineFeed();                              // LF
    void tab();                                   // HT
    void place(std::shared_ptr<const Tile> tile); // a cell or a column image in the line
    void absolutePosition(int dots);              // 1B 24
    void relativePosition(int dots);              // 1B 5C
    void feedDots(int dots);                      // 1B 4A
    void feedLines(int lines);                    // 1B 64

    // Prints a pending line as a line feed would; nothing on an empty line.
    void flushLine();
    void clearLine();
    bool lineHasContent() const { return !line.empty(); }

private:
    struct Placed
    {
        int x;
        std::shared_ptr<const Tile> tile;
    };

    int cursor() const;
    void moveCursor(int x);
    int lineHeight() const;
    void printLine(int advance);
    void drawLine(int height);

    PrintArea &area;
    GlyphCache glyphs;
    std::vector<Placed> line;
    int cursorX = 0;
    bool cursorSet = false;
};

} // namespace kvp
