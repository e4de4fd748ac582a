#include "app/backgroundread.h"

#include <QDir>
#include <QEventLoop>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>

#include <memory>

std::optional<bitmap::ImageFile> readPictureInBackground(QWidget *parent, const QString &fileName,
                                                         const bitmap::PictureOptions &options)
{
    // Shared with the thread: a cancelled read still has somewhere to put
    // its result.
    auto result = std::make_shared<bitmap::ImageFile>();
    QThread *reader =
        QThread::create([result, fileName, options] { *result = bitmap::readImageFile(fileName, options); });
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
    if (!finished)
        return std::nullopt;
    return *result;
}
