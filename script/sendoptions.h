#pragma once

// kivo-send's command line as a plain record: where the controller is, the
// actions in the order given, and how to report.

#include "bitmap/pictureoptions.h"
#include "printer/commandline.h"
#include "serial/link.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace script {

struct Action
{
    enum class Kind { Demo, Picture, File, Hex, Text };
    Kind kind = Kind::Demo;
    QString value; // the demonstration's name, the file, or the typed line
    bitmap::PictureOptions picture;
    printer::TextEncoding encoding = printer::TextEncoding::Controller;
};

// The serial settings of the controller's start-up, with their texts.
serial::LinkSettings defaultLink();

struct SendOptions
{
    // The serial kind starts at the controller's start-up setting: 115200
    // bit/s, 8 data bits, no parity, 1 stop bit, XON/XOFF.
    serial::LinkSettings link = defaultLink();
    bool linkNamed = false;
    QList<Action> actions;
    bool json = false;
    bool listDemos = false;
    bool help = false;
    bool programVersion = false;
};

// The options read from `arguments` (without the program name); the reason
// when they cannot be read, in `error`.
SendOptions parseSendArguments(const QStringList &arguments, QString *error);

// What --help prints.
QString usageText();

} // namespace script
