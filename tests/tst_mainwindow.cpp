// The window as a user first meets it: layout, actions, menus, boxes.

#include "support/kivotestaccess.h"
#include "support/modalboxcloser.h"

#include "serial/settingsdialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QToolBar>

#include <memory>

namespace {

QStringList capturedWarnings;

void captureWarnings(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (type != QtDebugMsg && type != QtInfoMsg)
        capturedWarnings << message;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void buildsWithoutWarnings();
    void startsDisconnectedOnGeneralTab();
    void showsFiveTabsAndHidesCommandPage();
    void windowSizeAndTitle();
    void radioButtonsStartOnControllerDefaultsAndAreExclusivePerGroup();
    void actionsCarryTextsShortcutsAndIcons();
    void menusAndToolbarHoldTheirEntries();
    void buttonsHaveTheirLabels();
    void configureShowsTheOneModelessDialog();
    void aboutShowsVersionAndFirmware();
    void aboutQtShowsQtsBox();
    void menuMnemonicsChooseTheirActions();
    void quitClosesTheWindow();
    void previewLabelReplacesPlaceholder();

private:
    std::unique_ptr<MainWindow> window;
};

void TestMainWindow::init()
{
    window = std::make_unique<MainWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
}

void TestMainWindow::cleanup() { window.reset(); }

void TestMainWindow::buildsWithoutWarnings()
{
    // A misspelt handler name shows up only as a warning from the
    // connect-by-name pass; a missing object or icon likewise.
    capturedWarnings.clear();
    QtMessageHandler previous = qInstallMessageHandler(captureWarnings);
    {
        MainWindow second;
        second.show();
        QCoreApplication::processEvents();
    }
    qInstallMessageHandler(previous);
    QCOMPARE(capturedWarnings, QStringList());
}

void TestMainWindow::startsDisconnectedOnGeneralTab()
{
    QVERIFY(widget<QAction>(*window, "actionConnect")->isEnabled());
    QVERIFY(!widget<QAction>(*window, "actionDisconnect")->isEnabled());
    QVERIFY(widget<QAction>(*window, "actionConfigure")->isEnabled());
    QVERIFY(widget<QAction>(*window, "actionQuit")->isEnabled());
    QVERIFY(widget<QAction>(*window, "actionAbout")->isEnabled());
    QVERIFY(widget<QAction>(*window, "actionAboutQt")->isEnabled());

    QLabel *status = KivoTestAccess::statusLabel(*window);
    QCOMPARE(status->text(), QString());
    QCOMPARE(status->parentWidget(), widget<QStatusBar>(*window, "statusBar"));

    auto *tabs = widget<QTabWidget>(*window, "mainTabsKivo");
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("tab_1"));

    QCOMPARE(widget<QPlainTextEdit>(*window, "editKivo")->toPlainText(), QString());
    QVERIFY(!KivoTestAccess::serialPort(*window)->isOpen());
}

void TestMainWindow::showsFiveTabsAndHidesCommandPage()
{
    auto *tabs = widget<QTabWidget>(*window, "mainTabsKivo");
    QStringList titles;
    QStringList pages;
    for (int i = 0; i < tabs->count(); ++i) {
        titles << tabs->tabText(i);
        pages << tabs->widget(i)->objectName();
    }
    QCOMPARE(titles, (QStringList{"General", "Bar Codes", "Bitmaps ", "Cutter", "Controller"}));
    QCOMPARE(pages, (QStringList{"tab_1", "tab_2", "tab_3", "tab_6", "tab_4"}));

    // The page is kept, hidden, and nothing on it can be reached.
    auto *commandPage = widget<QWidget>(*window, "tab_5");
    QCOMPARE(tabs->indexOf(commandPage), -1);
    for (const char *name :
         {"lineEditControllerData", "pushButtonSendCommand", "pushButtonPrintCommand", "checkBoxHexEnable"}) {
        QWidget *w = widget<QWidget>(*window, name);
        QVERIFY2(!w->isVisibleTo(window.get()), name);
    }
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QVERIFY(!commandPage->isVisible());
    }
}

void TestMainWindow::windowSizeAndTitle()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Printer Kivo"));
    QCOMPARE(window->minimumSize(), QSize(880, 768));
    window->resize(400, 300);
    QVERIFY(window->width() >= 880);
    QVERIFY(window->height() >= 768);
    QCOMPARE(window->sizePolicy().horizontalPolicy(), QSizePolicy::Minimum);
    QCOMPARE(window->sizePolicy().verticalPolicy(), QSizePolicy::Fixed);

    auto *console = widget<QPlainTextEdit>(*window, "editKivo");
    QCOMPARE(console->height(), 200);
    QCOMPARE(console->lineWrapMode(), QPlainTextEdit::NoWrap);
    QVERIFY(!console->isReadOnly());
}

void TestMainWindow::radioButtonsStartOnControllerDefaultsAndAreExclusivePerGroup()
{
    const QStringList speeds{"radioButton9600",   "radioButton19200",  "radioButton38400", "radioButton57600",
                             "radioButton115200", "radioButton256000", "radioButton375000"};
    const QStringList flows{"radioButtonNoFlow", "radioButtonSoftFlow", "radioButtonHardFlow"};
    auto checked = [this](const QStringList &names) {
        QStringList on;
        for (const QString &n : names)
            if (widget<QRadioButton>(*window, n.toLatin1())->isChecked())
                on << n;
        return on;
    };
    QCOMPARE(checked(speeds), QStringList{"radioButton115200"});
    QCOMPARE(checked(flows), QStringList{"radioButtonSoftFlow"});
    QVERIFY(!widget<QCheckBox>(*window, "checkBoxBarCodeMargin")->isChecked());

    widget<QTabWidget>(*window, "mainTabsKivo")->setCurrentIndex(4);
    // Click the indicator: a radio button only reacts on its indicator and text.
    const QPoint indicator(6, 10);
    QTest::mouseClick(widget<QRadioButton>(*window, "radioButton375000"), Qt::LeftButton, {}, indicator);
    QCOMPARE(checked(speeds), QStringList{"radioButton375000"});
    QCOMPARE(checked(flows), QStringList{"radioButtonSoftFlow"});

    QTest::mouseClick(widget<QRadioButton>(*window, "radioButtonHardFlow"), Qt::LeftButton, {}, indicator);
    QCOMPARE(checked(flows), QStringList{"radioButtonHardFlow"});
    QCOMPARE(checked(speeds), QStringList{"radioButton375000"});
}

void TestMainWindow::actionsCarryTextsShortcutsAndIcons()
{
    struct Row
    {
        const char *name;
        const char *text;
        const char *shortcut;
        bool icon;
    };
    const Row rows[] = {
        {"actionAbout", "&About", "Alt+A", false},        {"actionAboutQt", "About Qt", "", false},
        {"actionConnect", "C&onnect", "Ctrl+O", true},    {"actionDisconnect", "&Disconnect", "Ctrl+D", true},
        {"actionConfigure", "&Configure", "Alt+C", true}, {"actionQuit", "&Quit", "Ctrl+Q", true},
    };
    for (const Row &row : rows) {
        auto *action = widget<QAction>(*window, row.name);
        QCOMPARE(action->text(), QString::fromLatin1(row.text));
        QCOMPARE(action->shortcut(), QKeySequence(QString::fromLatin1(row.shortcut)));
        QCOMPARE(!action->icon().isNull(), row.icon);
    }
    QCOMPARE(widget<QAction>(*window, "actionConnect")->toolTip(), QStringLiteral("Connect to serial port"));
    QCOMPARE(widget<QAction>(*window, "actionDisconnect")->toolTip(), QStringLiteral("Disconnect from serial port"));
    QCOMPARE(widget<QAction>(*window, "actionConfigure")->toolTip(), QStringLiteral("Configure serial port"));
    QCOMPARE(widget<QAction>(*window, "actionAbout")->toolTip(), QStringLiteral("About program"));
}

void TestMainWindow::menusAndToolbarHoldTheirEntries()
{
    auto names = [](const QList<QAction *> &actions) {
        QStringList list;
        for (QAction *a : actions)
            list << (a->isSeparator() ? QStringLiteral("|") : a->objectName());
        return list;
    };
    auto *bar = widget<QMenuBar>(*window, "menuBar");
    QStringList menuTitles;
    for (QAction *a : bar->actions())
        menuTitles << a->text();
    QCOMPARE(menuTitles, (QStringList{"Serial", "Settings", "Help"}));
    QCOMPARE(names(widget<QMenu>(*window, "menuCalls")->actions()),
             (QStringList{"actionConnect", "actionDisconnect", "|", "actionQuit"}));
    QCOMPARE(names(widget<QMenu>(*window, "menuTools")->actions()), QStringList{"actionConfigure"});
    QCOMPARE(names(widget<QMenu>(*window, "menuHelp")->actions()), (QStringList{"actionAbout", "actionAboutQt"}));
    auto *toolbar = widget<QToolBar>(*window, "mainToolBar");
    QCOMPARE(window->toolBarArea(toolbar), Qt::TopToolBarArea);
    QCOMPARE(names(toolbar->actions()), (QStringList{"actionConnect", "actionDisconnect", "actionConfigure"}));
}

void TestMainWindow::buttonsHaveTheirLabels()
{
    // The odd spellings and blanks are the program's own.
    QCOMPARE(widget<QPushButton>(*window, "pushButtonReset")->text(), QStringLiteral("Reset "));
    QCOMPARE(widget<QPushButton>(*window, "pushButtonPowerManagment")->text(), QStringLiteral("Power Managment"));
    QCOMPARE(widget<QPushButton>(*window, "pushButtonClear")->text(), QStringLiteral("Clear Buffer && Line Feed"));
    QCOMPARE(widget<QRadioButton>(*window, "radioButton115200")->text(), QStringLiteral("115200 bps  (*Default)"));
    QCOMPARE(widget<QRadioButton>(*window, "radioButtonSoftFlow")->text(),
             QStringLiteral("XON/XOFF Flow Control  (*Default)"));
    QCOMPARE(widget<QPushButton>(*window, "pushButton_Load")->toolTip(),
             QStringLiteral("Load an image for printing 58mm: max width 384 pix  80mm: max width 576"));

    // The "General" grid: 15 buttons, column 1 empty, Tab order = creation order.
    const QStringList generalOrder{"pushButtonFont",           "pushButtonReset",     "pushButtonFormatting",
                                   "pushButtonLanguage",       "pushButtonDensity",   "pushButtonStatus",
                                   "pushButtonAttributes",     "pushButtonClear",     "pushButtonReceipt",
                                   "pushButtonBitmap",         "pushButtonTabs",      "pushButtonVersion",
                                   "pushButtonPowerManagment", "pushButtonNextLabel", "pushButtonTestLabel"};
    QWidget *focus = widget<QWidget>(*window, "pushButtonFont");
    for (int i = 1; i < generalOrder.size(); ++i) {
        focus = focus->nextInFocusChain();
        QCOMPARE(focus->objectName(), generalOrder.at(i));
    }
    auto *grid = qobject_cast<QGridLayout *>(widget<QWidget>(*window, "layoutWidget")->layout());
    QVERIFY(grid);
    QCOMPARE(grid->count(), 15);
    for (int row = 0; row < grid->rowCount(); ++row)
        QVERIFY(!grid->itemAtPosition(row, 1));
    QCOMPARE(grid->itemAtPosition(2, 3)->widget()->objectName(), QStringLiteral("pushButtonClear"));
    QCOMPARE(grid->itemAtPosition(4, 3)->widget()->objectName(), QStringLiteral("pushButtonTestLabel"));
}

void TestMainWindow::configureShowsTheOneModelessDialog()
{
    auto *configure = widget<QAction>(*window, "actionConfigure");
    configure->trigger();
    configure->trigger();
    int dialogs = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (qobject_cast<SettingsDialog *>(w))
            ++dialogs;
    QCOMPARE(dialogs, 1);
    SettingsDialog *dialog = KivoTestAccess::settingsDialog(*window);
    QVERIFY(dialog->isVisible());
    QVERIFY(!dialog->isModal());
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(dialog->parent(), nullptr);
    dialog->hide();
}

void TestMainWindow::aboutShowsVersionAndFirmware()
{
    ModalBoxCloser closer;
    widget<QAction>(*window, "actionAbout")->trigger();
    QCOMPARE(closer.boxes.size(), 1);
    QCOMPARE(closer.boxes[0].title, QStringLiteral("Printer Kivo"));
    QCOMPARE(closer.boxes[0].text,
             QStringLiteral("<b>Printer Kivo Version: 1.1.3</b><br>For controller firmware of June 2020 and newer.  "));
}

void TestMainWindow::aboutQtShowsQtsBox()
{
    ModalBoxCloser closer;
    widget<QAction>(*window, "actionAboutQt")->trigger();
    QCOMPARE(closer.titles(), QStringList{"About Qt"});
}

void TestMainWindow::menuMnemonicsChooseTheirActions()
{
    // Help, then A: the about box.
    ModalBoxCloser closer;
    auto *help = widget<QMenu>(*window, "menuHelp");
    help->popup(window->mapToGlobal(QPoint(10, 10)));
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QTest::keyClick(help, Qt::Key_A);
    QTRY_COMPARE(closer.titles(), QStringList{"Printer Kivo"});

    // Settings, then C: the settings dialog.
    auto *settings = widget<QMenu>(*window, "menuTools");
    settings->popup(window->mapToGlobal(QPoint(10, 10)));
    QVERIFY(QTest::qWaitForWindowExposed(settings));
    QTest::keyClick(settings, Qt::Key_C);
    QTRY_VERIFY(KivoTestAccess::settingsDialog(*window)->isVisible());
    KivoTestAccess::settingsDialog(*window)->hide();

    // Alt+C from the window does the same.
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_C, Qt::AltModifier);
    QTRY_VERIFY(KivoTestAccess::settingsDialog(*window)->isVisible());
    KivoTestAccess::settingsDialog(*window)->hide();
}

void TestMainWindow::quitClosesTheWindow()
{
    QApplication::setActiveWindow(window.get());
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
    QTRY_VERIFY(!window->isVisible());
}

void TestMainWindow::previewLabelReplacesPlaceholder()
{
    auto *scrollArea = widget<QScrollArea>(*window, "scrollArea");
    QCOMPARE(scrollArea->widget(), KivoTestAccess::previewLabel(*window));
    QCOMPARE(scrollArea->backgroundRole(), QPalette::Dark);
    QCOMPARE(window->findChild<QWidget *>("scrollAreaWidgetContent"), nullptr);
    QCOMPARE(window->findChild<QLabel *>("imageLabel"), nullptr);
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
