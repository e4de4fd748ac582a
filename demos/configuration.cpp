// The controller's configuration: its print head type and its UART.

#include "demos/demos.h"

namespace demos {

using namespace printer;

namespace {

// The controller keeps the head type in its flash; the message names the
// controller model the head needs.
constexpr char flashVX02x[] = "Updating VX02x controller flash...";
constexpr char flashVX024B[] = "Updating VX024B controller flash...";
constexpr char flashVX025[] = "Updating VX025 controller flash...";

struct PrintHead
{
    uint8_t index;
    const char *description;
    const char *flashMessage;
    int dots; // a line
};

const PrintHead printHeads[printHeadCount] = {
    {0, "Setting Print Head to Type: 0 - 58mm FTP628MCL101 or compatible", flashVX02x, 384},
    {1, "Setting Print Head to Type: 1 - 80mm FTP638MCL101 or compatible", flashVX02x, 576},
    {2, "Setting Print Head to Type: 2 - 58mm Seiko LTP02-245-13 or compatible", flashVX02x, 384},
    {3, "Setting Print Head to Type: 3 - 58mm Seiko LTP02-245-C1 or compatible", flashVX02x, 384},
    {4, "Setting Print Head to Type: 4 - 58mm 384 dots with cutter 7.2V/24V", flashVX024B, 384},
    {5, "Setting Print Head to Type: 5 - PT72EP 80mm 576 dots with cutter 7.2V/24V", flashVX024B, 576},
    {6, "Setting Print Head to Type: 6 - 58mm M23-DH-H69 or compatible", flashVX02x, 384},
    {7, "Setting Print Head to Type: 7 - 58mm M23-SX or compatible", flashVX02x, 384},
    {8, "Setting Print Head to Type: 8 - 80mm Seiko LTPV345 or compatible", flashVX025, 576},
    {9, "Setting Print Head to Type: 9 - 58mm PT486HLV or compatible", flashVX02x, 384},
    {10, "Setting Print Head to Type: 10 - 58mm JX2R39BQ Label printer or compatible", flashVX024B, 384},
};

} // namespace

Demo printHead(uint8_t headIndex)
{
    for (const PrintHead &head : printHeads)
        if (head.index == headIndex)
            return {Demo::Console::Replace, head.description, {head.flashMessage}, {setPrinterHead(head.index)}};
    // No such head: nothing to announce and nothing to send.
    return {Demo::Console::Keep, QString(), {}, {}};
}

int printHeadDots(uint8_t headIndex)
{
    for (const PrintHead &head : printHeads)
        if (head.index == headIndex)
            return head.dots;
    return 0;
}

Demo uartSetting(uint8_t speed, uint8_t flow)
{
    // The controller switches at once; the host keeps its settings until the
    // user reconnects with matching ones.
    return {Demo::Console::Replace,
            "Setting UART com speed and flow control. Startup default settings are 115200bps and XON/XOFF",
            {"After issuing this command you must adjust your host UART settings as well by disconnecting and "
             "connecting with the right settings"},
            {setComMode(speed, flow)}};
}

} // namespace demos
