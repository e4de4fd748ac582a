#pragma once
// Fixed facts about the controller: its print head types, UART speeds and
// flow-control modes.

#include <QString>

#include <optional>

namespace kvp {

struct HeadType
{
    int index;
    const char *name;
    int dots;           // dots per line
    const char *family; // controller model that drives it
};

constexpr int headTypeCount = 11;
// Head type 0..10, or nullptr for an index the controller does not know.
const HeadType *headType(int index);

enum class FlowMode { None = 0, XonXoff = 1, Hardware = 2 };
QString flowModeName(FlowMode mode);
// The flow mode f of the UART command (1D 28 c f), or nothing if f is unknown.
std::optional<FlowMode> flowModeFor(int arg);

constexpr int uartSpeedCount = 7;
// Speed index 0..6 of the UART command in bit/s, or 0 if out of range.
int uartSpeed(int index);

constexpr int defaultBaud = 115200;

} // namespace kvp
