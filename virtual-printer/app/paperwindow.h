#pragma once
// The window: the paper as it grows, every page of the session to browse
// (read back from its file), the command log beside it, and the state of
// the line in the status bar.

#include "pageopener.h"
#include "paperview.h"
#include "service.h"

#include <QMainWindow>
#include <QTimer>

#include <vector>

class QAction;
class QActionGroup;
class QLabel;
class QScrollArea;
class QSplitter;
class QTreeView;
class LogModel;

class PaperWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit PaperWindow(kvp::Service &printerService, QWidget *parent = nullptr);

    // Sizes and places the window, its frame included, within `available`
    // (the screen's area without its panels).
    void placeWithin(const QRect &available);
    // The page shown: an index into the service's written pages, or -1 for
    // the page being printed (or, until the next one begins, the last
    // finished one).
    int shownPage() const { return browsed; }
    void showPage(int index);
    void showLive() { showPage(-1); }
    void showPrevious();
    void showNext();
    void setZoom(PaperView::Zoom zoom);
    const PaperView &paperView() const { return *view; }
    // What the page counter in the tool bar says.
    QString pageCounter() const;
    // Opens the file of the page shown; says so when nothing could.
    void openPageFile();
    void setPageOpener(PageOpener opener) { pageOpener = std::move(opener); }
    // Takes in what was printed; runs on a timer.
    void refresh();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildToolBar();
    void buildLog();
    void fitLogColumns();
    void followPrinting(bool atEnd);
    void updateActions();
    void updateStatus();
    QString shownFile() const;
    void reportNotOpened(const QString &path, const QString &why);

    kvp::Service &service;
    QScrollArea *scroll;
    PaperView *view;
    QSplitter *splitter;
    QTreeView *log;
    LogModel *logModel;
    QLabel *status;
    QLabel *pageLabel = nullptr;
    QAction *previousAction = nullptr;
    QAction *nextAction = nullptr;
    QAction *liveAction = nullptr;
    QAction *openAction = nullptr;
    QActionGroup *zoomGroup = nullptr;
    QTimer timer;
    int browsed = -1;
    // The last finished page, shown while the next one has not begun.
    QImage finished;
    int finishedNumber = 0;
    QString finishedPath;   // its file, once written
    int shownFinished = -1; // the finished page in view, 0 for the live paper, -1 to be decided
    std::vector<kvp::LogEntry> pendingLog;
    PageOpener pageOpener;
    QString lostPage; // why the last lost page could not be written
    QString limit;    // the last output limit reached
};
