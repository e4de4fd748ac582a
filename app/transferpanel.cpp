#include "app/transferpanel.h"

#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>

TransferPanel::TransferPanel(QWidget *parent)
    : QWidget(parent)
{
    bar = new QProgressBar(this);
    bar->setObjectName(QStringLiteral("transferProgress"));
    bar->setRange(0, 1000); // per mille: byte counts do not fit an int
    bar->setMinimumWidth(320);
    stopButton = new QPushButton(tr("Stop"), this);
    stopButton->setObjectName(QStringLiteral("transferStop"));
    stopButton->setToolTip(tr("Stops after the part on its way, so the controller is ready for the next job (Esc)"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(bar);
    layout->addWidget(stopButton);
    connect(stopButton, &QPushButton::clicked, this, &TransferPanel::stopRequested);
}

void TransferPanel::showProgress(qint64 sent, qint64 total, qint64 msLeft)
{
    bar->setValue(total > 0 ? int(sent * 1000 / total) : 0);
    const QString left = msLeft < 0 ? tr("time left unknown") : tr("%1 left").arg(durationText(msLeft));
    bar->setFormat(tr("%1 of %2 kB, %3").arg(sent / 1024).arg(total / 1024).arg(left));
    stopButton->setEnabled(true);
}

void TransferPanel::showStopping()
{
    bar->setFormat(tr("Stopping after the part on its way..."));
    stopButton->setEnabled(false);
}

QString durationText(qint64 ms)
{
    const qint64 seconds = (ms + 999) / 1000;
    QString minutesAndSeconds =
        QStringLiteral("%1:%2").arg(seconds / 60 % 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (seconds < 3600)
        return minutesAndSeconds;
    return QStringLiteral("%1:%2").arg(seconds / 3600).arg(minutesAndSeconds.rightJustified(5, QLatin1Char('0')));
}
