#include "printarea.h"

#include <algorithm>

namespace kvp {

PrintArea::PrintArea(Paper &paperRoll, LogSink *logSink)
    : paper(paperRoll)
    , log(logSink)
{ }

int PrintArea::start() const { return std::min(settings.leftMargin, paper.width() - 1); }

int PrintArea::end() const
{
    int right = paper.width() - settings.rightMargin;
    if (settings.printWidth > 0)
        right = std::min(right, settings.leftMargin + settings.printWidth);
    return std::max(start() + 1, right);
}

int PrintArea::justifyOffset(Justification justification, int usedWidth) const
{
    const int free = end() - start() - usedWidth;
    if (free <= 0)
        return 0;
    switch (justification) {
    case Justification::Left: return 0;
    case Justification::Centre: return free / 2;
    case Justification::Right: return free;
    }
    return 0;
}

void PrintArea::note(const QString &text) const
{
    if (log)
        log->note(QStringLiteral("note"), text);
}

} // namespace kvp
