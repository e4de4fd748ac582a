#pragma once
// The window: the paper as it grows, the command log beside it, and the
// state of the line in the status bar.

#include "service.h"

#include <QImage>
#include <QMainWindow>
#include <QTimer>

class QLabel;
class QPlainTextEdit;
class QScrollArea;

class PaperWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit PaperWindow(kvp::Service &printerService, QWidget *parent = nullptr);

private:
    void refresh();

    kvp::Service &service;
    QScrollArea *scroll;
    QLabel *paper;
    QPlainTextEdit *log;
    QLabel *status;
    QTimer timer;
    uint64_t revision = ~0ull;
    QImage lastPage;
    QString lastPagePath;
    QString lostPage; // why the last lost page could not be written
};
