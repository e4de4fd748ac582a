#include "app/consolelimit.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

ConsoleLimit::ConsoleLimit(QPlainTextEdit *watched, int lines, int characters)
    : QObject(watched)
    , console(watched)
    , lineLimit(std::max(2, lines))
    , characterLimit(std::max(256, characters))
{
    // A console needs no undo, and its undo stack would keep every reply,
    // the dropped ones too.
    console->setUndoRedoEnabled(false);
    // Not while the document is still telling of its change: the trim is an
    // edit of its own.
    trimTimer.setSingleShot(true);
    trimTimer.setInterval(0);
    connect(&trimTimer, &QTimer::timeout, this, &ConsoleLimit::trim);
    connect(console->document(), &QTextDocument::contentsChanged, this, &ConsoleLimit::trimSoon);
}

QString ConsoleLimit::droppedNote() { return tr("\u2026 older text dropped \u2026"); }

bool ConsoleLimit::overLimit() const
{
    const QTextDocument *document = console->document();
    return document->blockCount() > lineLimit || document->characterCount() > characterLimit
        || document->lastBlock().length() > lineLength + 1; // with its paragraph end
}

// In one edit: a line end every lineLength characters of the last line. They
// go in where they belong, the last first, so the text around them stays,
// and so do the cursors that mark places in it (the end of the last reply).
void ConsoleLimit::breakLongLine()
{
    const QTextBlock last = console->document()->lastBlock();
    if (last.length() <= lineLength + 1)
        return;
    // The offsets lineLength, 2 lineLength, ... short of the line's length.
    QTextCursor cursor(console->document());
    cursor.beginEditBlock();
    for (int at = last.position() + lineLength * ((last.length() - 2) / lineLength); at > last.position();
         at -= lineLength) {
        cursor.setPosition(at);
        cursor.insertText(QStringLiteral("\n"));
    }
    cursor.endEditBlock();
}

void ConsoleLimit::trimSoon()
{
    if (!trimTimer.isActive() && overLimit())
        trimTimer.start();
}

void ConsoleLimit::trim()
{
    breakLongLine();
    if (!overLimit())
        return;
    // Down to nine tenths of each limit, so that a steady flow of replies
    // trims now and then rather than at every piece.
    QTextDocument *document = console->document();
    const int keepLines = lineLimit * 9 / 10;
    const int keepCharacters = characterLimit * 9 / 10;
    int cut = document->blockCount() > keepLines
        ? document->findBlockByNumber(document->blockCount() - keepLines).position()
        : 0;
    cut = std::max(cut, document->characterCount() - keepCharacters);
    QTextCursor cursor(document);
    cursor.setPosition(cut, QTextCursor::KeepAnchor);
    cursor.insertText(droppedNote() + QLatin1Char('\n'));
}
