#include "app/backgroundread.h"

#include <QDir>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <memory>

namespace {
std::atomic<int> running{0};
} // namespace

int backgroundReadsRunning() { return running; }

std::optional<bitmap::ImageFile> readPictureInBackground(QWidget *parent, const QString &fileName,
                                                         const bitmap::PictureOptions &options)
{
    // Shared with the thread, which may outlive this call only by the time
    // it takes to notice the cancel flag.
    auto result = std::make_shared<bitmap::ImageFile>();
    auto cancel = std::make_shared<bitmap::CancelFlag>(false);
    QThread *reader = QThread::create([result, cancel, fileName, options] {
        ++running;
        *result = bitmap::readImageFile(fileName, options, cancel.get());
        --running;
    });
    QObject::connect(reader, &QThread::finished, reader, &QObject::deleteLater);

    QEventLoop loop;
    bool finished = false;
    QObject::connect(reader, &QThread::finished, &loop, [&finished, &loop] {
        finished = true;
        loop.quit();
    });
    reader->start();

    // Most pictures are read within half a second: meanwhile the window
    // repaints but takes no clicks (they wait), as if the read were done at
    // once.
    QTimer patience;
    patience.setSingleShot(true);
    QObject::connect(&patience, &QTimer::timeout, &loop, &QEventLoop::quit);
    patience.start(500);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    bool cancelled = false;
    if (!finished) {
        // A long read: the user may give up on it.
        QProgressDialog progress(QProgressDialog::tr("Reading %1 ...").arg(QDir::toNativeSeparators(fileName)),
                                 QProgressDialog::tr("Cancel"), 0, 0, parent);
        progress.setWindowTitle(QProgressDialog::tr("Load Image"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        QObject::connect(&progress, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
        progress.show();
        loop.exec();
        cancelled = progress.wasCanceled();
    }
    if (cancelled) {
        // The read stops at its next band or read from the file; waiting
        // for it (the window still paints) keeps reads one at a time, so a
        // cancelled one never holds memory beside the next.
        *cancel = true;
        if (!finished)
            loop.exec(QEventLoop::ExcludeUserInputEvents);
        return std::nullopt;
    }
    return *result;
}
