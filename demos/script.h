#pragma once

// A demonstration is data: what the console shows and the list of commands
// it sends. One shared routine in the window runs every demonstration (the
// connection guard, the console echo, then the steps in order).

#include "demos/pictures.h"
#include "printer/commands.h"

#include <QString>
#include <QStringList>

#include <vector>

namespace demos {

// A console line added in the middle of a script, between two commands.
struct ConsoleLine
{
    QString text;
};

// One step: a command to send, or a console line to append.
struct Step
{
    Step(printer::Command c)
        : command(std::move(c))
    { }
    Step(const ConsoleLine &line)
        : consoleLine(line.text)
        , isConsoleLine(true)
    { }

    printer::Command command;
    QString consoleLine;
    bool isConsoleLine = false;
};

using Script = std::vector<Step>;

struct Demo
{
    enum class Console {
        Replace, // clear, insert the title, append each line
        Keep,    // leave the console as it is
    };
    Console console = Console::Replace;
    QString title;
    QStringList lines;
    Script script;
    // Show at once whatever the controller has already sent (the version and
    // status requests; the reply itself arrives later).
    bool readRepliesAfterSending = false;
};

// The 33 full stops that separate the sections of a printout, alone and
// followed by a blank line.
inline constexpr char separator[] = ".................................";
inline constexpr char closingSeparator[] = ".................................\n\n";

// A stored picture as a raster command, sent from the constant data as it is.
inline printer::Command picture(const RasterPicture &p)
{
    return printer::picturePrintH(0, p.bytesPerRow, p.rows, p.data);
}

} // namespace demos
