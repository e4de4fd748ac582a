#pragma once

#include "bitmap/imagefile.h"

#include <optional>

class QWidget;

// Reads a picture file on a thread of its own, so that a huge or slow file
// never holds up the window: the event loop keeps running meanwhile, and
// after half a second a progress dialog offers Cancel. Returns nothing when
// the user cancelled, once the read has stopped: one read at a time.
std::optional<bitmap::ImageFile> readPictureInBackground(QWidget *parent, const QString &fileName,
                                                         const bitmap::PictureOptions &options);

// Reads on their threads now (0 or 1).
int backgroundReadsRunning();
