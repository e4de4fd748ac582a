#include "renderer.h"

#include <algorithm>

namespace kvp {

Renderer::Renderer(Paper &paperRoll, const FontSet &fontSet, LogSink *logSink)
    : area(paperRoll, logSink)
    , text(area, fontSet)
    , pictures(area, text)
    , symbols(area, text)
    , graphics(area, text, pictures)
{ }

void Renderer::initialize()
{
    area.settings = PrintSettings();
    clearLine();
}

void Renderer::character(const Character &ch) { text.character(ch); }

void Renderer::flushLine() { text.flushLine(); }

void Renderer::clearLine() { text.clearLine(); }

void Renderer::finishStream()
{
    flushLine();
    endPage(QStringLiteral("end of stream"));
}

void Renderer::endPage(const QString &reason) { area.paper.endPage(reason); }

void Renderer::cut(const QString &reason)
{
    flushLine();
    endPage(reason);
}

void Renderer::execute(const DecodedCommand &c)
{
    switch (c.id) {
    case Cmd::LineFeed: text.lineFeed(); break;
    case Cmd::CarriageReturn: text.flushLine(); break; // on an empty line it does nothing
    case Cmd::HorizontalTab: text.tab(); break;
    case Cmd::Initialize: initialize(); break;
    case Cmd::FeedDots: text.feedDots(c.args[0]); break;
    case Cmd::FeedLines: text.feedLines(c.args[0]); break;
    case Cmd::AbsolutePosition: text.absolutePosition(c.arg16(0)); break;
    case Cmd::PrintPicture: pictures.printStored(c.args[0], c.args[1]); break;
    case Cmd::FullCut: cut(QStringLiteral("full cut")); break;
    case Cmd::PartialCut: cut(QStringLiteral("partial cut")); break;
    case Cmd::NextLabel: cut(QStringLiteral("next label")); break;
    case Cmd::StandardPartialCut: cut(QStringLiteral("partial cut")); break;
    case Cmd::Cut:
    case Cmd::FeedAndCut: standardCut(c); break;
    case Cmd::RelativePosition: text.relativePosition(static_cast<int16_t>(c.arg16(0))); break;
    case Cmd::BarcodeHeight:
    case Cmd::BarcodeWidth:
    case Cmd::BarcodeText: applySymbolSetting(c); break;
    default:
        applyTextSetting(c);
        applyStyle(c);
        break;
    }
}

// 1D 56 m [n]: m 0, 30 full and 1, 31 partial; with n the paper first feeds
// n dots (the cut position of a real printer lies that far ahead).
void Renderer::standardCut(const DecodedCommand &c)
{
    // 0, 30 and 1, 31 without a feed; 41, 61, 67 and 42, 62, 68 after one.
    const bool partial = ((c.args[0] & 1) != 0) == (c.id == Cmd::Cut);
    if (c.id == Cmd::FeedAndCut) {
        text.flushLine();
        area.paper.feed(c.args[1]);
    }
    cut(partial ? QStringLiteral("partial cut") : QStringLiteral("full cut"));
}

// The text styles of ESC/POS encoders. Arguments count by their low bit
// (1B 45, 1B 47, 1D 42, 1B 7B) or as a number (1B 2D 0..2, 1B 56 0..1),
// also as ASCII digits where ESC/POS allows them.
void Renderer::applyStyle(const DecodedCommand &c)
{
    const int a = c.args[0];
    const int digit = a >= 0x30 && a <= 0x32 ? a - 0x30 : a;
    PrintSettings &s = area.settings;
    switch (c.id) {
    case Cmd::Emphasis: s.emphasis = a & 1; break;
    case Cmd::DoubleStrike: s.doubleStrike = a & 1; break;
    case Cmd::Underline: s.underline = std::min(digit, 2); break;
    case Cmd::CharacterSize:
        s.widthScale = std::min(8, (a >> 4) + 1);
        s.heightScale = std::min(8, (a & 0x0F) + 1);
        break;
    case Cmd::ReverseMode: s.reverse = a & 1; break;
    case Cmd::UpsideDown: s.upsideDown = a & 1; break;
    case Cmd::Rotation: s.rotated = digit == 1; break;
    case Cmd::CharacterSpacing: s.charSpacing = a; break;
    case Cmd::LeftMarginDots: s.leftMargin = c.arg16(0); break;
    case Cmd::PrintWidth: s.printWidth = c.arg16(0); break;
    case Cmd::BarcodeFont: s.barcodeFont = a; break;
    case Cmd::ItalicOn: s.italic = true; break;
    case Cmd::ItalicOff: s.italic = false; break;
    default: applyDoubleByteSetting(c); break;
    }
}

// The 1C family: how double-byte characters print; user-defined ones are
// drawn from their own dots.
void Renderer::applyDoubleByteSetting(const DecodedCommand &c)
{
    const int a = c.args[0];
    PrintSettings &s = area.settings;
    switch (c.id) {
    case Cmd::DoubleBytePrintMode: s.doubleByteMode = a; break;
    case Cmd::DoubleByteUnderline: s.doubleByteUnderline = std::min(digitOf(a), 2); break;
    case Cmd::DoubleByteSpacing:
        s.doubleByteLeft = a;
        s.doubleByteRight = c.args[1];
        break;
    case Cmd::DoubleByteQuadruple: s.doubleByteQuadruple = a & 1; break;
    case Cmd::CancelDoubleByte: text.glyphCache().undefine(userDoubleByteBase + (a << 8) + c.args[1]); break;
    default: break;
    }
}

void Renderer::applyTextSetting(const DecodedCommand &c)
{
    const int a = c.args[0];
    PrintSettings &s = area.settings;
    switch (c.id) {
    case Cmd::PrintMode: s.printMode = a; break;
    case Cmd::SelectFont:
        if (const std::optional<Font> font = fontFor(a))
            s.smallFont = *font == Font::Small;
        else
            area.note(QStringLiteral("font %1 does not exist; font unchanged").arg(a));
        break;
    case Cmd::Darkness:
        s.darkness = std::min(a, 8);
        if (a > 8)
            area.note(QStringLiteral("darkness %1 above 8; using 8").arg(a));
        break;
    case Cmd::Justify:
        if (const std::optional<Justification> justification = justificationFor(a))
            s.justify = *justification;
        else
            area.note(QStringLiteral("justification %1 out of range; unchanged").arg(a));
        break;
    case Cmd::LineSpacing: s.lineSpacing = a; break;
    case Cmd::LineSpacingDefault: s.lineSpacing = defaultLineSpacing; break;
    case Cmd::TabStops:
        s.customTabs = true;
        s.tabStops.assign(c.list.begin(), c.list.begin() + c.listCount);
        std::sort(s.tabStops.begin(), s.tabStops.end());
        break;
    case Cmd::LeftMargin: s.leftMargin = a; break;
    case Cmd::RightMargin: s.rightMargin = a; break;
    default: break;
    }
}

void Renderer::applySymbolSetting(const DecodedCommand &c)
{
    const int a = c.args[0];
    PrintSettings &s = area.settings;
    switch (c.id) {
    case Cmd::BarcodeHeight: s.barcodeHeight = std::max(1, a); break;
    case Cmd::BarcodeWidth:
        s.barcodeWidth = std::clamp(a, 1, 6);
        if (a < 1 || a > 6)
            area.note(QStringLiteral("bar code module width %1 outside 1..6; using %2").arg(a).arg(s.barcodeWidth));
        break;
    case Cmd::BarcodeText: s.barcodeText = a != 0 && a != 0x30; break;
    default: break;
    }
}

void Renderer::dataBegin(const DecodedCommand &c)
{
    switch (c.id) {
    case Cmd::Raster:
    case Cmd::StorePicture: pictures.begin(c); break;
    case Cmd::Barcode:
    case Cmd::QrCode: symbols.begin(); break;
    case Cmd::ColumnImage:
    case Cmd::Graphics:
    case Cmd::NvImages: graphics.begin(c); break;
    case Cmd::DefineDoubleByte: userGlyph.clear(); break;
    default: break;
    }
}

void Renderer::dataChunk(const DecodedCommand &c, const uint8_t *data, size_t size)
{
    switch (c.id) {
    case Cmd::Raster:
    case Cmd::StorePicture: pictures.chunk(data, size); break;
    case Cmd::Barcode:
    case Cmd::QrCode: symbols.chunk(data, size); break;
    case Cmd::ColumnImage:
    case Cmd::Graphics:
    case Cmd::NvImages: graphics.chunk(c, data, size); break;
    case Cmd::DefineDoubleByte: userGlyph.insert(userGlyph.end(), data, data + size); break;
    default: break;
    }
}

void Renderer::dataEnd(const DecodedCommand &c, uint64_t received, bool complete)
{
    switch (c.id) {
    case Cmd::Raster:
    case Cmd::StorePicture: pictures.end(); break;
    case Cmd::Barcode: symbols.endBarcode(c.args[0], complete); break;
    case Cmd::QrCode: symbols.endQr(received, complete); break;
    case Cmd::ColumnImage:
    case Cmd::Graphics:
    case Cmd::NvImages: graphics.end(c, complete); break;
    case Cmd::DefineDoubleByte:
        if (complete && !text.glyphCache().define(userDoubleByteBase + (c.args[0] << 8) + c.args[1], userGlyph.data()))
            area.note(QStringLiteral("%1 user-defined double-byte characters already; this one is ignored")
                          .arg(maxUserDoubleByte));
        break;
    default: break;
    }
}

} // namespace kvp
