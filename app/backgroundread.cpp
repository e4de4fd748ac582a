#include "app/backgroundread.h"

#include <QDir>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <memory>

std::optional<bitmap::ImageFile> readInBackground(QWidget *parent, const QString &fileName, const PictureRead &read)
{
    // Shared with the thread, which outlives this call only by the time it
    // takes to notice the flag.
    auto result = std::make_shared<bitmap::ImageFile>();
    auto cancel = std::make_shared<bitmap::CancelFlag>(false);
    QThread *reader = QThread::create([result, cancel, read] { *result = read(cancel.get()); });
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
    }
    if (finished)
        return *result;
    // Cancelled: the read stops at its next band or read from the file.
    // Waiting for it (the window still paints) keeps reads one at a time,
    // so a cancelled one never holds memory beside the next.
    *cancel = true;
    loop.exec(QEventLoop::ExcludeUserInputEvents); // until the read has stopped
    return std::nullopt;
}
