#include "pageopener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {
const QString noViewer = QStringLiteral("no program on this system opens PNG images");

// xdg-open's exit codes: 3 is "no program found for the file", 4 "the program failed".
QString xdgOpenFailure(int code)
{
    if (code == 3)
        return noViewer;
    return QStringLiteral("xdg-open failed (exit code %1)").arg(code);
}

void runXdgOpen(QObject *owner, const QString &program, const QString &path, const OpenFailed &failed)
{
    // xdg-open may wait until the viewer is closed: it runs beside the
    // window, which hears from it only when it fails.
    auto *process = new QProcess(owner);
    process->setProgram(program);
    process->setArguments({path});
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    QObject::connect(process, &QProcess::finished, owner, [process, failed](int code, QProcess::ExitStatus status) {
        if (status == QProcess::NormalExit && code != 0)
            failed(xdgOpenFailure(code));
        process->deleteLater();
    });
    QObject::connect(process, &QProcess::errorOccurred, owner, [process, failed](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        failed(QStringLiteral("xdg-open could not be started: %1").arg(process->errorString()));
        process->deleteLater();
    });
    process->start();
}
} // namespace

PageOpener desktopOpener(QObject *owner)
{
    return [owner](const QString &path, const OpenFailed &failed) {
        const QString xdgOpen = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        if (!xdgOpen.isEmpty())
            runXdgOpen(owner, xdgOpen, path, failed);
        else if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
            failed(noViewer + QStringLiteral(" (xdg-open is not installed)"));
    };
}
