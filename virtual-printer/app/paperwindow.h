#pragma once
// The window: the paper as it grows, every page of the session to browse
// (read back from its file), the command log beside it, and the state of
// the line in the status bar.

#include "paperview.h"
#include "service.h"

#include <QMainWindow>
#include <QTimer>

class QAction;
class QActionGroup;
class QLabel;
class QPlainTextEdit;
class QScrollArea;

class PaperWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit PaperWindow(kvp::Service &printerService, QWidget *parent = nullptr);

    // The page shown: an index into the service's written pages, or -1 for
    // the page being printed.
    int shownPage() const { return browsed; }
    void showPage(int index);
    void showLive() { showPage(-1); }
    void showPrevious();
    void showNext();
    void setZoom(PaperView::Zoom zoom);
    const PaperView &paperView() const { return *view; }
    // Takes in what was printed; runs on a timer.
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildToolBar();
    void updateActions();
    void updateStatus();
    void openPageFile();

    kvp::Service &service;
    QScrollArea *scroll;
    PaperView *view;
    QPlainTextEdit *log;
    QLabel *status;
    QLabel *pageLabel = nullptr;
    QAction *previousAction = nullptr;
    QAction *nextAction = nullptr;
    QAction *liveAction = nullptr;
    QAction *openAction = nullptr;
    QActionGroup *zoomGroup = nullptr;
    QTimer timer;
    int browsed = -1;
    QStringList pendingLog;
    QString lostPage; // why the last lost page could not be written
    QString limit;    // the last output limit reached
};
