// The window: its place on the screen, browsing the pages of the session,
// the last page kept in view, opening a page's file, the zooms, and the live
// page following the printer with only its new rows repainted.

#include "paperwindow.h"
#include "vpstream.h"

#include <QClipboard>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// A solid raster picture `rows` dots high, 8 dots wide.
QByteArray picture(int rows) { return vptest::Stream().raster(0, 1, rows, QByteArray(rows, '\xFF')).bytes; }
const QByteArray cut("\x1B\x69", 2);
} // namespace

class TestPaperWindow : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        kvp::ServiceSettings settings;
        settings.linkPath.clear();
        settings.outputDir = dir.filePath(QStringLiteral("out"));
        service = std::make_unique<kvp::Service>(settings);
        QString error;
        QVERIFY2(service->start(&error), qPrintable(error));
        window = std::make_unique<PaperWindow>(*service);
        window->show();
    }
    void cleanup()
    {
        window.reset();
        service.reset();
    }

    void opensWithinTheAvailableArea()
    {
        const QRect areas[] = {
            {0, 0, 1366, 768},    // the screen of a small laptop
            {0, 27, 1366, 741},   // the same with a panel at the top
            {1920, 0, 1024, 600}, // a small screen right of another
            {0, 0, 2560, 1440},   // room to spare: the preferred size
        };
        for (const QRect &area : areas) {
            window->placeWithin(area);
            QVERIFY2(area.contains(window->frameGeometry()),
                     qPrintable(QStringLiteral("%1,%2 %3x%4")
                                    .arg(window->x())
                                    .arg(window->y())
                                    .arg(window->width())
                                    .arg(window->height())));
        }
        QCOMPARE(window->size(), QSize(1280, 800));
    }

    void keepsTheLastPageUntilTheNextBegins()
    {
        kvp::PrinterCore &core = service->printer().core();
        QString opened;
        window->setPageOpener([&opened](const QString &path, const OpenFailed &) { opened = path; });
        // Bytes printed, then the rows in view and what the page counter says.
        const struct
        {
            QByteArray bytes;
            int rows;
            const char *counter;
        } steps[] = {
            {picture(100), 100, "printing page 1"},
            {cut, 100, "printed page 1"},
            {QByteArray("\x1B\x4A\x18", 3), 100, "printed page 1"}, // paper fed: nothing printed on it yet
            {picture(40), 64, "printing page 2"},                   // the feed, then the picture
        };
        for (const auto &s : steps) {
            core.feed(s.bytes);
            window->refresh();
            QCOMPARE(window->paperView().paperRows(), s.rows);
            QVERIFY2(window->pageCounter().startsWith(QLatin1String(s.counter)), qPrintable(window->pageCounter()));
            if (qstrcmp(s.counter, "printed page 1") == 0) {
                QTRY_VERIFY(window->pageCounter().contains(QLatin1String("page-0001.png")));
                window->openPageFile();
                QVERIFY(opened.endsWith(QLatin1String("/page-0001.png")));
            }
        }
        QCOMPARE(window->shownPage(), -1);
    }

    void reportsAPageNothingOpens()
    {
        service->printer().core().feed(picture(100) + cut);
        QTRY_COMPARE(service->pagesWritten().size(), 1);
        window->setPageOpener([](const QString &, const OpenFailed &failed) { failed(QStringLiteral("no viewer")); });
        window->showPrevious();
        window->openPageFile();
        auto *box = window->findChild<QMessageBox *>();
        QVERIFY(box && box->isVisible());
        const QString path = QFileInfo(service->pagesWritten().at(0)).absoluteFilePath();
        QVERIFY(box->text().contains(QLatin1String("no viewer")));
        QCOMPARE(box->informativeText(), path);
        const QList<QPushButton *> buttons = box->findChildren<QPushButton *>();
        const auto copy = std::find_if(buttons.begin(), buttons.end(),
                                       [](QPushButton *b) { return b->text() == QLatin1String("Copy path"); });
        QVERIFY(copy != buttons.end());
        (*copy)->click();
        QCOMPARE(QGuiApplication::clipboard()->text(), path);
    }

    void browsesWrittenPagesAndTheLiveOne()
    {
        kvp::PrinterCore &core = service->printer().core();
        core.feed(picture(100) + cut + picture(300) + cut + picture(40));
        QTRY_COMPARE(service->pagesWritten().size(), 2); // pages are written on a thread of their own
        // Each step: the action, then the page shown and its height in dots.
        const struct
        {
            void (PaperWindow::*step)();
            int page, rows;
        } steps[] = {
            {&PaperWindow::showPrevious, 1, 300}, {&PaperWindow::showPrevious, 0, 100},
            {&PaperWindow::showPrevious, 0, 100}, {&PaperWindow::showNext, 1, 300},
            {&PaperWindow::showNext, -1, 40},     {&PaperWindow::showNext, -1, 40},
        };
        for (const auto &s : steps) {
            (window.get()->*s.step)();
            QCOMPARE(window->shownPage(), s.page);
            QCOMPARE(window->paperView().paperRows(), s.rows);
        }
    }

    void zoomsChangeTheScale()
    {
        service->printer().core().feed(picture(100));
        window->refresh();
        const int dots = service->printer().core().paper().width();
        const int available = window->findChild<QScrollArea *>()->viewport()->width();
        const struct
        {
            PaperView::Zoom zoom;
            int width, height;
        } zooms[] = {
            {PaperView::Zoom::Double, 2 * dots, 200},
            {PaperView::Zoom::Actual, dots, 100},
            {PaperView::Zoom::FitWidth, available, 0}, // fills the view but for a small margin
        };
        for (const auto &z : zooms) {
            window->setZoom(z.zoom);
            const QWidget &view = window->paperView();
            if (z.height == 0) {
                QVERIFY(view.width() <= z.width && view.width() > z.width - 40);
                QVERIFY(std::abs(view.height() - 100 * view.width() / dots) <= 1); // the same scale both ways
            } else {
                QCOMPARE(view.width(), z.width);
                QCOMPARE(view.height(), z.height);
            }
        }
    }

    void livePageRepaintsOnlyNewRows()
    {
        kvp::PrinterCore &core = service->printer().core();
        const PaperView &view = window->paperView();
        // Bytes printed, then the rows the view shows and the rows repainted since the last tick.
        const struct
        {
            QByteArray bytes;
            int rows, repainted;
        } ticks[] = {
            {picture(64), 64, 64},
            {picture(30), 94, 30},
            {QByteArray(), 94, 0},
            {cut + picture(120), 120, 120},
        };
        for (const auto &t : ticks) {
            const uint64_t before = view.rowsInvalidated();
            core.feed(t.bytes);
            window->refresh();
            QCOMPARE(view.paperRows(), t.rows);
            QCOMPARE(view.rowsInvalidated() - before, uint64_t(t.repainted));
        }
        QCOMPARE(window->shownPage(), -1);
    }

private:
    QTemporaryDir dir;
    std::unique_ptr<kvp::Service> service;
    std::unique_ptr<PaperWindow> window;
};

QTEST_MAIN(TestPaperWindow)
#include "tst_vp_window.moc"
