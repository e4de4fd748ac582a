// Quick Test, Attributes and Density.

#include "demos/demos.h"

namespace demos {

using namespace printer;

Demo quickTest()
{
    return {Demo::Console::Replace,
            "Printing features:",
            {"Normal", "Bold", "Double Width", "Double Height", "Reverse", "Underlined", "Italic",
             "Combined font attribute Italic and Underlined", "Printing tiny Wingdings Bitmaps", "Printing Bar Code",
             "Printing Raster Bitmap"},
            {
                printerSoftInit(),
                horizontalAlign(0),
                setFontGrayScale(4),
                picture(featureLogoBitmap),
                printLF(),
                print_with_font("======== S A M P L E ========", mode::Normal),
                print_with_font("Normal 0123456 ABCD abcd", mode::Normal),
                print_with_font("Bold 0123456 ABCD abcd", mode::Bold),
                print_with_font("Double Width", mode::DoubleWidth),
                print_with_font("Double Height", mode::DoubleHeight),
                print_with_font("Reverse 0123456 ABCD abcd", mode::Reverse),
                print_with_font("Underlined 0123456 ABCD abcd", mode::Underlined),
                print_with_font("Italic 0123456 ABCD abcd", mode::Italic),
                print_with_font("Italic 0123456 ABCD abcd", mode::Italic | mode::Underlined),
                printLF(),
                picture(arrowSymbolsBitmap),
                printLF(),
                picture(circledDigitsBitmap),
                printLF(),
                setLeftMargin(4),
                barcodeWidthSet(3),
                barcodeHeightSet(64),
                barcodePrint(UpcA, reinterpret_cast<const uint8_t *>("01234567890"), 11),
                setLeftMargin(0),
                picture(rasterSampleBitmap),
                printLF(),
            }};
}

Demo attributes()
{
    // Each sample names its attribute, then shows both alphabets and the digits.
    const QByteArray alphabets = "\nabcdefghijklmnopqrstuvwxyz\nABCDEFGHIJKLMNOPQRSTUVWXYZ\n0123456789";
    return {Demo::Console::Replace,
            "Printing text attribute options:",
            // The console names a double width and height sample; the
            // printout has none.
            {"Normal", "Bold", "Double Width", "Double Height", "Double Width and Height", "Reverse", "Underlined",
             "Italic"},
            {
                horizontalAlign(0),
                printerSoftInit(),
                print_with_font(separator, mode::Normal),
                print_with_font("Normal" + alphabets, mode::Normal),
                print_with_font("Bold" + alphabets, mode::Bold),
                print_with_font("Double Width" + alphabets, mode::DoubleWidth),
                // Double height: each alphabet split after its 16th letter.
                print_with_font("Double Height\nabcdefghijklmnop\nqrstuvwxyz\nABCDEFGHIJKLMNOP\nQRSTUVWXYZ\n0123456789",
                                mode::DoubleHeight),
                print_with_font("Reverse" + alphabets, mode::Reverse),
                print_with_font("Underlined" + alphabets, mode::Underlined),
                print_with_font("Italic" + alphabets, mode::Italic),
                print_with_font(closingSeparator, mode::Normal),
            }};
}

Demo density()
{
    Demo demo{Demo::Console::Replace,
              "Printing text darkness options:",
              {"0 - Default", "1", "2", "3", "4", "5", "6", "7", "8"},
              {horizontalAlign(0), printerSoftInit(), print_with_font(separator, mode::Normal)}};
    for (uint8_t level = 0; level <= 8; ++level) {
        demo.script.push_back(setFontGrayScale(level));
        demo.script.push_back(
            print_with_font(QByteArray::number(level) + ": abcdefghijklmnopqrstuvwxyz", mode::Normal));
    }
    demo.script.push_back(print_with_font(closingSeparator, mode::Normal));
    // Leave the controller at the darkness the other samples print with.
    demo.script.push_back(setFontGrayScale(4));
    return demo;
}

} // namespace demos
