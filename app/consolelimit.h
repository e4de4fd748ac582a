#pragma once

// Keeps the console to its last lines and characters: a controller that
// floods the line with replies would otherwise grow it, and the time each
// console update takes, without end. The dropped text leaves one line at
// the top that says so. A reply without line ends goes on in a new line
// every lineLength characters: the console lays a line out again whole at
// every piece added to it.

#include <QObject>
#include <QString>
#include <QTimer>

class QPlainTextEdit;

class ConsoleLimit : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultLines = 10000;
    // About 2 MB of text; a reply without line ends counts here.
    static constexpr int defaultCharacters = 1 << 20;
    static constexpr int lineLength = 4096;

    // Watches `console` (and lives as long as it does).
    explicit ConsoleLimit(QPlainTextEdit *console, int lines = defaultLines, int characters = defaultCharacters);

    // The top line of a console whose older text was dropped.
    static QString droppedNote();

private:
    bool overLimit() const;
    void breakLongLine();
    void trimSoon();
    void trim();

    QPlainTextEdit *console;
    int lineLimit;
    int characterLimit;
    QTimer trimTimer;
};
