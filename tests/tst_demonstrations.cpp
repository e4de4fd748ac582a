// Every demonstration button against its data file in tests/data/demos: the
// console lines it shows and every write it sends, in order (a console line
// is due before the write that follows it in the file). Then what all
// buttons share: the connection guard, and the requests' replies.

#include "support/recordedwindow.h"
#include "support/streamfile.h"

#include <QAbstractButton>
#include <QDir>
#include <QTest>

class TestDemonstrations : public QObject
{
    Q_OBJECT

private slots:
    void showsAndSendsItsScript_data();
    void showsAndSendsItsScript();
    void everyButtonIsGuarded();
    void labelAndHeadButtonsActOnThePress();
    void requestsShowWhatHasArrived();
};

void TestDemonstrations::showsAndSendsItsScript_data()
{
    QTest::addColumn<QString>("path");
    const QDir dir(QStringLiteral(KIVO_TEST_DATA "/demos"));
    const QStringList files = dir.entryList({QStringLiteral("*.txt")});
    QVERIFY(files.size() > 40);
    for (const QString &file : files)
        QTest::newRow(qPrintable(file)) << dir.filePath(file);
}

void TestDemonstrations::showsAndSendsItsScript()
{
    QFETCH(QString, path);
    RecordedWindow w;
    const QStringList lines = streamnotation::lines(path);
    QAbstractButton *button = prepareClick(w.window, lines);
    QStringList expected;
    QString error;
    for (const QString &line : lines) {
        if (line.startsWith(u'>'))
            expected << streamfile::consoleEntry(line.mid(2));
        else if (!QStringList{"click", "set", "unset", "also", "before"}.contains(line.section(u' ', 0, 0)))
            for (const QByteArray &write : streamnotation::writes(line, streamfile::picturePayload, &error))
                expected << streamfile::writeEntry(write);
        QVERIFY2(error.isEmpty(), qPrintable(line + ": " + error));
    }
    QVERIFY(button);

    // A second click shows the same text once more and sends it all again.
    for (int click = 0; click < 2; ++click) {
        w.console()->setPlainText(QStringLiteral("typed by the user"));
        const QStringList actual = w.transcript(button);
        QVERIFY2(actual == expected, qPrintable(streamfile::firstDifference(actual, expected)));
    }
}

void TestDemonstrations::everyButtonIsGuarded()
{
    // Every button with a handler but Load Image, the Traffic view's and the
    // saved commands' list, which need no line.
    const QStringList unguarded = {"pushButton_Load", "transferStop", "trafficSave", "trafficClear"};
    RecordedWindow w(false);
    int buttons = 0;
    for (QAbstractButton *button : w.window.findChildren<QPushButton *>()) {
        if (unguarded.contains(button->objectName()) || button->window() != &w.window
            || button->parent()->objectName() == "groupBoxSavedCommands")
            continue;
        ++buttons;
        w.console()->setPlainText(QStringLiteral("typed by the user"));
        ModalBoxCloser closer;
        button->click();
        QVERIFY2(closer.boxes.size() == 1, qPrintable(button->objectName()));
        QCOMPARE(closer.boxes[0].title, QStringLiteral("Serial Port Connect"));
        QCOMPARE(closer.boxes[0].text, QStringLiteral("Please configure and connect to the serial port first!"));
        QCOMPARE(w.consoleText(), QStringLiteral("typed by the user"));
    }
    QCOMPARE(buttons, 47);
    QVERIFY(w.device.writes.isEmpty());
}

void TestDemonstrations::labelAndHeadButtonsActOnThePress()
{
    RecordedWindow w;
    for (const char *name : {"pushButtonNextLabel", "pushButtonM23_H69"}) {
        QPushButton *button = showButton(w.window, name);
        w.device.clearWrites();
        QTest::mousePress(button, Qt::LeftButton);
        QVERIFY2(w.device.writes.size() == 1, name);
        QTest::mouseRelease(button, Qt::LeftButton);
        QCOMPARE(w.device.writes.size(), 1);
    }
}

void TestDemonstrations::requestsShowWhatHasArrived()
{
    // What the controller sent before the request shows at once, alone, even
    // right after an earlier reply was shown.
    RecordedWindow w;
    for (const char *name : {"pushButtonVersion", "pushButtonStatus"}) {
        w.console()->setPlainText(QStringLiteral("the previous answer"));
        w.device.feedIncoming(name);
        widget<QPushButton>(w.window, name)->click();
        QCOMPARE(w.consoleText(), QString::fromLatin1(name));
    }
}

QTEST_MAIN(TestDemonstrations)
#include "tst_demonstrations.moc"
