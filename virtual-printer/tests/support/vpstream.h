#pragma once
// Byte streams written by hand from the controller's command table, and a
// rig that runs them through the controller and collects what comes out.

#include "commandlog.h"
#include "printercore.h"

#include <QByteArray>
#include <QImage>
#include <QRandomGenerator>
#include <QStringList>

#include <initializer_list>
#include <vector>

namespace vptest {

class Stream
{
public:
    QByteArray bytes;

    Stream &raw(const QByteArray &b)
    {
        bytes += b;
        return *this;
    }
    Stream &raw(std::initializer_list<int> list)
    {
        for (int v : list)
            bytes += static_cast<char>(v);
        return *this;
    }
    Stream &text(const char *t)
    {
        bytes += t;
        return *this;
    }
    Stream &line(const char *t)
    {
        bytes += t;
        bytes += '\n';
        return *this;
    }
    Stream &lf() { return raw({0x0A}); }
    Stream &cr() { return raw({0x0D}); }
    Stream &ht() { return raw({0x09}); }
    Stream &init() { return raw({0x1B, 0x40}); }
    Stream &mode(int m) { return raw({0x1B, 0x21, m}); }
    Stream &font(int f) { return raw({0x1B, 0x4D, f}); }
    Stream &darkness(int d) { return raw({0x1B, 0x6D, d}); }
    Stream &dbOn() { return raw({0x1C, 0x26}); }
    Stream &dbOff() { return raw({0x1C, 0x2E}); }
    Stream &justify(int j) { return raw({0x1B, 0x61, j}); }
    Stream &spacing(int n) { return raw({0x1B, 0x33, n}); }
    Stream &spacingDefault() { return raw({0x1B, 0x32}); }
    Stream &feedDots(int n) { return raw({0x1B, 0x4A, n}); }
    Stream &feedLines(int n) { return raw({0x1B, 0x64, n}); }
    Stream &tabs(std::initializer_list<int> stops)
    {
        raw({0x1B, 0x44});
        for (int s : stops)
            bytes += static_cast<char>(s);
        return raw({0x00});
    }
    Stream &absPos(int n) { return raw({0x1B, 0x24, n & 0xFF, n >> 8}); }
    Stream &leftMargin(int n) { return raw({0x1B, 0x6C, n}); }
    Stream &rightMargin(int n) { return raw({0x1B, 0x51, n}); }
    Stream &status() { return raw({0x10, 0x04}); }
    Stream &version() { return raw({0x10, 0x05}); }
    Stream &clear() { return raw({0x10, 0x14}); }
    Stream &sleep() { return raw({0x10, 0x16}); }
    Stream &callBack(int n) { return raw({0x1D, 0x61, n}); }
    Stream &uart(int c, int f) { return raw({0x1D, 0x28, c, f}); }
    Stream &head(int n) { return raw({0x1B, 0x5A, n}); }
    Stream &raster(int m, int widthBytes, int rows, const QByteArray &data)
    {
        raw({0x1D, 0x76, 0x30, m, widthBytes & 0xFF, widthBytes >> 8, rows & 0xFF, rows >> 8});
        return raw(data);
    }
    Stream &store(int location, int align, int widthBytes, int rows, const QByteArray &data)
    {
        raw({0x1D, 0x71, location, align, widthBytes & 0xFF, widthBytes >> 8, rows & 0xFF, rows >> 8});
        return raw(data);
    }
    Stream &printPicture(int location, int m) { return raw({0x1C, 0x70, location, m}); }
    Stream &barcodeHeight(int n) { return raw({0x1D, 0x68, n}); }
    Stream &barcodeWidth(int n) { return raw({0x1D, 0x77, n}); }
    Stream &barcodeText(int n) { return raw({0x1D, 0x48, n}); }
    Stream &barcode(int system, const QByteArray &data)
    {
        raw({0x1D, 0x6B, 0x41 + system, static_cast<int>(data.size())});
        return raw(data);
    }
    Stream &qrModule(int n) { return raw({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x43, n}); }
    Stream &qrLevel(int n) { return raw({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x45, n}); }
    Stream &qrStore(const QByteArray &data)
    {
        const int n = static_cast<int>(data.size()) + 3;
        raw({0x1D, 0x28, 0x6B, n & 0xFF, (n >> 8) & 0xFF, 0x31, 0x50, 0x30});
        return raw(data);
    }
    Stream &qrPrint() { return raw({0x1D, 0x28, 0x6B, 0x03, 0x00, 0x31, 0x51, 0x30}); }
    Stream &fullCut() { return raw({0x1B, 0x69}); }
    Stream &partialCut() { return raw({0x1B, 0x6E}); }
    Stream &nextLabel() { return raw({0x1D, 0x06}); }
    Stream &utf16(std::initializer_list<char32_t> codes)
    {
        for (char32_t c : codes)
            raw({static_cast<int>(c >> 8), static_cast<int>(c & 0xFF)});
        return *this;
    }
};

// The controller without line or clock: bytes in, pages, log and replies out.
class Rig
{
public:
    explicit Rig(const QString &flashPath = QString(), int maxPageDots = 20000)
        : core(options(flashPath, maxPageDots), &log)
    {
        core.paper().onPage = [this](const kvp::Page &p) { pages.push_back(p); };
        core.transmit = [this](const QByteArray &b) { replies += b; };
    }
    void run(const QByteArray &bytes)
    {
        core.feed(bytes);
        core.finish();
    }
    // Feeds the stream in pieces of random size (0 to maxChunk bytes).
    void runChunked(const QByteArray &bytes, quint32 seed, int maxChunk)
    {
        QRandomGenerator random(seed);
        int pos = 0;
        while (pos < bytes.size()) {
            const int n =
                std::min<int>(static_cast<int>(random.bounded(maxChunk + 1)), static_cast<int>(bytes.size()) - pos);
            core.feed(bytes.mid(pos, n));
            pos += n;
        }
        core.finish();
    }
    // Entries with a stream offset: what the decoder read.
    QStringList decoded() const { return log.lines(false); }
    QStringList names() const
    {
        QStringList n;
        for (const kvp::LogEntry &e : log.entries())
            if (e.offset != kvp::LogEntry::noOffset)
                n << e.name;
        return n;
    }
    const kvp::LogEntry *first(const QString &name) const
    {
        for (const kvp::LogEntry &e : log.entries())
            if (e.name == name)
                return &e;
        return nullptr;
    }

    kvp::MemoryLog log;
    kvp::PrinterCore core;
    std::vector<kvp::Page> pages;
    QByteArray replies;

private:
    static kvp::PrinterCore::Options options(const QString &flash, int maxPageDots)
    {
        kvp::PrinterCore::Options o;
        o.flashPath = flash;
        o.maxPageDots = maxPageDots;
        return o;
    }
};

inline QByteArray randomBytes(quint32 seed, int size)
{
    QRandomGenerator random(seed);
    QByteArray b(size, 0);
    for (auto &c : b)
        c = static_cast<char>(random.bounded(256));
    return b;
}

// Dots of ink (grey below 128) in a rectangle of a page.
inline int inkIn(const QImage &image, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int y = std::max(0, y0); y < std::min(y1, image.height()); ++y)
        for (int x = std::max(0, x0); x < std::min(x1, image.width()); ++x)
            n += qGray(image.pixel(x, y)) < 128;
    return n;
}

// First and last column with ink, or -1.
inline std::pair<int, int> inkColumns(const QImage &image)
{
    int first = -1, last = -1;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (qGray(image.pixel(x, y)) < 128) {
                if (first < 0)
                    first = x;
                last = x;
                break;
            }
    return {first, last};
}

} // namespace vptest
