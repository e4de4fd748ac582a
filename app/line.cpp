// The window's ends of the line: the guard every demonstration passes, the
// way out (serial/lineout), the way in (serial/linein) and the wait for an
// answer.

#include "app/mainwindow.h"
#include "ui_mainwindow.h"

#include "demos/script.h"
#include "serial/linein.h"

#include <QMessageBox>

namespace {

// How long a request waits for the first byte of its answer; the console
// line that says so names it.
constexpr int answerWaitMs = 1000;

} // namespace

bool MainWindow::connectionGuard()
{
    // A second job would put its bytes in the middle of the first one's.
    if (transfer->isRunning()) {
        QMessageBox::information(
            this, tr("Busy"), tr("%1 is still being sent. Wait for it to end, or press Stop (Esc).").arg(transferName));
        return false;
    }
    if (lineOut.isOpen())
        return true;
    QMessageBox::about(this, tr("Serial Port Connect"), tr("Please configure and connect to the serial port first!"));
    return false;
}

bool MainWindow::runDemo(const demos::Demo &demo)
{
    if (!connectionGuard())
        return false;

    if (demo.console == demos::Demo::Console::Replace) {
        ui->editKivo->clear();
        ui->editKivo->insertPlainText(demo.title);
        for (const QString &line : demo.lines)
            ui->editKivo->appendPlainText(line);
    }
    for (const demos::Step &step : demo.script) {
        if (step.isConsoleLine)
            ui->editKivo->appendPlainText(step.consoleLine);
        else
            lineOut.send(step.command);
    }
    if (demo.readRepliesAfterSending) {
        readData();
        awaitAnswer();
    }
    return true;
}

void MainWindow::Write(const uint8_t *buf, size_t buflen)
{
    lineOut.write(reinterpret_cast<const char *>(buf), qint64(buflen));
}

void MainWindow::readData()
{
    // From the port's signal the console update may wait for the end of a
    // frame; a request that asks for what has already come in gets it now.
    const auto delivery =
        sender() == lineOut.device() ? serial::LineIn::Delivery::Batched : serial::LineIn::Delivery::Now;
    if (lineOut.device()->bytesAvailable() > 0)
        answerWait->stop();
    lineIn->read(*lineOut.device(), delivery);
}

void MainWindow::showReply(const QString &text)
{
    // Replies go in where the console's cursor stands. At the end of a line
    // that is not the last reply's end, the program has written a line of
    // its own meanwhile, and the reply must not be glued to it.
    const QTextCursor cursor = ui->editKivo->textCursor();
    if (cursor.atEnd() && !cursor.atBlockStart() && cursor.position() != replyEnd.position())
        ui->editKivo->insertPlainText(QStringLiteral("\n"));
    ui->editKivo->insertPlainText(text);
    replyEnd.setPosition(ui->editKivo->textCursor().position());
}

void MainWindow::useClock(timing::Clock &clock)
{
    transfer->setClock(clock);
    linkClock = &clock;
    useAnswerClock(clock);
}

void MainWindow::useAnswerClock(timing::Clock &clock)
{
    answerWait = clock.timer([this] { reportNoAnswer(); }, true);
}

void MainWindow::awaitAnswer() { answerWait->start(answerWaitMs); }

void MainWindow::reportNoAnswer()
{
    if (lineOut.isOpen())
        ui->editKivo->appendPlainText(tr("No answer from the controller within 1 s."));
}
