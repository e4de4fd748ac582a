#pragma once

#include "bitmap/imagefile.h"

#include <functional>
#include <optional>

class QWidget;

// Reading a picture, on whatever thread: it stops soon once its flag is set.
using PictureRead = std::function<bitmap::ImageFile(const bitmap::CancelFlag *cancel)>;

// Runs `read` (of the picture in `fileName`) on a thread of its own, so that
// a huge or slow file never holds up the window: the event loop keeps
// running meanwhile, and after half a second a progress dialog offers
// Cancel. Returns nothing when the user cancelled, once the read has
// stopped: one read at a time, and none left holding memory.
std::optional<bitmap::ImageFile> readInBackground(QWidget *parent, const QString &fileName, const PictureRead &read);
