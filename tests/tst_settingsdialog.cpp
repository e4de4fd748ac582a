// The serial settings dialog: its defaults, the "Custom" entry and what
// Apply stores.

#include "serial/settingsdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QTest>

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void proposesControllerDefaultsWithoutBeingOpened();
    void portListEndsWithCustom();
    void customEntryTakesATypedPathOnApply();
    void stopBitsOneAndAHalfStoresThree();
    void closingWithoutApplyKeepsSettings();
    void portDatumFormatting_data();
    void portDatumFormatting();
    void customEntryShowsNotAvailableDetails();
    void windowProperties();

private:
    static QComboBox *box(SettingsDialog &d, const char *name) { return d.findChild<QComboBox *>(name); }
    static void select(SettingsDialog &d, const char *boxName, const QString &text)
    {
        QComboBox *b = box(d, boxName);
        const int i = b->findText(text);
        QVERIFY2(i >= 0, qPrintable(text));
        b->setCurrentIndex(i);
    }
};

void TestSettingsDialog::proposesControllerDefaultsWithoutBeingOpened()
{
    SettingsDialog dialog;
    const SerialSettings s = dialog.serialSettings();
    const auto ports = QSerialPortInfo::availablePorts();
    QCOMPARE(s.portName, ports.isEmpty() ? QString() : ports.first().portName());
    QCOMPARE(s.baudRate, 115200);
    QCOMPARE(s.baudRateText, QStringLiteral("115200"));
    QCOMPARE(s.dataBits, QSerialPort::Data8);
    QCOMPARE(s.dataBitsText, QStringLiteral("8"));
    QCOMPARE(s.parity, QSerialPort::NoParity);
    QCOMPARE(s.parityText, QStringLiteral("None"));
    QCOMPARE(s.stopBits, QSerialPort::OneStop);
    QCOMPARE(s.stopBitsText, QStringLiteral("1"));
    QCOMPARE(s.flowControl, QSerialPort::SoftwareControl);
    QCOMPARE(s.flowControlText, QStringLiteral("XON/XOFF"));
}

void TestSettingsDialog::portListEndsWithCustom()
{
    SettingsDialog dialog;
    QComboBox *ports = box(dialog, "serialPortInfoListBox");
    QCOMPARE(ports->count(), int(QSerialPortInfo::availablePorts().size()) + 1);
    QCOMPARE(ports->itemText(ports->count() - 1), QStringLiteral("Custom"));
    QVERIFY(!ports->itemData(ports->count() - 1).isValid());

    // Every parameter entry carries its enumeration value.
    QComboBox *parity = box(dialog, "parityBox");
    QStringList parityPairs;
    for (int i = 0; i < parity->count(); ++i)
        parityPairs << parity->itemText(i) + "=" + parity->itemData(i).toString();
    QCOMPARE(parityPairs, (QStringList{"None=0", "Even=2", "Odd=3", "Mark=5", "Space=4"}));
    QComboBox *flow = box(dialog, "flowControlBox");
    QCOMPARE(flow->itemText(0), QStringLiteral("XON/XOFF"));
    QCOMPARE(flow->itemData(2).toInt(), int(QSerialPort::HardwareControl));
    QComboBox *rates = box(dialog, "baudRateBox");
    QCOMPARE(rates->count(), 7);
    QCOMPARE(rates->itemData(6).toInt(), 375000);
    QVERIFY(!rates->isEditable());
}

void TestSettingsDialog::customEntryTakesATypedPathOnApply()
{
    SettingsDialog dialog;
    dialog.show();
    QComboBox *ports = box(dialog, "serialPortInfoListBox");
    ports->setCurrentIndex(ports->count() - 1);
    QVERIFY(ports->isEditable());
    QCOMPARE(ports->currentText(), QString());

    QTest::keyClicks(ports->lineEdit(), "/dev/ttyUSB0");
    select(dialog, "baudRateBox", "9600");
    select(dialog, "flowControlBox", "RTS/CTS");
    QTest::mouseClick(dialog.findChild<QPushButton *>("applyButton"), Qt::LeftButton);

    QVERIFY(!dialog.isVisible());
    const SerialSettings s = dialog.serialSettings();
    QCOMPARE(s.portName, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(s.baudRate, 9600);
    QCOMPARE(s.baudRateText, QStringLiteral("9600"));
    QCOMPARE(s.flowControl, QSerialPort::HardwareControl);
    QCOMPARE(s.flowControlText, QStringLiteral("RTS/CTS"));
}

void TestSettingsDialog::stopBitsOneAndAHalfStoresThree()
{
    SettingsDialog dialog;
    select(dialog, "stopBitsBox", "1.5");
    select(dialog, "parityBox", "Mark");
    select(dialog, "dataBitsBox", "7");
    QMetaObject::invokeMethod(&dialog, "apply");
    const SerialSettings s = dialog.serialSettings();
    QCOMPARE(int(s.stopBits), 3);
    QCOMPARE(s.stopBitsText, QStringLiteral("1.5"));
    QCOMPARE(s.parity, QSerialPort::MarkParity);
    QCOMPARE(s.parityText, QStringLiteral("Mark"));
    QCOMPARE(s.dataBits, QSerialPort::Data7);
}

void TestSettingsDialog::closingWithoutApplyKeepsSettings()
{
    SettingsDialog dialog;
    dialog.show();
    select(dialog, "baudRateBox", "375000");
    select(dialog, "stopBitsBox", "2");
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.serialSettings().baudRate, 115200);
    QCOMPARE(dialog.serialSettings().stopBitsText, QStringLiteral("1"));

    // Shown again, it is the same dialog with the unapplied choice.
    dialog.show();
    QCOMPARE(box(dialog, "baudRateBox")->currentText(), QStringLiteral("375000"));
}

void TestSettingsDialog::portDatumFormatting_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<quint16>("vid");
    QTest::addColumn<quint16>("pid");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("all known") << "USB serial" << quint16(0x4AB) << quint16(0x6001)
                               << QStringList{"ttyUSB0", "USB serial", "Maker", "A1B2", "/dev/ttyUSB0", "4ab", "6001"};
    QTest::newRow("empty and zero") << "" << quint16(0) << quint16(0)
                                    << QStringList{"ttyUSB0", "N/A", "Maker", "A1B2", "/dev/ttyUSB0", "N/A", "N/A"};
    QTest::newRow("no padding") << "x" << quint16(0x000F) << quint16(0xFFFF)
                                << QStringList{"ttyUSB0", "x", "Maker", "A1B2", "/dev/ttyUSB0", "f", "ffff"};
}

void TestSettingsDialog::portDatumFormatting()
{
    QFETCH(QString, description);
    QFETCH(quint16, vid);
    QFETCH(quint16, pid);
    QFETCH(QStringList, expected);
    QCOMPARE(portInfoDatum("ttyUSB0", description, "Maker", "A1B2", "/dev/ttyUSB0", vid, pid), expected);
    QCOMPARE(portInfoDatum("p", "", "", "", "", 0, 0).mid(1, 3), (QStringList{"N/A", "N/A", "N/A"}));
}

void TestSettingsDialog::customEntryShowsNotAvailableDetails()
{
    SettingsDialog dialog;
    QComboBox *ports = box(dialog, "serialPortInfoListBox");
    ports->setCurrentIndex(ports->count() - 1);
    QCOMPARE(dialog.findChild<QLabel *>("descriptionLabel")->text(), QStringLiteral("Description: N/A"));
    QCOMPARE(dialog.findChild<QLabel *>("vidLabel")->text(), QStringLiteral("Vendor Identifier: N/A"));
    QCOMPARE(dialog.findChild<QLabel *>("pidLabel")->text(), QStringLiteral("Product Identifier: N/A"));
    QCOMPARE(dialog.findChild<QLabel *>("locationLabel")->text(), QStringLiteral("Location: N/A"));
}

void TestSettingsDialog::windowProperties()
{
    SettingsDialog dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("SettingsDialog"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Settings"));
    QCOMPARE(dialog.size(), QSize(364, 326));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowContextHelpButtonHint));
    QCOMPARE(box(dialog, "baudRateBox")->insertPolicy(), QComboBox::NoInsert);
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
