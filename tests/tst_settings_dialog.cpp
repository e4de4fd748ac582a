// The settings dialog as a user meets it, on a machine with serial ports and
// on one without: the port list comes from a stand-in for the system's.

#include "support/kivotestaccess.h"

#include "serial/settingsdialog.h"

#include <QComboBox>
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

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void customTakesATypedPath_data();
    void customTakesATypedPath();
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
    SettingsDialog dialog(nullptr, [ports] { return ports; });
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
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settings_dialog.moc"
