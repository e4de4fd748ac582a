#pragma once

#include <QByteArray>
#include <QString>

// A real pseudo-terminal pair. The program opens the slave path as a user's
// "Custom" port; the test plays the controller on the master side. Closing
// the master is how a vanished device looks to the program.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    // The master side's descriptor (non-blocking), for a peer that runs on
    // threads of its own.
    int masterFd() const { return master; }
    QString slavePath() const { return path; }

    // Reads what the program sent, running the event loop meanwhile (the
    // program's port only transmits from the event loop). Returns when
    // `count` bytes have arrived or after `timeoutMs` of no progress.
    QByteArray read(qint64 count, int timeoutMs = 2000);

    // The controller's side of the line: bytes to the program.
    bool write(const QByteArray &bytes);

private:
    int master = -1;
    int slaveKeeper = -1; // keeps the pair alive while the program's port is closed
    QString path;
};
