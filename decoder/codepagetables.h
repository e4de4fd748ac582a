#pragma once
// The code pages of 1B 74 n that the printer draws: the upper half of each
// (bytes 80..FF) as Unicode code points, 0 where the page prints nothing.
// codepagetables.cpp is written by make-codepages.py.

namespace kvp {

struct CodePageTable
{
    int number;       // n of 1B 74 n
    const char *name; // as the log shows it
    char16_t upper[128];
};

extern const CodePageTable codePageTables[];
extern const int codePageTableCount;

} // namespace kvp
