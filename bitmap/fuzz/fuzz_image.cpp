// libFuzzer target for the image path: file bytes through Qt's image reader
// (format detected from the contents, orientation applied), the program's
// 1-bit form and the raster commands of the print button. Any broken rule
// (imagepath.cpp) aborts, so libFuzzer keeps the input as a crash.
//
// Qt's decoders are not instrumented, so libFuzzer sees none of their
// branches. To let it still tell a new decoder outcome from an old one, each
// input also marks a few of its own counters by what came out: the format
// detected, the kind of image, its size class, the error and how far into
// the file the reader got.

#include "imagepath.h"

#include <QGuiApplication>
#include <QImageReader>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace {

constexpr std::size_t outcomeCounterCount = 1 << 14;
__attribute__((used, section("__libfuzzer_extra_counters"))) std::uint8_t outcomeCounters[outcomeCounterCount];

int log2Class(qint64 value)
{
    int bits = 0;
    while (value > 0 && bits < 40) {
        value >>= 1;
        ++bits;
    }
    return bits;
}

int colourCountClass(int count) { return count == 0 ? 0 : count <= 2 ? count : count <= 16 ? 3 : count <= 256 ? 4 : 5; }

void mark(std::size_t salt, std::initializer_list<qint64> parts)
{
    std::size_t h = salt * 0x9E3779B97F4A7C15ull;
    for (qint64 part : parts)
        h = (h ^ std::size_t(part)) * 0x100000001B3ull;
    std::uint8_t &counter = outcomeCounters[(h >> 17) % outcomeCounterCount];
    if (counter < 255)
        ++counter;
}

void markOutcome(const imagepath::Result &r)
{
    const qint64 format = qint64(qHash(r.readerFormat));
    const QImage &s = r.source;
    mark(1, {format, r.readerError, log2Class(r.consumed)});
    mark(2, {format, int(s.format()), s.hasAlphaChannel(), colourCountClass(s.colorCount())});
    mark(3, {format, log2Class(s.width()), log2Class(s.height()), s.width() % 32 == 0});
    mark(4, {format, r.file.converted, r.sent.isEmpty(), log2Class(r.sent.size())});
}

// Qt's readers warn about every damaged file; the fuzzer makes nothing else.
void quiet(QtMsgType, const QMessageLogContext &, const QString &) { }

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "image_fuzz";
    static char *argv[] = {name, nullptr};
    static QGuiApplication app(argc, argv);
    qInstallMessageHandler(quiet);
    QImageReader::setAllocationLimit(imagepath::allocationLimitMb);
    // Load the image plugins now, so their one-time allocations are not
    // taken for leaks of the first input.
    QImageReader::supportedImageFormats();
    imagepath::run(QByteArray("P1\n1 1\n1\n"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const imagepath::Result result = imagepath::run(bytes);
    markOutcome(result);
    if (!result.fault.isEmpty()) {
        std::fprintf(stderr, "image path: %s (format '%s', %d x %d, depth %d)\n", qPrintable(result.fault),
                     result.readerFormat.constData(), result.source.width(), result.source.height(),
                     result.source.depth());
        std::abort();
    }
    return 0;
}
