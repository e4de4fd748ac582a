#include "decoder/commanddescription.h"

#include "decoder/controllerinfo.h"
#include "decoder/textcodec.h"

#include <QStringList>

namespace kvp {

namespace {
QString printModeText(int mode)
{
    static const struct
    {
        PrintMode flag;
        const char *name;
    } names[] = {
        {PrintMode::Italic, "italic"},
        {PrintMode::Bold, "bold"},
        {PrintMode::DoubleHeight, "double-height"},
        {PrintMode::DoubleWidth, "double-width"},
        {PrintMode::Reverse, "reverse"},
        {PrintMode::Underline, "underlined"},
    };
    QStringList parts;
    for (const auto &n : names)
        if (hasFlag(mode, n.flag))
            parts << QLatin1String(n.name);
    if (parts.isEmpty())
        parts << QStringLiteral("normal");
    return QStringLiteral("0x%1 %2").arg(mode, 2, 16, QLatin1Char('0')).arg(parts.join(QLatin1Char(' ')));
}

QString fontText(int arg)
{
    const std::optional<Font> font = fontFor(arg);
    if (!font)
        return QStringLiteral("%1 (unknown font)").arg(arg);
    return QStringLiteral("%1 %2").arg(arg).arg(*font == Font::Small ? QLatin1String("small")
                                                                     : QLatin1String("standard"));
}

QString justificationText(int arg)
{
    const std::optional<Justification> justification = justificationFor(arg);
    if (!justification)
        return QStringLiteral("%1 (out of range)").arg(arg);
    const char *const names[] = {"left", "centre", "right"};
    return QStringLiteral("%1 %2").arg(arg).arg(QLatin1String(names[static_cast<int>(*justification)]));
}

QString tabStopsText(const DecodedCommand &c)
{
    QStringList stops;
    for (int i = 0; i < c.listCount; ++i)
        stops << QString::number(c.list[i]);
    return stops.isEmpty() ? QStringLiteral("(none)") : stops.join(QLatin1Char(' '));
}

QString uartText(const DecodedCommand &c)
{
    const std::optional<FlowMode> flow = flowModeFor(c.args[1]);
    const QString flowText = flow ? flowModeName(*flow) : QStringLiteral("flow %1 (unknown)").arg(c.args[1]);
    return QStringLiteral("%1 bit/s, %2").arg(uartSpeed(c.args[0])).arg(flowText);
}

QString headTypeText(int arg)
{
    const HeadType *h = headType(arg);
    return h ? QStringLiteral("%1 (%2, %3 dots)").arg(arg).arg(QLatin1String(h->name)).arg(h->dots)
             : QStringLiteral("%1 (unknown head type)").arg(arg);
}

QString pictureText(const DecodedCommand &c)
{
    const auto &a = c.args;
    switch (c.id) {
    case Cmd::Raster:
        return QStringLiteral("mode %1, %2 bytes x %3 rows (%4 x %3 dots)")
            .arg(a[0])
            .arg(c.arg16(1))
            .arg(c.arg16(3))
            .arg(c.arg16(1) * 8);
    case Cmd::StorePicture:
        return QStringLiteral("location %1, align %2, %3 bytes x %4 rows")
            .arg(a[0])
            .arg(a[1])
            .arg(c.arg16(2))
            .arg(c.arg16(4));
    default: // Cmd::PrintPicture
        return QStringLiteral("location %1, mode %2").arg(a[0]).arg(a[1]);
    }
}

// Data bytes as text, with quotes, backslashes and bytes outside ASCII escaped.
QString quoted(const QByteArray &data)
{
    QString s;
    for (char c : data) {
        auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && u != '"' && u != '\\')
            s += QLatin1Char(c);
        else
            s += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
    }
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QString barcodeText(int symbologyArg, const QByteArray &data)
{
    const std::optional<Symbology> symbology = symbologyFor(symbologyArg);
    const QString name = symbology
        ? QLatin1String(symbologyName(*symbology))
        : QStringLiteral("symbology 0x%1 (unknown)").arg(symbologyArg, 2, 16, QLatin1Char('0'));
    return QStringLiteral("%1 %2").arg(name, quoted(data));
}

QString qrText(const DecodedCommand &c, const QByteArray &head)
{
    const int length = c.arg16(0);
    const QrBlock qr = parseQrBlock(head);
    if (!qr.wellFormed)
        return QStringLiteral("length %1 (malformed)").arg(length);
    const int m = qr.parameter;
    if (qr.family == pdf417FamilyByte && qr.function != static_cast<int>(Pdf417Function::Store)
        && qr.function != static_cast<int>(Pdf417Function::Print))
        return QStringLiteral("%1").arg(m);
    switch (qr.function) {
    case static_cast<int>(QrFunction::Model): return QStringLiteral("model %1").arg(m);
    case static_cast<int>(QrFunction::ModuleSize): return QStringLiteral("module size %1").arg(m);
    case static_cast<int>(QrFunction::ErrorCorrection): {
        const std::optional<QrLevel> level = qrLevelFor(m);
        return QStringLiteral("error correction %1 (%2)")
            .arg(m)
            .arg(level ? QLatin1Char("LMQH"[static_cast<int>(*level)]) : QLatin1Char('?'));
    }
    case static_cast<int>(QrFunction::Store):
        return QStringLiteral("store %1 bytes %2").arg(length >= 3 ? length - 3 : 0).arg(quoted(head.mid(3)));
    case static_cast<int>(QrFunction::Print): return QStringLiteral("print");
    default:
        return QStringLiteral("function 0x%1 (unknown), length %2")
            .arg(qr.function, 2, 16, QLatin1Char('0'))
            .arg(length);
    }
}
QString onOff(int arg)
{
    return QStringLiteral("%1 %2").arg(arg).arg(arg & 1 ? QStringLiteral("on") : QStringLiteral("off"));
}

QString codePageText(int page)
{
    const std::optional<TextCodec::CodePage> known = TextCodec::codePage(page);
    if (!known)
        return QStringLiteral("%1 (unknown; unchanged)").arg(page);
    if (known->drawnAs == page)
        return QStringLiteral("%1 (%2)").arg(page).arg(QLatin1String(known->name));
    return QStringLiteral("%1 (%2: no glyphs for it here; drawn as %3)")
        .arg(page)
        .arg(QLatin1String(known->name))
        .arg(QLatin1String(TextCodec::codePage(known->drawnAs)->name));
}

// A selector's argument with its meaning by number (or ASCII digit).
QString choice(int arg, std::initializer_list<const char *> names)
{
    const int digit = digitOf(arg);
    if (digit < 0 || digit >= static_cast<int>(names.size()))
        return QStringLiteral("%1 (out of range)").arg(arg);
    return QStringLiteral("%1 %2").arg(arg).arg(QLatin1String(names.begin()[digit]));
}

QString transmitStatusText(int arg)
{
    switch (digitOf(arg)) {
    case 1: return QStringLiteral("%1 paper sensors").arg(arg);
    case 2: return QStringLiteral("%1 drawer").arg(arg);
    case 4: return QStringLiteral("%1 ink").arg(arg);
    default: return QStringLiteral("%1 (unknown; no answer)").arg(arg);
    }
}

QString doubleByteText(const DecodedCommand &c, const QByteArray &head)
{
    const auto &a = c.args;
    switch (c.id) {
    case Cmd::DoubleBytePrintMode:
        return QStringLiteral("0x%1%2%3%4")
            .arg(a[0], 2, 16, QLatin1Char('0'))
            .arg(a[0] & 0x04 ? QStringLiteral(" double-width") : QString())
            .arg(a[0] & 0x08 ? QStringLiteral(" double-height") : QString())
            .arg(a[0] & 0x80 ? QStringLiteral(" underlined") : QString());
    case Cmd::DoubleByteUnderline: return choice(a[0], {"off", "1 dot", "2 dots"});
    case Cmd::DoubleByteSpacing: return QStringLiteral("%1 dots left, %2 dots right").arg(a[0]).arg(a[1]);
    case Cmd::DoubleByteQuadruple: return onOff(a[0]);
    case Cmd::CodeSystem: return choice(a[0], {"JIS", "Shift JIS"});
    case Cmd::DoubleByteFont:
        if (head.size() >= 2 && static_cast<uint8_t>(head[0]) == 0x30)
            return choice(static_cast<uint8_t>(head[1]), {"font A", "font B"});
        return QStringLiteral("function 0x%1 (kept)")
            .arg(head.isEmpty() ? 0 : uint8_t(head[0]), 2, 16, QLatin1Char('0'));
    case Cmd::DefineDoubleByte:
    case Cmd::CancelDoubleByte:
        return QStringLiteral("character %1 %2")
            .arg(QString::number(a[0], 16).toUpper(), QString::number(a[1], 16).toUpper());
    default: return QString();
    }
}

QString cutText(const DecodedCommand &c)
{
    const bool partial = ((c.args[0] & 1) != 0) == (c.id == Cmd::Cut);
    const QString kind = partial ? QStringLiteral("partial") : QStringLiteral("full");
    if (c.id == Cmd::Cut)
        return QStringLiteral("%1 %2").arg(c.args[0]).arg(kind);
    return QStringLiteral("%1 %2 after %3 dots").arg(c.args[0]).arg(kind).arg(c.args[1]);
}

QString graphicsText(const QByteArray &head)
{
    if (head.size() < 2)
        return QStringLiteral("(too short)");
    const int fn = static_cast<uint8_t>(head[1]);
    auto at16 = [&](int i) {
        return head.size() > i + 1 ? static_cast<uint8_t>(head[i]) | (static_cast<uint8_t>(head[i + 1]) << 8) : 0;
    };
    switch (fn) {
    case 0x70: return QStringLiteral("store %1 x %2 dots").arg(at16(6)).arg(at16(8));
    case 0x43:
    case 0x53: return QStringLiteral("define %1 x %2 dots").arg(at16(6)).arg(at16(8));
    case 0x02:
    case 0x32: return QStringLiteral("print");
    case 0x45:
    case 0x55: return QStringLiteral("print stored");
    default: return QStringLiteral("function 0x%1").arg(fn, 2, 16, QLatin1Char('0'));
    }
}

QString standardText(const DecodedCommand &c, const QByteArray &head)
{
    const auto &a = c.args;
    switch (c.id) {
    case Cmd::CodePage: return codePageText(a[0]);
    case Cmd::Emphasis:
    case Cmd::DoubleStrike:
    case Cmd::ReverseMode:
    case Cmd::UpsideDown: return onOff(a[0]);
    case Cmd::CharacterSize: return QStringLiteral("%1 x %2").arg((a[0] >> 4) + 1).arg((a[0] & 0x0F) + 1);
    case Cmd::CharacterSpacing: return QStringLiteral("%1 dots").arg(a[0]);
    case Cmd::RelativePosition: return QStringLiteral("%1 dots").arg(static_cast<int16_t>(c.arg16(0)));
    case Cmd::LeftMarginDots:
    case Cmd::PrintWidth: return QStringLiteral("%1 dots").arg(c.arg16(0));
    case Cmd::Cut:
    case Cmd::FeedAndCut: return cutText(c);
    case Cmd::ColumnImage:
        return QStringLiteral("mode %1, %2 columns of %3 dots").arg(a[0]).arg(c.arg16(1)).arg(a[0] & 0x20 ? 24 : 8);
    case Cmd::Graphics: return graphicsText(head);
    case Cmd::NvImages:
        return QStringLiteral("picture %1 of %2, %3 x %4 dots")
            .arg(c.pictureIndex + 1)
            .arg(a[0])
            .arg(c.arg16(1) * 8)
            .arg(c.arg16(3) * 8);
    case Cmd::DrawerPulse:
        return QStringLiteral("pin %1, %2 ms on, %3 ms off").arg(a[0] & 1 ? 5 : 2).arg(a[1] * 2).arg(a[2] * 2);
    case Cmd::Underline: return choice(a[0], {"off", "1 dot", "2 dots"});
    case Cmd::Rotation: return choice(a[0], {"off", "90 degrees"});
    case Cmd::BarcodeFont: return choice(a[0], {"standard", "small"});
    case Cmd::TransmitStatus: return transmitStatusText(a[0]);
    case Cmd::NotDrawn: return QStringLiteral("(nothing to draw)");
    case Cmd::RealTimeStatus:
    case Cmd::PrinterId:
    case Cmd::SelectPeripheral: return QString::number(a[0]);
    default: return doubleByteText(c, head);
    }
}
} // namespace

QString describeCommand(const DecodedCommand &c, const QByteArray &dataHead)
{
    const auto &a = c.args;
    switch (c.id) {
    case Cmd::PrintMode: return printModeText(a[0]);
    case Cmd::SelectFont: return fontText(a[0]);
    case Cmd::Darkness: return a[0] == 0 ? QStringLiteral("0 (default)") : QString::number(a[0]);
    case Cmd::Justify: return justificationText(a[0]);
    case Cmd::LineSpacing:
    case Cmd::FeedDots:
    case Cmd::LeftMargin:
    case Cmd::RightMargin:
    case Cmd::BarcodeHeight:
    case Cmd::BarcodeWidth: return QStringLiteral("%1 dots").arg(a[0]);
    case Cmd::FeedLines: return QStringLiteral("%1 lines").arg(a[0]);
    case Cmd::AbsolutePosition: return QStringLiteral("%1 dots").arg(c.arg16(0));
    case Cmd::TabStops: return tabStopsText(c);
    case Cmd::CallBack: return QString::number(a[0]);
    case Cmd::UartMode: return uartText(c);
    case Cmd::HeadType: return headTypeText(a[0]);
    case Cmd::Raster:
    case Cmd::StorePicture:
    case Cmd::PrintPicture: return pictureText(c);
    case Cmd::BarcodeText: return QStringLiteral("%1 %2").arg(a[0]).arg(digitOf(a[0]) ? "on" : "off");
    case Cmd::Barcode: return barcodeText(a[0], dataHead);
    case Cmd::QrCode: return qrText(c, dataHead);
    default: return standardText(c, dataHead);
    }
}

} // namespace kvp
