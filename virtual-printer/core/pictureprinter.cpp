#include "pictureprinter.h"

#include <algorithm>
#include <cstring>

namespace kvp {

PicturePrinter::PicturePrinter(PrintArea &printArea, TextLayout &textLayout)
    : area(printArea)
    , text(textLayout)
{ }

void PicturePrinter::begin(const DecodedCommand &c)
{
    Header h;
    h.store = c.id == Cmd::StorePicture;
    const int mode = h.store ? 0 : (c.args[0] & 0x03);
    h.widthBytes = c.arg16(h.store ? 2 : 1);
    h.rows = c.arg16(h.store ? 4 : 3);
    h.scaleX = hasFlag(mode, PictureMode::DoubleWidth) ? 2 : 1;
    h.scaleY = hasFlag(mode, PictureMode::DoubleHeight) ? 2 : 1;
    h.location = c.args[0];
    h.align = c.args[1];
    begin(h);
}

void PicturePrinter::begin(const Header &h)
{
    RasterJob job;
    job.widthBytes = h.widthBytes;
    job.scaleX = h.scaleX;
    job.scaleY = h.scaleY;
    const int paperBytes = (area.paper.width() + 7) / 8;
    job.keptBytes = std::min(job.widthBytes, paperBytes);
    job.row.assign(static_cast<size_t>(job.keptBytes), 0);
    job.toStore = h.store;
    if (h.store) {
        reserveStore(job, h);
    } else {
        text.flushLine();
        job.x0 = area.start() + area.justifyOffset(area.settings.justify, job.widthBytes * 8 * job.scaleX);
    }
    if (job.widthBytes > paperBytes)
        area.note(QStringLiteral("picture of %1 dots is wider than the paper; cut at %2 dots")
                      .arg(job.widthBytes * 8)
                      .arg(area.paper.width()));
    raster = std::move(job);
}

// A picture to store: refused when it would not fit the picture memory
// (counting the picture it replaces as freed), cut to the most rows kept.
void PicturePrinter::reserveStore(RasterJob &job, const Header &h)
{
    job.storeLocation = h.location;
    job.stored.widthBytes = job.keptBytes;
    job.stored.align = h.align;
    const int rows = std::min(h.rows, maxPictureRows);
    const size_t size = static_cast<size_t>(job.keptBytes) * rows;
    size_t inUse = pictureBytes;
    auto old = pictures.find(job.storeLocation);
    if (old != pictures.end())
        inUse -= old->second.data.size();
    if (inUse + size > pictureMemory) {
        job.storeRefused = true;
        area.note(QStringLiteral("picture memory full: picture %1 not stored").arg(job.storeLocation));
    }
    if (h.rows > maxPictureRows)
        area.note(QStringLiteral("stored picture cut to %1 rows").arg(maxPictureRows));
}

void PicturePrinter::chunk(const uint8_t *data, size_t size)
{
    RasterJob &job = raster;
    if (job.widthBytes == 0)
        return;
    for (size_t i = 0; i < size;) {
        // Copy the part of the row that reaches the paper; skip the rest.
        if (job.rowPos < job.keptBytes) {
            const size_t take = std::min<size_t>(size - i, static_cast<size_t>(job.keptBytes - job.rowPos));
            std::memcpy(job.row.data() + job.rowPos, data + i, take);
            job.rowPos += static_cast<int>(take);
            i += take;
        } else {
            const size_t take = std::min<size_t>(size - i, static_cast<size_t>(job.widthBytes - job.rowPos));
            job.rowPos += static_cast<int>(take);
            i += take;
        }
        if (job.rowPos == job.widthBytes)
            rowComplete();
    }
}

void PicturePrinter::rowComplete()
{
    RasterJob &job = raster;
    if (!job.toStore)
        emitRow(job.row.data(), job.keptBytes, job.x0, job.scaleX, job.scaleY);
    else if (!job.storeRefused && job.stored.rows < maxPictureRows) {
        job.stored.data.insert(job.stored.data.end(), job.row.begin(), job.row.end());
        ++job.stored.rows;
    }
    job.rowPos = 0;
    std::fill(job.row.begin(), job.row.end(), 0);
}

void PicturePrinter::end()
{
    RasterJob &job = raster;
    if (job.rowPos > 0 && !job.toStore) // a picture cut short prints what arrived
        emitRow(job.row.data(), std::min(job.rowPos, job.keptBytes), job.x0, job.scaleX, job.scaleY);
    if (job.toStore && !job.storeRefused) {
        auto old = pictures.find(job.storeLocation);
        if (old != pictures.end())
            pictureBytes -= old->second.data.size();
        pictureBytes += job.stored.data.size();
        pictures[job.storeLocation] = std::move(job.stored);
    }
    raster = RasterJob();
}

void PicturePrinter::printStored(int location, int mode)
{
    auto found = pictures.find(location);
    if (found == pictures.end()) {
        area.note(QStringLiteral("no picture stored at location %1").arg(location));
        return;
    }
    text.flushLine();
    const StoredPicture &p = found->second;
    const int sx = hasFlag(mode, PictureMode::DoubleWidth) ? 2 : 1;
    const int sy = hasFlag(mode, PictureMode::DoubleHeight) ? 2 : 1;
    const Justification align =
        p.align < 0 ? area.settings.justify : justificationFor(p.align).value_or(Justification::Left);
    const int x0 = area.start() + area.justifyOffset(align, p.widthBytes * 8 * sx);
    for (int r = 0; r < p.rows; ++r)
        emitRow(p.data.data() + static_cast<size_t>(r) * p.widthBytes, p.widthBytes, x0, sx, sy);
}

void PicturePrinter::forget(int location)
{
    auto found = pictures.find(location);
    if (found == pictures.end())
        return;
    pictureBytes -= found->second.data.size();
    pictures.erase(found);
}

// One row of picture bytes, each bit a dot (the high bit leftmost), scaled.
// The first dot row is drawn and copied to the others; a byte that lands
// whole on the paper is drawn without branches (pictures are often noise,
// where a branch per dot is mispredicted half the time).
void PicturePrinter::emitRow(const uint8_t *row, int keptBytes, int x0, int scaleX, int scaleY)
{
    const int width = area.paper.width();
    uint8_t *dst = area.paper.addRows(scaleY);
    bool ink = false;
    for (int i = 0; i < keptBytes; ++i) {
        const unsigned b = row[i];
        if (!b)
            continue;
        ink = true;
        const int first = x0 + i * 8 * scaleX;
        for (int bit = 0; bit < 8; ++bit) {
            const auto keep = static_cast<uint8_t>(((b >> (7 - bit)) & 1U) - 1U); // 0 under a dot
            for (int k = 0; k < scaleX; ++k) {
                const int x = first + bit * scaleX + k;
                if (x >= 0 && x < width)
                    dst[x] &= keep;
            }
        }
    }
    for (int r = 1; r < scaleY; ++r)
        std::memcpy(dst + static_cast<size_t>(r) * width, dst, static_cast<size_t>(width));
    if (ink)
        area.paper.markInk();
}

} // namespace kvp
