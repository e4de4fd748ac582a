#pragma once
// The character generator: glyph outlines from font files loaded explicitly
// (so that the result does not depend on the desktop's font configuration),
// drawn without anti-aliasing into character cells.

#include "inkmask.h"

#include <QRawFont>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <vector>

namespace kvp {

class FontSet
{
public:
    // DejaVu Sans Mono, DejaVu Sans and WenQuanYi Zen Hei from their Debian packages.
    static QStringList defaultFiles();
    explicit FontSet(const QStringList &files = defaultFiles());

    // One shared instance for the whole process (fonts are loaded once).
    static FontSet &shared();

    QStringList missingFiles() const { return missing; }

    // Draws the character into a cell; wide characters prefer the CJK font.
    // A character no font has is drawn as its compatibility form where a
    // font has that (the full-width form of a half-width katakana, squeezed
    // into the cell), otherwise as an empty box.
    InkMask render(char32_t code, int cellWidth, int cellHeight, bool wide) const;
    // True if render draws the character, not a box.
    bool covers(char32_t code) const { return faceFor(drawable(code), false) != nullptr; }

private:
    struct Face
    {
        QRawFont font;
        bool cjk = false;
    };
    const Face *faceFor(char32_t code, bool wide) const;
    char32_t drawable(char32_t code) const;

    std::vector<Face> faces;
    QStringList missing;
};

} // namespace kvp
