#pragma once

// The line's control signals in the status bar: DTR and RTS as toggles,
// Break with its length, and the input lines CTS, DSR, DCD and RI lit while
// they are on. Off, with the reason as tooltip, where there is no port or
// the port has no such lines.

#include <QWidget>

namespace Ui {
class LineSignalsBar;
}

namespace serial {
class LineSignals;
}

class LineSignalsBar : public QWidget
{
    Q_OBJECT

public:
    explicit LineSignalsBar(serial::LineSignals &lines, QWidget *parent = nullptr);
    ~LineSignalsBar() override;

private slots:
    void on_buttonDtr_clicked(bool checked);
    void on_buttonRts_clicked(bool checked);
    void on_buttonBreak_clicked();

private:
    void showSignals();
    void showToolTips();

    Ui::LineSignalsBar *ui = nullptr;
    serial::LineSignals &signalLines;
};
