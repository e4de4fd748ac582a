#include "cups/filteroptions.h"

#include <QRegularExpression>

#include <cups/cups.h>

namespace kivocups {

namespace {

constexpr int dotsPerMm = 8;
constexpr int startUpBaud = 115200;

// One option set to `choice`; false when the choice is unknown.
bool apply(FilterOptions &options, const QByteArray &name, const QByteArray &choice)
{
    bool known = true;
    if (name == "Cutter") {
        known = choice == "None" || choice == "Partial" || choice == "Full";
        if (known)
            options.cut = choice == "None" ? Cut::None : choice == "Partial" ? Cut::Partial : Cut::Full;
    } else if (name == "CutAfter") {
        known = choice == "Page" || choice == "Job";
        if (known)
            options.cutAfter = choice == "Job" ? CutAfter::Job : CutAfter::Page;
    } else if (name == "FeedBeforeCut") {
        const int mm = choice.endsWith("mm") ? choice.chopped(2).toInt(&known) : (known = false, 0);
        known = known && mm >= 0 && mm <= 100;
        if (known)
            options.feedDots = mm * dotsPerMm;
    } else if (name == "Darkness") {
        const int level = choice == "Default" ? 0 : choice.toInt(&known);
        known = known && level >= 0 && level <= 8;
        if (known)
            options.darkness = level;
    }
    if (!known)
        options.problem =
            QStringLiteral("%1=%2 is not a choice of this printer; using %3")
                .arg(QString::fromUtf8(name), QString::fromUtf8(choice),
                     name == "Darkness" ? QStringLiteral("the printer's default") : QStringLiteral("the default"));
    return known;
}

} // namespace

FilterOptions filterOptions(const QByteArray &ppd, const char *jobOptions)
{
    FilterOptions options;
    static const QRegularExpression defaultLine(QStringLiteral(R"(^\*Default(\w+):\s*(\S+))"),
                                                QRegularExpression::MultilineOption);
    for (auto it = defaultLine.globalMatch(QString::fromUtf8(ppd)); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        apply(options, m.captured(1).toUtf8(), m.captured(2).toUtf8());
    }

    cups_option_t *parsed = nullptr;
    const int count = cupsParseOptions(jobOptions, 0, &parsed);
    for (int i = 0; i < count; ++i)
        apply(options, parsed[i].name, parsed[i].value);
    cupsFreeOptions(count, parsed);
    return options;
}

int uriBaudRate(const QByteArray &deviceUri)
{
    static const QRegularExpression baud(QStringLiteral(R"([?+&]baud=(\d{1,9})(?:[+&]|$))"));
    const QRegularExpressionMatch m = baud.match(QString::fromUtf8(deviceUri));
    const int rate = m.hasMatch() ? m.captured(1).toInt() : 0;
    return rate > 0 ? rate : startUpBaud;
}

} // namespace kivocups
