#pragma once

// A window whose every write is kept: it writes to a recording device whose
// open state counts as connected.

#include "support/kivotestaccess.h"
#include "support/modalboxcloser.h"
#include "support/recordingdevice.h"
#include "support/streamfile.h"
#include "support/windowdriver.h"

#include <QAbstractButton>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

// A window that writes to `device`; the device open counts as connected.
struct RecordedWindow
{
    // The wire never answers: a request's wait for an answer must not end in
    // the middle of a later check, however long the test takes.
    timing::ManualClock stoppedClock;
    MainWindow window;
    RecordingDevice device;

    explicit RecordedWindow(bool connected = true)
    {
        KivoTestAccess::setAnswerClock(window, stoppedClock);
        KivoTestAccess::setWire(window, &device);
        if (connected)
            device.open(QIODevice::ReadWrite);
    }
    ~RecordedWindow() { KivoTestAccess::setWire(window, KivoTestAccess::serialPort(window)); }

    QPlainTextEdit *console() { return widget<QPlainTextEdit>(window, "editKivo"); }
    QString consoleText() { return console()->toPlainText(); }

    // What clicking `button` shows and sends (streamfile entries): before
    // each write, the console lines that are new since the last write, then
    // the write; the lines that are new at the end. A console that was
    // cleared counts as all new.
    QStringList transcript(QAbstractButton *button)
    {
        QStringList entries;
        QString shown = consoleText();
        auto consoleNews = [&] {
            const QString now = consoleText();
            if (now == shown)
                return;
            // Appended lines start a new paragraph; anything else replaced the text.
            const bool appended = !shown.isEmpty() && now.startsWith(shown + u'\n');
            const QString added = appended ? now.mid(shown.size() + 1) : now;
            for (const QString &line : added.split(u'\n'))
                entries << streamfile::consoleEntry(line);
            shown = now;
        };
        device.onWrite = [&](const QByteArray &bytes) {
            consoleNews();
            entries << streamfile::writeEntry(bytes);
        };
        button->click();
        consoleNews();
        device.onWrite = nullptr;
        return entries;
    }
};

// Prepares a click as a data file of tests/data/demos describes it: its
// "set", "unset" and "also" lines check or uncheck buttons ("also" checks
// one without unchecking the others of its group, which a user cannot do),
// its "before" lines click a button first; returns the button its "click"
// line names.
inline QAbstractButton *prepareClick(QObject &window, const QStringList &lines)
{
    QAbstractButton *clicked = nullptr;
    for (const QString &line : lines) {
        const QString word = line.section(u' ', 0, 0), name = line.section(u' ', 1, 1);
        if (word == "click")
            clicked = widget<QAbstractButton>(window, qPrintable(name));
        if (word == "before")
            widget<QAbstractButton>(window, qPrintable(name))->click();
        if (word != "set" && word != "unset" && word != "also")
            continue;
        auto *button = widget<QAbstractButton>(window, qPrintable(name));
        const bool exclusive = button->autoExclusive();
        button->setAutoExclusive(exclusive && word == "set");
        button->setChecked(word != "unset");
        button->setAutoExclusive(exclusive);
    }
    return clicked;
}

// Shows the window with the tab that holds `button`, so that mouse events
// reach the button as they would reach it from a user.
inline QPushButton *showButton(MainWindow &window, const char *button)
{
    auto *found = widget<QPushButton>(window, button);
    auto *tabs = widget<QTabWidget>(window, "mainTabsKivo");
    for (int i = 0; i < tabs->count(); ++i)
        if (tabs->widget(i)->isAncestorOf(found))
            tabs->setCurrentIndex(i);
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        qWarning("window not exposed");
    return found;
}
