#pragma once

// The status bar's view of a long send: how far it got, the time left, and
// a Stop button. It shows; the window decides.

#include <QWidget>

class QProgressBar;
class QPushButton;

class TransferPanel : public QWidget
{
    Q_OBJECT

public:
    explicit TransferPanel(QWidget *parent = nullptr);

    // `msLeft` below 0: not known yet.
    void showProgress(qint64 sent, qint64 total, qint64 msLeft);
    void showStopping();

signals:
    void stopRequested();

private:
    QProgressBar *bar = nullptr;
    QPushButton *stopButton = nullptr;
};

// "0:07", "2:47", "1:02:03".
QString durationText(qint64 ms);
