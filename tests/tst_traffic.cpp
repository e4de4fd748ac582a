// The Traffic record and its view: every write and read of a connection,
// the commands named by the virtual printer's decoder, long blocks folded,
// Save, Clear, and a record that stays bounded over a long session.

#include "support/pseudoterminal.h"
#include "support/recordedwindow.h"

#include "traffic/trafficdock.h"

#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QMenuBar>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

// The Traffic view as View > Traffic shows it.
traffic::TrafficDock *shownDock(MainWindow &window)
{
    widget<QAction>(window, "actionTraffic")->setChecked(true);
    return widget<traffic::TrafficDock>(window, "trafficDock");
}

QStringList namesOf(const traffic::Record &record)
{
    QStringList names;
    for (quint64 i = record.firstIndex(); i < record.endIndex(); ++i)
        names << record.at(i).name;
    return names;
}

// The process's resident memory, in KB.
qint64 residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    return -1;
}

} // namespace

class TestTraffic : public QObject
{
    Q_OBJECT

private slots:
    void viewIsHiddenUntilChosen();
    void demonstrationWritesAreRecordedAndNamed();
    void commandsAreNamedWhereTheyStart_data();
    void commandsAreNamedWhereTheyStart();
    void versionReplyIsRecordedAsRead();
    void saveWritesEveryEntryAndClearEmpties();
    void memoryStaysBoundedOverALongSession();
};

void TestTraffic::viewIsHiddenUntilChosen()
{
    RecordedWindow recorded;
    MainWindow &window = recorded.window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!window.findChild<traffic::TrafficDock *>());
    QAction *toggle = widget<QAction>(window, "actionTraffic");
    QVERIFY(widget<QMenu>(window, "menuView")->actions().contains(toggle));
    // Shown from the menu, the list catches up with what was sent meanwhile.
    widget<QPushButton>(window, "pushButtonReset")->click();
    toggle->trigger();
    auto *dock = widget<traffic::TrafficDock>(window, "trafficDock");
    QVERIFY(dock->isVisible());
    auto *list = widget<QListView>(window, "trafficList");
    QTRY_COMPARE(list->model()->rowCount(), int(recorded.device.writes.size()));
    QVERIFY(list->model()->index(0, 0).data().toString().contains(QStringLiteral("1B 40")));
    toggle->trigger();
    QVERIFY(!dock->isVisible());
    // Closed by its own button, the view unchecks the menu entry.
    toggle->trigger();
    dock->close();
    QVERIFY(!toggle->isChecked());
}

void TestTraffic::demonstrationWritesAreRecordedAndNamed()
{
    RecordedWindow recorded;
    widget<QAbstractButton>(recorded.window, "pushButtonReceipt")->click();
    const traffic::Record &record = KivoTestAccess::trafficRecord(recorded.window);

    // One entry a write call, each with its size and first bytes.
    QCOMPARE(record.size(), std::size_t(recorded.device.writes.size()));
    for (int i = 0; i < recorded.device.writes.size(); ++i) {
        const QByteArray &write = recorded.device.writes[i];
        const traffic::Entry &entry = record.at(record.firstIndex() + quint64(i));
        QCOMPARE(entry.direction, traffic::Direction::Out);
        QCOMPARE(entry.size, write.size());
        QCOMPARE(entry.head(), write.left(traffic::Entry::headMax));
    }
    const QStringList names = namesOf(record);
    QCOMPARE(names.mid(0, 2), (QStringList{"justify 0 left", "initialize"}));
    QVERIFY(record.at(record.firstIndex() + 1).format().contains(QStringLiteral(">  1B 40 ")));

    // The header picture: its command named once its data has passed, the
    // data write folded to its first bytes and its size.
    const int raster = int(names.indexOf(QRegularExpression(QStringLiteral("raster mode 0, .*"))));
    QVERIFY(raster >= 0);
    const traffic::Entry &data = record.at(record.firstIndex() + quint64(raster) + 1);
    QCOMPARE(data.size, qint64(12288));
    QCOMPARE(data.name, QString());
    QVERIFY(data.format().contains(QStringLiteral("... (12288 bytes)")));
    QVERIFY(data.format().size() < 120);
}

void TestTraffic::commandsAreNamedWhereTheyStart_data()
{
    // Write calls (hex, separated by "|") and the names of their entries.
    QTest::addColumn<QString>("writes");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("one command") << "1B 40" << QStringList{"initialize"};
    QTest::newRow("two in one write") << "1B 40 0A" << QStringList{"initialize, LF"};
    QTest::newRow("split prefix") << "1D|6B 41 0B 30 31 32 33 34 35 36 37 38 39 30"
                                  << QStringList{"barcode UPC-A \"01234567890\"", ""};
    QTest::newRow("text only") << "41 42 43" << QStringList{""};
    QTest::newRow("unknown byte") << "1B FF|1B 40"
                                  << QStringList{"unknown unknown command, 2 bytes skipped", "initialize"};
}

void TestTraffic::commandsAreNamedWhereTheyStart()
{
    QFETCH(QString, writes);
    QFETCH(QStringList, names);
    traffic::Record record;
    for (const QString &piece : writes.split(u'|')) {
        const QByteArray bytes = QByteArray::fromHex(piece.toLatin1());
        record.written(bytes.constData(), bytes.size());
    }
    // A decoder that waits for more does not name a write yet; one more
    // command ends the run of text or skipped bytes.
    record.written("\x0A", 1);
    QCOMPARE(namesOf(record).mid(0, int(names.size())), names);
}

void TestTraffic::versionReplyIsRecordedAsRead()
{
    MainWindow window;
    PseudoTerminal pty;
    QVERIFY(driver::connectTo(window, pty.slavePath()));
    const traffic::Record &record = KivoTestAccess::trafficRecord(window);
    QCOMPARE(record.size(), std::size_t(0));

    widget<QAbstractButton>(window, "pushButtonVersion")->click();
    QVERIFY(!pty.read(2).isEmpty());
    QVERIFY(pty.write("VX024 V2.1\x10"));
    QTRY_VERIFY(record.size() >= 2 && record.at(record.endIndex() - 1).direction == traffic::Direction::In);
    QCOMPARE(record.at(record.firstIndex()).name, QStringLiteral("version-query"));
    QByteArray replies;
    for (quint64 i = record.firstIndex(); i < record.endIndex(); ++i)
        if (record.at(i).direction == traffic::Direction::In)
            replies += record.at(i).head();
    QTRY_COMPARE(replies, QByteArray("VX024 V2.1\x10"));
    QVERIFY(record.at(record.endIndex() - 1).format().contains(QStringLiteral("<  ")));
}

void TestTraffic::saveWritesEveryEntryAndClearEmpties()
{
    RecordedWindow recorded;
    widget<QAbstractButton>(recorded.window, "pushButtonBarcodeUPCA")->click();
    traffic::Record &record = KivoTestAccess::trafficRecord(recorded.window);
    QVERIFY(record.size() > 5);

    // Saved over a regular file; a FIFO of the name chosen is left as it is,
    // and a folder that takes no new file is named as the reason.
    QTemporaryDir dir;
    QFile file(dir.filePath("traffic.txt"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("older"));
    file.close();
    QCOMPARE(traffic::saveRecord(record, file.fileName()), QString());
    const QByteArray fifo = QFile::encodeName(dir.filePath("fifo"));
    struct stat st
    { };
    QVERIFY(::mkfifo(fifo.constData(), 0600) == 0);
    QVERIFY(traffic::saveRecord(record, fifo).startsWith("it is no regular file"));
    QVERIFY(::stat(fifo.constData(), &st) == 0 && S_ISFIFO(st.st_mode));
    QCOMPARE(traffic::saveRecord(record, "/proc/version"),
             "the folder /proc takes no new file (No such file or "
             "directory)");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
    // One entry a line, and a longer one's further bytes on lines of their own.
    QCOMPARE(lines.filter(QRegularExpression(QStringLiteral("^\\S"))).size(), int(record.size()) + 1);
    QVERIFY(lines[1].contains(QStringLiteral("1B 40")) && lines[1].endsWith(QStringLiteral("initialize")));
    QVERIFY(lines.filter(QStringLiteral("barcode UPC-A \"01234567890\"")).size() == 1);

    shownDock(recorded.window);
    widget<QPushButton>(recorded.window, "trafficClear")->click();
    QCOMPARE(record.size(), std::size_t(0));
    QCOMPARE(widget<QListView>(recorded.window, "trafficList")->model()->rowCount(), 0);
    QCOMPARE(widget<QLabel>(recorded.window, "trafficCount")->text(), QStringLiteral("0 entries"));
    // The stream goes on after a clear: the next command is still named.
    widget<QAbstractButton>(recorded.window, "pushButtonReset")->click();
    QCOMPARE(record.at(record.firstIndex()).name, QStringLiteral("initialize"));
}

void TestTraffic::memoryStaysBoundedOverALongSession()
{
    // A million writes, ten times what the record keeps: at most 64 MB more
    // resident memory, the oldest entries dropped and counted.
    const qint64 before = residentKb();
    QVERIFY(before > 0);
    traffic::Record record;
    static const char reset[] = "\x1B\x40", feedAndText[] = "\x1B\x64\x02 and some text";
    for (int i = 0; i < 1000000; ++i)
        record.written(i % 2 ? reset : feedAndText, i % 2 ? sizeof reset - 1 : sizeof feedAndText - 1);
    QCOMPARE(record.size(), traffic::Record::defaultCapacity);
    QCOMPARE(record.dropped(), quint64(1000000 - traffic::Record::defaultCapacity));
    QCOMPARE(record.firstIndex(), record.dropped());
    QCOMPARE(record.at(record.endIndex() - 1).name, QStringLiteral("initialize"));
#ifndef __SANITIZE_ADDRESS__ // the address sanitizer keeps freed memory aside: no figure to compare
    const qint64 grownKb = residentKb() - before;
    QVERIFY2(grownKb < qint64{64} * 1024, qPrintable(QStringLiteral("%1 KB more").arg(grownKb)));
#endif

    QBuffer file;
    file.open(QIODevice::WriteOnly);
    QVERIFY(record.writeTo(file));
    QVERIFY(file.data().startsWith("Traffic since connect: 100000 entries, 900000 dropped"));
}

QTEST_MAIN(TestTraffic)
#include "tst_traffic.moc"
