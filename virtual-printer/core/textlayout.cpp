#include "textlayout.h"

#include <algorithm>

namespace kvp {

TextLayout::TextLayout(PrintArea &printArea, const FontSet &fonts)
    : area(printArea)
    , glyphs(fonts)
{ }

int TextLayout::cursor() const { return cursorSet ? cursorX : area.start(); }

void TextLayout::moveCursor(int x)
{
    cursorX = x;
    cursorSet = true;
}

void TextLayout::character(const Character &ch) { place(glyphs.tileFor(ch, area.settings)); }

void TextLayout::place(std::shared_ptr<const Tile> tile)
{
    if (cursor() + tile->width > area.end() && !line.empty())
        printLine(std::max(lineHeight(), area.settings.lineSpacing)); // wrap
    const int x = cursor();
    const int width = tile->width;
    line.push_back({x, std::move(tile)});
    moveCursor(x + width);
}

void TextLayout::lineFeed() { printLine(std::max(lineHeight(), area.settings.lineSpacing)); }

void TextLayout::tab()
{
    const PrintSettings &s = area.settings;
    const int start = area.start();
    const int here = cursor();
    int target = -1;
    if (s.customTabs) {
        for (int stop : s.tabStops) {
            const int x = start + stop * tabUnit;
            if (x > here) {
                target = x;
                break;
            }
        }
    } else {
        target = start + ((here - start) / (8 * tabUnit) + 1) * 8 * tabUnit;
    }
    if (target > here && target < area.end())
        moveCursor(target);
}

void TextLayout::absolutePosition(int dots)
{
    const int x = area.start() + dots;
    if (x < area.end())
        moveCursor(x);
    else
        area.note(QStringLiteral("absolute position %1 is beyond the line; ignored").arg(dots));
}

void TextLayout::relativePosition(int dots)
{
    const int x = cursor() + dots;
    if (x >= area.start() && x < area.end())
        moveCursor(x);
    else
        area.note(QStringLiteral("relative position %1 leaves the line; ignored").arg(dots));
}

void TextLayout::feedDots(int dots)
{
    const int h = lineHeight();
    printLine(std::max(h, dots));
}

void TextLayout::feedLines(int lines)
{
    const int h = lineHeight();
    const int spacing = area.settings.lineSpacing;
    printLine(lines == 0 ? h : std::max(h, spacing) + (lines - 1) * spacing);
}

void TextLayout::flushLine()
{
    if (!line.empty() || cursorSet)
        printLine(std::max(lineHeight(), area.settings.lineSpacing));
}

void TextLayout::clearLine()
{
    line.clear();
    cursorSet = false;
}

int TextLayout::lineHeight() const
{
    int h = 0;
    for (const Placed &p : line)
        h = std::max(h, p.tile->height);
    return h;
}

void TextLayout::printLine(int advance)
{
    const int height = lineHeight();
    if (!line.empty())
        drawLine(height);
    area.paper.feed(advance - height);
    clearLine();
}

// The cells of the line, bottoms aligned, justified as a whole.
void TextLayout::drawLine(int height)
{
    int right = area.start();
    for (const Placed &p : line)
        right = std::max(right, p.x + p.tile->width);
    const int offset = area.justifyOffset(area.settings.justify, right - area.start());
    const int width = area.paper.width();
    uint8_t *rows = area.paper.addRows(height);
    // Upside down, the cells (already turned) go from right to left and hang from the top.
    const bool turned = area.settings.upsideDown;
    const int mirror = area.start() + area.end() - 1;
    bool ink = false;
    for (const Placed &p : line) {
        const Tile &t = *p.tile;
        const int top = turned ? 0 : height - t.height;
        const int left = turned ? mirror - (p.x + offset + t.width - 1) : p.x + offset;
        for (int y = 0; y < t.height; ++y) {
            uint8_t *dst = rows + static_cast<size_t>(top + y) * width;
            const uint8_t *src = t.grey.data() + static_cast<size_t>(y) * t.width;
            for (int x = 0; x < t.width; ++x) {
                const int px = left + x;
                if (px >= 0 && px < width)
                    dst[px] = std::min(dst[px], src[x]);
            }
        }
        ink = ink || t.ink;
    }
    if (ink)
        area.paper.markInk();
}

} // namespace kvp
