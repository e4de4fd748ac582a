#include "serial/linesignalsbar.h"
#include "ui_linesignalsbar.h"

#include "serial/linesignals.h"

namespace {

// An input line: lit while on. The dynamic property "lit" says the same.
void showInput(QLabel *label, bool lit)
{
    label->setProperty("lit", lit);
    label->setStyleSheet(lit ? QStringLiteral("QLabel { background: #2e7d32; color: white; padding: 0 3px; }")
                             : QStringLiteral("QLabel { padding: 0 3px; }"));
}

QString onOff(bool on) { return on ? LineSignalsBar::tr("on") : LineSignalsBar::tr("off"); }

} // namespace

LineSignalsBar::LineSignalsBar(serial::LineSignals &lines, QWidget *parent)
    : QWidget(parent)
    , signalLines(lines)
{
    ui = new Ui::LineSignalsBar;
    ui->setupUi(this);
    connect(&signalLines, &serial::LineSignals::changed, this, &LineSignalsBar::showSignals);
    showSignals();
}

LineSignalsBar::~LineSignalsBar() { delete ui; }

void LineSignalsBar::on_buttonDtr_clicked(bool checked) { signalLines.setDtr(checked); }

void LineSignalsBar::on_buttonRts_clicked(bool checked) { signalLines.setRts(checked); }

void LineSignalsBar::on_buttonBreak_clicked() { signalLines.sendBreak(ui->spinBreakLength->value()); }

void LineSignalsBar::showSignals()
{
    const bool available = signalLines.availability() == serial::LineSignals::Availability::Available;
    const serial::ModemSignals &now = signalLines.signalState();
    ui->buttonDtr->setChecked(now.dtr);
    ui->buttonRts->setChecked(now.rts);
    ui->buttonBreak->setChecked(signalLines.isBreaking());
    ui->buttonDtr->setEnabled(available);
    ui->buttonRts->setEnabled(signalLines.rtsSwitchable());
    ui->buttonBreak->setEnabled(available && !signalLines.isBreaking());
    ui->spinBreakLength->setEnabled(available);
    for (QLabel *input : {ui->labelCts, ui->labelDsr, ui->labelDcd, ui->labelRi})
        input->setEnabled(available);
    showInput(ui->labelCts, now.cts);
    showInput(ui->labelDsr, now.dsr);
    showInput(ui->labelDcd, now.dcd);
    showInput(ui->labelRi, now.ri);
    showToolTips();
}

void LineSignalsBar::showToolTips()
{
    using Availability = serial::LineSignals::Availability;
    const Availability availability = signalLines.availability();
    if (availability != Availability::Available) {
        const QString why = availability == Availability::Disconnected
            ? tr("Connect to a serial port to switch and watch its control lines.")
            : tr("This port has no modem control lines (a pseudo-terminal, such as the virtual printer's, has "
                 "none).");
        for (QWidget *control :
             std::initializer_list<QWidget *>{ui->buttonDtr, ui->buttonRts, ui->buttonBreak, ui->spinBreakLength,
                                              ui->labelCts, ui->labelDsr, ui->labelDcd, ui->labelRi})
            control->setToolTip(why);
        return;
    }
    const serial::ModemSignals &now = signalLines.signalState();
    ui->buttonDtr->setToolTip(tr("Data Terminal Ready: %1; click to switch it").arg(onOff(now.dtr)));
    ui->buttonRts->setToolTip(signalLines.rtsSwitchable()
                                  ? tr("Request To Send: %1; click to switch it").arg(onOff(now.rts))
                                  : tr("RTS/CTS flow control drives Request To Send."));
    ui->buttonBreak->setToolTip(tr("Holds the line in break (at space) for the length beside it"));
    ui->spinBreakLength->setToolTip(tr("Length of the break"));
    ui->labelCts->setToolTip(tr("Clear To Send: %1").arg(onOff(now.cts)));
    ui->labelDsr->setToolTip(tr("Data Set Ready: %1").arg(onOff(now.dsr)));
    ui->labelDcd->setToolTip(tr("Data Carrier Detect: %1").arg(onOff(now.dcd)));
    ui->labelRi->setToolTip(tr("Ring Indicator: %1").arg(onOff(now.ri)));
}
