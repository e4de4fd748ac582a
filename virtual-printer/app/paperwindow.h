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

class PaperWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit PaperWindow(kvp::Service &service, QWidget *parent = nullptr);

private:
    void refresh();

    kvp::Service &m_service;
    QScrollArea *m_scroll;
    QLabel *m_paper;
    QPlainTextEdit *m_log;
    QLabel *m_status;
    QTimer m_timer;
    std::uint64_t m_revision = ~0ull;
    QImage m_lastPage;
    QString m_lastPagePath;
};
