// The sample point-of-sale receipt: one body, three endings.

#include "demos/demos.h"

namespace demos {

using namespace printer;

namespace {

struct ReceiptVariant
{
    Receipt variant;
    const char *consoleText;
    uint8_t paymentLineMode;
    printer::Command (*finalCommand)(); // none for the plain receipt
};

const ReceiptVariant receiptVariants[] = {
    {Receipt::Plain, "Sample of typical POS receipt", mode::Underlined | mode::DoubleHeight, nullptr},
    {Receipt::FullCut, "Sample of typical POS receipt with full paper cut", mode::DoubleHeight, fullCut},
    {Receipt::PartialCut, "Sample of typical POS receipt with partial paper cut", mode::DoubleHeight, partialCut},
};

const ReceiptVariant &receiptVariant(Receipt variant)
{
    for (const ReceiptVariant &v : receiptVariants)
        if (v.variant == variant)
            return v;
    return receiptVariants[0];
}

} // namespace

Demo receipt(Receipt variant)
{
    const ReceiptVariant &v = receiptVariant(variant);
    Demo demo{Demo::Console::Replace,
              v.consoleText,
              {},
              {
                  horizontalAlign(0),
                  printerSoftInit(),
                  setFontGrayScale(4),
                  picture(receiptHeaderBitmap),
                  printLF(),
                  horizontalAlign(1),
                  print_with_font("Customer Receipt", mode::Normal),
                  printAndFeedNFontLine(2),
                  horizontalAlign(0),
                  print_with_font("Date: DD/MM/YYYY", mode::Normal),
                  print_with_font("PID: 034/344/00288394", mode::Normal),
                  printAndFeedNFontLine(2),
                  // The heading has no line feed: the dot feed prints it.
                  printStr("  Qty      Item      Price"),
                  printAndFeedNDotLine(24),
                  print_with_font(separator, mode::Normal),
                  print_with_font("2x  1L 1.5% Milk     $3.98", mode::Normal),
                  print_with_font("6x  1L 3.5% Milk     $16.75", mode::Normal),
                  print_with_font("10x 100g Yogurt Cup  $8.50", mode::Normal),
                  print_with_font(separator, mode::Normal),
                  print_with_font("Total:              $29.23", mode::Bold),
                  printAndFeedNFontLine(1),
                  print_with_font("Incl. 19% VAT $5.55 (Net $23.68)", mode::Normal),
                  print_with_font(separator, mode::Normal),
                  print_with_font("Credit Card         $29.23", v.paymentLineMode),
                  printAndFeedNFontLine(2),
                  horizontalAlign(1),
                  print_with_font("THANK YOU FOR YOUR VISIT", mode::Normal),
                  printAndFeedNFontLine(2),
              }};
    if (v.finalCommand)
        demo.script.push_back(v.finalCommand());
    return demo;
}

} // namespace demos
