#pragma once

// Every demonstration button by a stable name ("receipt", "barcode-upca",
// "head-3", "uart-9600-none"). The window's buttons and kivo-send both run
// demonstrations through this table, so the same name sends the same bytes.

#include "demos/demos.h"

#include <QString>

#include <functional>
#include <optional>
#include <vector>

namespace demos {

// What a connection remembers between demonstrations.
struct Session
{
    // Whether bar codes print their text, once chosen: the reset that starts
    // each bar code demonstration would undo the choice.
    std::optional<bool> barcodeTextPrinted;
};

struct NamedDemo
{
    QString name;
    QString button; // the window's button that runs it
    QString description;
    std::function<Demo(const Session &session)> build;
    // The bar code text choice it makes for the rest of the connection.
    std::optional<bool> choosesBarcodeText;
    // The print head type it stores in the controller, if any.
    std::optional<uint8_t> head;
};

// The whole table, in the order of the window's tabs; of the entries of
// one button, the one it runs with the window untouched comes first.
const std::vector<NamedDemo> &catalogue();
// Null for a name the table does not hold.
const NamedDemo *findDemo(const QString &name);

// The demonstration to run, and what it chooses noted in `session`.
Demo take(const NamedDemo &demo, Session &session);

// The names of the table's families.
QString barcodeDemoName(printer::Symbology symbology, bool leftMargin);
QString headDemoName(uint8_t headIndex);
QString uartDemoName(uint8_t speed, uint8_t flow);

} // namespace demos
