// The settings dialog as a user meets it, on a machine with serial ports and
// on one without, and as ports and virtual printers come and go while it is
// open: the port list comes from stand-ins for the system's.

#include "support/kivotestaccess.h"

#include "serial/settingsdialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace {

const QString longPath = QStringLiteral("/tmp/kivo-virtual-printer");

QComboBox *portBox(SettingsDialog &dialog) { return widget<QComboBox>(dialog, "serialPortInfoListBox"); }

// Picks the last entry, "Custom", as from the list: also when it is already
// the current one.
void pickCustom(SettingsDialog &dialog)
{
    QComboBox *ports = portBox(dialog);
    ports->setCurrentIndex(ports->count() - 1);
    emit ports->activated(ports->count() - 1);
}

// A stand-in for the system's port list and the virtual printers running,
// which the test changes, counting how often the dialog asks.
struct FakeSystem
{
    QList<QStringList> ports;
    QList<serial::VirtualPrinterPort> printers;
    int scans = 0;
    PortLister lister()
    {
        return [this] {
            ++scans;
            return ports;
        };
    }
    PrinterLister printerLister()
    {
        return [this] { return printers; };
    }
};

QString printerEntry(int pid) { return QStringLiteral("kivo-virtual-printer \u2014 virtual printer, pid %1").arg(pid); }

QStringList port(const QString &name) { return portInfoDatum(name, name + " adapter", "", "", "/dev/" + name, 0, 0); }

QStringList entries(SettingsDialog &dialog)
{
    QStringList names;
    for (int i = 0; i < portBox(dialog)->count(); ++i)
        names << portBox(dialog)->itemText(i);
    return names;
}

QString description(SettingsDialog &dialog) { return widget<QLabel>(dialog, "descriptionLabel")->text(); }

void choose(SettingsDialog &dialog, const char *name, const QString &text)
{
    auto *box = widget<QComboBox>(dialog, name);
    box->setCurrentIndex(box->findText(text));
}

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void customTakesATypedPath_data();
    void customTakesATypedPath();
    void portListFollowsTheSystemWhileShown();
    void runningVirtualPrintersAreListedAsPorts();
};

void TestSettingsDialog::customTakesATypedPath_data()
{
    QTest::addColumn<QList<QStringList>>("ports");
    QTest::newRow("no serial ports") << QList<QStringList>{};
    QTest::newRow("two serial ports") << QList<QStringList>{
        portInfoDatum("ttyS0", "", "", "", "/dev/ttyS0", 0, 0),
        portInfoDatum("ttyUSB0", "USB serial", "Maker", "A1", "/dev/ttyUSB0", 0x403, 0x6001)};
}

void TestSettingsDialog::customTakesATypedPath()
{
    QFETCH(QList<QStringList>, ports);
    SettingsDialog dialog(
        nullptr, [ports] { return ports; }, [] { return QList<serial::VirtualPrinterPort>{}; });
    dialog.show();
    QComboBox *box = portBox(dialog);
    QCOMPARE(box->count(), ports.size() + 1);

    // Picking "Custom" again empties the field for a new path, ready to type.
    pickCustom(dialog);
    QTest::keyClicks(box->lineEdit(), "/dev/ttyACM9");
    widget<QWidget>(dialog, "baudRateBox")->setFocus();
    pickCustom(dialog);
    QCOMPARE(box->currentText(), QString());
    QCOMPARE(dialog.focusWidget(), box);
    QCOMPARE(box->lineEdit()->placeholderText(), QStringLiteral("/dev/ttyUSB0"));

    // A typical path fits the field whole; Enter applies it as typed and the
    // list gains no entry.
    QTest::keyClicks(box->lineEdit(), longPath);
    QVERIFY(box->lineEdit()->width() > box->lineEdit()->fontMetrics().horizontalAdvance(longPath));
    QTest::keyClick(box->lineEdit(), Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.serialSettings().portName, longPath);
    QCOMPARE(box->count(), ports.size() + 1);

    // A listed port is taken by its name.
    if (!ports.isEmpty()) {
        dialog.show();
        box->setCurrentIndex(1);
        emit box->activated(1);
        widget<QPushButton>(dialog, "applyButton")->click();
        QCOMPARE(dialog.serialSettings().portName, QStringLiteral("ttyUSB0"));
    }

    // The line's settings are kept once applied; a later choice closed
    // without Apply is not.
    dialog.show();
    choose(dialog, "baudRateBox", "9600");
    choose(dialog, "stopBitsBox", "1.5");
    choose(dialog, "parityBox", "Mark");
    choose(dialog, "flowControlBox", "RTS/CTS");
    QTest::mouseClick(widget<QPushButton>(dialog, "applyButton"), Qt::LeftButton);
    const SerialSettings s = dialog.serialSettings();
    QCOMPARE((QList<int>{s.baudRate, s.stopBits, s.parity, s.flowControl}),
             (QList<int>{9600, QSerialPort::OneAndHalfStop, QSerialPort::MarkParity, QSerialPort::HardwareControl}));
    QCOMPARE(s.stopBitsText, QStringLiteral("1.5"));
    dialog.show();
    choose(dialog, "baudRateBox", "375000");
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.serialSettings().baudRate, 9600);
}

void TestSettingsDialog::portListFollowsTheSystemWhileShown()
{
    FakeSystem system;
    system.ports = {port("ttyS0"), port("ttyUSB0")};
    SettingsDialog dialog(nullptr, system.lister(), system.printerLister());
    // Building the dialog (at the program's start) asks the system nothing;
    // Connect without a visit to the dialog takes the first port.
    QCOMPARE(system.scans, 0);
    QCOMPARE(dialog.serialSettings().portName, QStringLiteral("ttyS0"));
    dialog.show();
    QCOMPARE(system.scans, 2);
    QCOMPARE(entries(dialog), (QStringList{"ttyS0", "ttyUSB0", "Custom"}));
    portBox(dialog)->setCurrentIndex(1);

    // An adapter plugged in shows by itself; the choice stays.
    system.ports = {port("ttyACM0"), port("ttyS0"), port("ttyUSB0")};
    QTRY_COMPARE_WITH_TIMEOUT(entries(dialog), (QStringList{"ttyACM0", "ttyS0", "ttyUSB0", "Custom"}), 20000);
    QCOMPARE(portBox(dialog)->currentText(), QStringLiteral("ttyUSB0"));
    QVERIFY(description(dialog).contains("ttyUSB0 adapter"));

    // The chosen adapter unplugged: the first port is chosen and described.
    system.ports = {port("ttyACM0"), port("ttyS0")};
    widget<QPushButton>(dialog, "refreshButton")->click();
    QCOMPARE(entries(dialog), (QStringList{"ttyACM0", "ttyS0", "Custom"}));
    QCOMPARE(portBox(dialog)->currentText(), QStringLiteral("ttyACM0"));
    QVERIFY(description(dialog).contains("ttyACM0 adapter"));
    widget<QPushButton>(dialog, "applyButton")->click();
    QCOMPARE(dialog.serialSettings().portName, QStringLiteral("ttyACM0"));

    // Every port gone: "Custom" is left, ready for a path.
    dialog.show();
    system.ports.clear();
    widget<QPushButton>(dialog, "refreshButton")->click();
    QCOMPARE(entries(dialog), QStringList{"Custom"});
    QVERIFY(portBox(dialog)->isEditable());
    QCOMPARE(portBox(dialog)->currentText(), QString());

    // A port that comes while a path is typed leaves the text, its selection
    // and the cursor as they were. Closed, the dialog asks no more.
    QLineEdit *typing = portBox(dialog)->lineEdit();
    QTest::keyClicks(typing, "/dev/ttyAMA");
    typing->setSelection(8, -3);
    system.ports = {port("ttyS0")};
    widget<QPushButton>(dialog, "refreshButton")->click();
    QCOMPARE(entries(dialog), (QStringList{"ttyS0", "Custom"}));
    QCOMPARE(typing->text(), QStringLiteral("/dev/ttyAMA"));
    QCOMPARE(typing->selectedText(), QStringLiteral("tty"));
    QCOMPARE(typing->cursorPosition(), 5);
    QVERIFY(dialog.scansPorts());
    QTest::keyClick(typing, Qt::Key_Return);
    QCOMPARE(dialog.serialSettings().portName, QStringLiteral("/dev/ttyAMA"));
    QVERIFY(!dialog.scansPorts());
}

void TestSettingsDialog::runningVirtualPrintersAreListedAsPorts()
{
    // Below the system's ports, above "Custom"; chosen, the port is the link,
    // as if it had been typed for "Custom".
    FakeSystem system;
    system.ports = {port("ttyS0")};
    system.printers = {{"/tmp/kivo-virtual-printer", 4242, "/dev/pts/7"}, {"/run/user/1000/lab", 77, "/dev/pts/9"}};
    SettingsDialog dialog(nullptr, system.lister(), system.printerLister());
    dialog.show();
    QCOMPARE(entries(dialog), (QStringList{"ttyS0", printerEntry(4242), printerEntry(77), "Custom"}));
    portBox(dialog)->setCurrentIndex(1);
    QVERIFY(!portBox(dialog)->isEditable());
    QCOMPARE(description(dialog), QStringLiteral("Description: Virtual printer on /dev/pts/7"));
    // The whole entry shows, pid included.
    QVERIFY(portBox(dialog)->width() > portBox(dialog)->fontMetrics().horizontalAdvance(printerEntry(4242)));
    widget<QPushButton>(dialog, "applyButton")->click();
    QCOMPARE(dialog.serialSettings().portName, QStringLiteral("/tmp/kivo-virtual-printer"));

    // Started again on the same link, it stays chosen; stopped, it leaves the
    // list and the first port is chosen.
    dialog.show();
    system.printers[0].pid = 4343;
    widget<QPushButton>(dialog, "refreshButton")->click();
    QCOMPARE(portBox(dialog)->currentText(), printerEntry(4343));
    system.printers.removeFirst();
    widget<QPushButton>(dialog, "refreshButton")->click();
    QCOMPARE(entries(dialog), (QStringList{"ttyS0", printerEntry(77), "Custom"}));
    QCOMPARE(portBox(dialog)->currentText(), QStringLiteral("ttyS0"));
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settings_dialog.moc"
