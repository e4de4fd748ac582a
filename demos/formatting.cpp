// Formatting (line spacing, feeds, carriage return, margins) and Alignment
// (tab stops, absolute position, justification).

#include "demos/demos.h"

namespace demos {

using namespace printer;

namespace {

// The first alphabet line starts with a space; the other two do not.
constexpr char defaultSpacingText[] =
    "Default Line Space 33:\n abcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz";

// Tab stops in character columns, in increasing order. Static: the tab
// command borrows them until it is sent.
constexpr uint8_t tabStops[] = {8, 24, 38};

} // namespace

Demo formatting()
{
    return {
        Demo::Console::Replace,
        "Setting some text parameters:",
        {"Default line space of 33 dots", "Line space of 66 dots ", "Resetting to default 33 dots",
         "Print and feed paper 20 dots", "Print and feed paper 5 lines", "Test carriage return",
         "Setting a left margin of 8 dots", "Setting a right margin of 38 dots"},
        {
            horizontalAlign(0),
            printerSoftInit(),
            print_with_font(separator, mode::Normal),
            print_with_font(defaultSpacingText, mode::Normal),
            lineSpacingSet(66),
            print_with_font(
                "Line Space 66:\n abcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz",
                mode::Normal),
            lineSpacingDefaults(),
            print_with_font(defaultSpacingText, mode::Normal),
            print_with_font(separator, mode::Normal),
            print_with_font(
                "Feeding 20 dots after "
                "printing:\nabcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz",
                mode::Normal),
            printAndFeedNDotLine(20),
            print_with_font(separator, mode::Normal),
            print_with_font(
                "Feeding 5 lines after "
                "printing:\nabcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz\nabcdefghijklmnopqrstuvwxyz",
                mode::Normal),
            printAndFeedNFontLine(5),
            print_with_font(separator, mode::Normal),
            // The carriage-return test: a lone CR after a complete line.
            printCR(),
            setLeftMargin(8),
            print_with_font("Left Margin 8:\nabcd\nabcd\nabcd", mode::Normal),
            setLeftMargin(0),
            setRightMargin(38),
            print_with_font("Right Margin 38:\nabcd\nabcd\nabcd", mode::Normal),
            // Back to the controller's full-width right margin.
            setRightMargin(48),
            print_with_font(separator, mode::Normal),
        }};
}

Demo alignment()
{
    return {Demo::Console::Replace,
            "Setting 3 tabs and stepping to each",
            {"Setting absolute print position", "Setting print alignment center", "Setting print alignment right",
             "Setting print alignment left"},
            {
                horizontalAlign(0),
                printerSoftInit(),
                horizontalTabSet(tabStops, uint8_t(sizeof tabStops)),
                print_with_font(separator, mode::Normal),
                print_with_font("No Tab: abcd", mode::Normal),
                // One printed line with a word at each stop; plain text, so
                // no print-mode command comes between the words.
                horizontalTab(),
                printStr("Tab1"),
                horizontalTab(),
                printStr("Tab2"),
                horizontalTab(),
                printStr("Tab3"),
                printLF(),
                print_with_font(separator, mode::Normal),
                absolutePrintPos(50, 0),
                print_with_font("Abs: 1234", mode::Normal),
                print_with_font(separator, mode::Normal),
                horizontalAlign(1),
                print_with_font("Center: abcd", mode::Normal),
                horizontalAlign(2),
                print_with_font("Right: abcd", mode::Normal),
                horizontalAlign(0),
                print_with_font("Left: abcd", mode::Normal),
                print_with_font(separator, mode::Normal),
            }};
}

} // namespace demos
