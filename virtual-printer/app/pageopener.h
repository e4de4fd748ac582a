#pragma once
// Opening a page file in the desktop's image viewer. Opening is
// asynchronous: `failed` is called later with the reason when nothing could
// open the file, and not at all when it opened.

#include <QString>

#include <functional>

class QObject;

using OpenFailed = std::function<void(const QString &why)>;
using PageOpener = std::function<void(const QString &path, const OpenFailed &failed)>;

// The desktop's opener: xdg-open where it is installed (its exit code tells
// whether a program took the file), Qt's desktop services elsewhere. Running
// openers belong to `owner`.
PageOpener desktopOpener(QObject *owner);
