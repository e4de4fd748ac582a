#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "app/consolelimit.h"
#include "app/monopreview.h"
#include "app/transferpanel.h"
#include "serial/linein.h"
#include "serial/linesignals.h"
#include "serial/linesignalsbar.h"
#include "serial/seriallink.h"
#include "serial/settingsdialog.h"
#include "traffic/trafficdock.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QShortcut>

// The icons live in the kivo_app static library; a static library's
// resources must be registered by hand, outside any namespace.
static void initialiseIconResources() { Q_INIT_RESOURCE(images); }

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
{
    initialiseIconResources();

    ui = new Ui::MainWindow;
    statusLabel = new QLabel;
    serialLink = new serial::SerialLink(this);
    link = serialLink;
    previewLabel = new MonoPreview;
    lineOut.setDevice(serialLink->device());
    lineIn = new serial::LineIn(this);
    transfer = new serial::Transfer(lineOut, timing::Clock::system(), this);
    useClock(timing::Clock::system());
    transferPanel = new TransferPanel;

    ui->setupUi(this);

    ui->actionConnect->setEnabled(true);
    ui->actionDisconnect->setEnabled(false);
    ui->actionQuit->setEnabled(true);
    ui->actionConfigure->setEnabled(true);

    ui->statusBar->addWidget(statusLabel);
    ui->statusBar->addPermanentWidget(transferPanel);
    transferPanel->hide();
    lineSignals = new serial::LineSignals(timing::Clock::system(), this);
    ui->statusBar->addPermanentWidget(new LineSignalsBar(*lineSignals));

    ui->scrollArea->setBackgroundRole(QPalette::Dark);
    ui->scrollArea->setWidget(previewLabel);
    ui->scrollArea->setVisible(true);

    wireActions();
    wireTraffic();

    connect(serialLink, &serial::Link::lost, this, &MainWindow::handleLost);
    connect(serialLink, &serial::Link::opened, this, &MainWindow::linkOpened);
    connect(serialLink, &serial::Link::refused, this, &MainWindow::linkRefused);
    connect(serialLink->device(), &QIODevice::readyRead, this, &MainWindow::readData);
    new ConsoleLimit(ui->editKivo);
    replyEnd = QTextCursor(ui->editKivo->document());
    replyEnd.setKeepPositionOnInsert(true); // a line written after the reply does not move it
    connect(lineIn, &serial::LineIn::textArrived, this, &MainWindow::showReply);
    connect(transfer, &serial::Transfer::progressed, this, &MainWindow::showTransferProgress);
    connect(transfer, &serial::Transfer::finished, this, &MainWindow::transferFinished);
    connect(transferPanel, &TransferPanel::stopRequested, this, &MainWindow::stopTransfer);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &MainWindow::stopTransfer);
    wireCommandTab();
}

MainWindow::~MainWindow()
{
    // A recording ends its file with the record's clock, which goes with
    // the window's members, before the window's children.
    delete trafficDock;
    delete settingsDialog;
    delete ui;
}

void MainWindow::wireActions()
{
    connect(ui->actionConnect, &QAction::triggered, this, &MainWindow::openSerialPort);
    connect(ui->actionDisconnect, &QAction::triggered, this, &MainWindow::closeSerialPort);
    connect(ui->actionQuit, &QAction::triggered, this, &MainWindow::close);
    connect(ui->actionConfigure, &QAction::triggered, this, [this] { settings()->present(); });
    connect(ui->actionAbout, &QAction::triggered, this, &MainWindow::about);
    connect(ui->actionAboutQt, &QAction::triggered, qApp, &QApplication::aboutQt);
}

void MainWindow::wireTraffic()
{
    // Hidden, and not even built, until the user asks for it: the window is
    // as it always was and starts no slower. The record runs from Connect.
    auto *viewMenu = new QMenu(tr("&View"), ui->menuBar);
    viewMenu->setObjectName(QStringLiteral("menuView"));
    QAction *showTraffic = viewMenu->addAction(tr("Traffic"));
    showTraffic->setObjectName(QStringLiteral("actionTraffic"));
    showTraffic->setCheckable(true);
    connect(showTraffic, &QAction::toggled, this, [this](bool shown) { trafficView()->setVisible(shown); });
    ui->menuBar->insertMenu(ui->menuHelp->menuAction(), viewMenu);

    lineOut.setObserver([this](const char *data, qint64 size) {
        trafficRecord.written(data, size);
        controller.written(data, size);
    });
    lineIn->setObserver([this](const QByteArray &bytes) { trafficRecord.read(bytes); });
}

traffic::TrafficDock *MainWindow::trafficView()
{
    if (!trafficDock) {
        trafficDock = new traffic::TrafficDock(trafficRecord, this);
        trafficDock->dockInto(*this);
        // The dock's own close button unchecks the menu entry.
        auto *showTraffic = findChild<QAction *>(QStringLiteral("actionTraffic"));
        connect(trafficDock->toggleViewAction(), &QAction::toggled, showTraffic, &QAction::setChecked);
    }
    return trafficDock;
}

// Built when first needed rather than at start-up, which it would slow. A
// child of the window: it goes when the window goes, and never keeps the
// program running on its own.
SettingsDialog *MainWindow::settings()
{
    if (!settingsDialog) {
        settingsDialog = new SettingsDialog(this);
        settingsDialog->setReadOnly(lineOut.isOpen());
    }
    return settingsDialog;
}

void MainWindow::setStatusText(const QString &message) { statusLabel->setText(message); }

void MainWindow::about()
{
    QMessageBox::about(this, tr("Printer Kivo"),
                       tr("<b>Printer Kivo Version: 1.1.3</b><br>"
                          "For controller firmware of June 2020 and newer.  "));
}
