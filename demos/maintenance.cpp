// The controller's housekeeping: the stored QR picture, reset, buffer
// clearing, feeds, cuts, sleep, labels, and the version and status requests.

#include "demos/demos.h"

namespace demos {

using namespace printer;

namespace {

// A demonstration whose console shows only its title.
Demo titled(const char *title, Script script) { return {Demo::Console::Replace, title, {}, std::move(script)}; }

// A request whose answer the console shows: the pane is cleared to hold the
// answer alone, and whatever has already come in is shown at once. The
// answer itself arrives later, through the port's ready-read signal.
Demo request(Command command) { return {Demo::Console::Replace, QString(), {}, {std::move(command)}, true}; }

} // namespace

Demo qrBitmap()
{
    // The stored picture as it stands, in one raster command; the QR code is
    // not made by the controller's QR commands.
    return titled("Printing a sample QR code", {printerSoftInit(), picture(qrSampleBitmap)});
}

Demo reset() { return titled("Resets and initializes to default values", {printerSoftInit()}); }

Demo clearBuffer() { return titled("Clears the cyclic print buffer and line feeds", {clearPrintBuffer(), printLF()}); }

Demo lineFeed()
{
    // No description: the console keeps what it shows.
    return {Demo::Console::Keep, QString(), {}, {printLF()}};
}

Demo cut(bool full)
{
    return full ? titled("Sending full cut command", {fullCut()})
                : titled("Sending partial cut command", {partialCut()});
}

Demo powerManagement()
{
    // Two lines in the console. The program does not track the sleep: the
    // next command wakes the controller.
    return titled("Setting controller into sleep mode.\n"
                  "Send any command to exit sleep mode and then continue printing...",
                  {enterSleepMode()});
}

Demo nextLabel() { return titled("Moving to top of next label", {newLabelHome()}); }

Demo firmwareVersion() { return request(getFirmwareInfo()); }

Demo printerStatus() { return request(printerState()); }

Demo sampleLabel()
{
    // No initialisation before and no feed before the move to the next label.
    return titled("Printing sample label and moving to new label",
                  {
                      horizontalAlign(0),
                      print_with_font("Label Print", mode::Normal),
                      print_with_font("Label text", mode::Normal),
                      print_with_font("Label text Bold", mode::Bold),
                      newLabelHome(),
                  });
}

} // namespace demos
