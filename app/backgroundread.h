#pragma once

#include "bitmap/imagefile.h"

#include <optional>

class QWidget;

// Reads a picture file on a thread of its own, so that a huge or slow file
// never holds up the window: the event loop keeps running meanwhile, and
// after half a second a progress dialog offers Cancel. Returns nothing when
// the user cancelled; the reading then finishes unseen and is dropped.
std::optional<bitmap::ImageFile> readPictureInBackground(QWidget *parent, const QString &fileName,
                                                         const bitmap::PictureOptions &options);
