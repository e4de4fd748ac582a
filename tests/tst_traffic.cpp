// The Traffic record and its view: every write of a connection (the reads,
// over a real line: tst_serial), the commands named by the virtual printer's
// decoder, long blocks folded, the view made when first shown, Save, Clear,
// and a record that stays bounded over a long session.

#include "support/processmemory.h"
#include "support/recordedwindow.h"

#include "traffic/trafficdock.h"

#include <QAction>
#include <QBuffer>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QTemporaryDir>

#include <sys/stat.h>

namespace {

QStringList namesOf(const traffic::Record &record)
{
    QStringList names;
    for (quint64 i = record.firstIndex(); i < record.endIndex(); ++i)
        names << record.at(i).name;
    return names;
}

} // namespace

class TestTraffic : public QObject
{
    Q_OBJECT

private slots:
    void demonstrationWritesAreRecordedAndNamed();
    void commandsAreNamedWhereTheyStart_data();
    void commandsAreNamedWhereTheyStart();
    void saveWritesEveryEntryAndViewAndClearFollow();
    void memoryStaysBoundedOverALongSession();
};

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
    QTest::addColumn<QString>("row");
    for (const QString &row : streamnotation::lines(QStringLiteral(KIVO_TEST_DATA "/traffic-names.txt")))
        QTest::newRow(qPrintable(row)) << row;
}

void TestTraffic::commandsAreNamedWhereTheyStart()
{
    QFETCH(QString, row);
    traffic::Record record;
    QString error;
    for (const QByteArray &bytes : streamnotation::writes(row.section(QStringLiteral(" => "), 0, 0), {}, &error))
        record.written(bytes.constData(), bytes.size());
    QVERIFY(error.isEmpty());
    record.written("\x0A", 1);
    const QStringList expected = row.section(QStringLiteral(" => "), 1).split(QStringLiteral(" | "));
    QStringList names = namesOf(record).mid(0, expected.size());
    names.replaceInStrings(QRegularExpression(QStringLiteral("^$")), QStringLiteral("-"));
    QCOMPARE(names, expected);
}

void TestTraffic::saveWritesEveryEntryAndViewAndClearFollow()
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

    // The view is made when View > Traffic first shows it, and catches up.
    QVERIFY(!recorded.window.findChild<traffic::TrafficDock *>());
    recorded.window.show();
    widget<QAction>(recorded.window, "actionTraffic")->setChecked(true);
    auto *dock = widget<traffic::TrafficDock>(recorded.window, "trafficDock");
    QTRY_COMPARE(widget<QListView>(recorded.window, "trafficList")->model()->rowCount(), int(record.size()));
    widget<QPushButton>(recorded.window, "trafficClear")->click();
    QCOMPARE(record.size(), std::size_t(0));
    QCOMPARE(widget<QListView>(recorded.window, "trafficList")->model()->rowCount(), 0);
    QCOMPARE(widget<QLabel>(recorded.window, "trafficCount")->text(), QStringLiteral("0 entries"));
    // The stream goes on after a clear: the next command is still named.
    widget<QAbstractButton>(recorded.window, "pushButtonReset")->click();
    QCOMPARE(record.at(record.firstIndex()).name, QStringLiteral("initialize"));
    // Closed by its own button, the view unchecks the menu entry.
    dock->close();
    QVERIFY(!widget<QAction>(recorded.window, "actionTraffic")->isChecked());
}

void TestTraffic::memoryStaysBoundedOverALongSession()
{
    // A million writes, ten times what the record keeps: at most 64 MB more
    // resident memory, the oldest entries dropped and counted.
    const double before = residentMb();
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
    const double grown = residentMb() - before;
    QVERIFY2(grown < 64, qPrintable(QStringLiteral("%1 MB more").arg(grown)));
#endif

    QBuffer file;
    file.open(QIODevice::WriteOnly);
    QVERIFY(record.writeTo(file));
    QVERIFY(file.data().startsWith("Traffic since connect: 100000 entries, 900000 dropped"));
}

QTEST_MAIN(TestTraffic)
#include "tst_traffic.moc"
