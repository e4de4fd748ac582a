#include "decoder/controllerinfo.h"

namespace kvp {

const HeadType *headType(int index)
{
    static const HeadType types[headTypeCount] = {
        {0, "58mm FTP628MCL101", 384, "VX02x"},
        {1, "80mm FTP638MCL101", 576, "VX02x"},
        {2, "58mm Seiko LTP02-245-13", 384, "VX02x"},
        {3, "58mm Seiko LTP02-245-C1", 384, "VX02x"},
        {4, "58mm 384 dots with cutter", 384, "VX024B"},
        {5, "PT72EP 80mm 576 dots with cutter", 576, "VX024B"},
        {6, "58mm M23-DH-H69", 384, "VX02x"},
        {7, "58mm M23-SX", 384, "VX02x"},
        {8, "80mm Seiko LTPV345", 576, "VX025"},
        {9, "58mm PT486HLV", 384, "VX02x"},
        {10, "58mm JX2R39BQ label printer", 384, "VX024B"},
    };
    if (index < 0 || index >= headTypeCount)
        return nullptr;
    return &types[index];
}

QString flowModeName(FlowMode mode)
{
    switch (mode) {
    case FlowMode::None: return QStringLiteral("no flow control");
    case FlowMode::XonXoff: return QStringLiteral("XON/XOFF");
    case FlowMode::Hardware: return QStringLiteral("hardware flow control");
    }
    return QString();
}

std::optional<FlowMode> flowModeFor(int arg)
{
    if (arg < 0 || arg > static_cast<int>(FlowMode::Hardware))
        return std::nullopt;
    return static_cast<FlowMode>(arg);
}

int uartSpeed(int index)
{
    static const int speeds[uartSpeedCount] = {9600, 19200, 38400, 57600, 115200, 256000, 375000};
    return index >= 0 && index < uartSpeedCount ? speeds[index] : 0;
}

} // namespace kvp
