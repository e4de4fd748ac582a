// The program's start-up as app/main.cpp does it, watched from inside: when
// the window has been painted for the first time the probe prints the
// monotonic clock ("shown <ns>"); with `--idle MS` it then idles that long
// and prints its resident memory ("rss <kB>") before it exits; with also
// `--load FILE` it then loads the picture as the Load button does, idles
// again and prints "loaded-rss <kB>" and the peak, "loaded-peak <kB>";
// `--fit576` loads it with paper 576 and Fit to width; `--cancel-reads N`
// then changes the grey handling N times, cancelling each read as soon as
// its progress dialog shows, and prints the peak of those ("cancelled-peak
// <kB>"). The window's size is printed too ("size <w> <h>"). `--bare` shows a QMainWindow
// holding one label instead: the reference for what Qt itself costs a window
// with text (the font database included); `--size W H` gives it the program
// window's size, since painting and keeping a window costs with its area.
// startup_bench starts it and does the sums.

#include "app/mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

long long monotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return (long long)now.tv_sec * 1000000000LL + now.tv_nsec;
}

// Resident memory now ("VmRSS:") or its peak ("VmHWM:"), in kB.
long long residentKb(const QByteArray &key = "VmRSS:")
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').first().toLongLong();
    return -1;
}

// The options of `--fit576`, before the picture is loaded.
void fitTo576(QWidget *window)
{
    auto *paper = window->findChild<QComboBox *>(QStringLiteral("comboPaperWidth"));
    auto *fit = window->findChild<QCheckBox *>(QStringLiteral("checkFitWidth"));
    if (paper && fit) {
        paper->setCurrentIndex(1);
        fit->setChecked(true);
    }
}

// `--cancel-reads N`: N changes of an option, each read cancelled as soon as
// it shows its dialog; the peak memory meanwhile.
void cancelReads(QWidget *window, int count)
{
    auto *greys = window->findChild<QComboBox *>(QStringLiteral("comboGreys"));
    if (!greys || count <= 0)
        return;
    QTimer canceller;
    QObject::connect(&canceller, &QTimer::timeout, [] {
        if (auto *progress = qobject_cast<QProgressDialog *>(QApplication::activeModalWidget()))
            emit progress->canceled(); // as its Cancel button does
    });
    canceller.start(20);
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    clear.close();
    for (int i = 0; i < count; ++i)
        greys->setCurrentIndex((greys->currentIndex() + 1) % greys->count());
    std::printf("cancelled-peak %lld\n", residentKb("VmHWM:"));
}

// Notices the first paint event of the window or any widget in it; the
// time is taken when the event loop comes back, after the whole frame.
class FirstPaint : public QObject
{
public:
    FirstPaint(int idleMs, const QString &picture)
    {
        shown.setSingleShot(true);
        connect(&shown, &QTimer::timeout, this, [this] {
            std::printf("shown %lld\n", monotonicNs());
            if (window)
                std::printf("size %d %d\n", window->width(), window->height());
            std::fflush(stdout);
            idle.start();
        });
        idle.setSingleShot(true);
        idle.setInterval(idleMs);
        connect(&idle, &QTimer::timeout, this, [this, picture] {
            if (loaded) {
                std::printf("loaded-rss %lld\nloaded-peak %lld\n", residentKb(),
                            std::max(loadPeak, residentKb("VmHWM:")));
                QCoreApplication::quit();
                return;
            }
            std::printf("rss %lld\n", residentKb());
            if (picture.isEmpty() || !window) {
                QCoreApplication::quit();
                return;
            }
            if (fit)
                fitTo576(window);
            QMetaObject::invokeMethod(window, "loadFile", Q_ARG(QString, picture));
            loadPeak = residentKb("VmHWM:"); // before the cancelled reads reset it
            cancelReads(window, cancels);
            loaded = true;
            idle.start();
        });
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && !seen) {
            seen = true;
            shown.start(0);
        }
        return false;
    }

private:
    QTimer shown; // fires when the event loop is back, after the frame
    QTimer idle;  // then waits while the window idles
    bool seen = false;
    bool loaded = false;
    long long loadPeak = 0;

public:
    QMainWindow *window = nullptr; // the window to load the picture into
    bool fit = false;              // --fit576
    int cancels = 0;               // --cancel-reads N
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    const int idle = arguments.contains(QStringLiteral("--idle"))
        ? arguments.value(arguments.indexOf(QStringLiteral("--idle")) + 1).toInt()
        : 0;
    const int load = int(arguments.indexOf(QStringLiteral("--load")));
    FirstPaint watcher(idle, load > 0 ? arguments.value(load + 1) : QString());
    application.installEventFilter(&watcher);
    std::unique_ptr<QMainWindow> window;
    if (arguments.contains(QStringLiteral("--bare"))) {
        window = std::make_unique<QMainWindow>();
        window->setCentralWidget(new QLabel(QStringLiteral("Printer Kivo")));
        const int size = int(arguments.indexOf(QStringLiteral("--size")));
        if (size > 0)
            window->resize(arguments.value(size + 1).toInt(), arguments.value(size + 2).toInt());
    } else {
        window = std::make_unique<MainWindow>();
    }
    watcher.window = window.get();
    watcher.fit = arguments.contains(QStringLiteral("--fit576"));
    const int cancels = int(arguments.indexOf(QStringLiteral("--cancel-reads")));
    watcher.cancels = cancels > 0 ? arguments.value(cancels + 1).toInt() : 0;
    window->show();
    return application.exec();
}
