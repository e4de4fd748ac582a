#pragma once
// The test side of the controller's line: Stream writes its commands, bytesOf
// reads the byte streams of the data files, and Rig runs bytes through the
// controller without line or clock.

#include "decoder/commandlog.h"
#include "printercore.h"
#include "support/streamnotation.h"

#include <QByteArray>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringList>
#include <QtTest>

#include <initializer_list>
#include <vector>

namespace vptest {

class Stream
{
public:
    QByteArray bytes;

    Stream &raw(std::initializer_list<int> list)
    {
        for (int v : list)
            bytes += static_cast<char>(v);
        return *this;
    }
    Stream &line(const char *t)
    {
        bytes += t;
        return raw({0x0A});
    }
    Stream &mode(int m) { return raw({0x1B, 0x21, m}); }
    Stream &darkness(int d) { return raw({0x1B, 0x6D, d}); }
    Stream &leftMargin(int n) { return raw({0x1B, 0x6C, n}); }
    Stream &status() { return raw({0x10, 0x04}); }
    Stream &version() { return raw({0x10, 0x05}); }
    Stream &uart(int speed, int flow) { return raw({0x1D, 0x28, speed, flow}); }
    Stream &head(int n) { return raw({0x1B, 0x5A, n}); }
    Stream &fullCut() { return raw({0x1B, 0x69}); }
    Stream &raster(int m, int widthBytes, int rows, const QByteArray &data)
    {
        raw({0x1D, 0x76, 0x30, m, widthBytes & 0xFF, widthBytes >> 8, rows & 0xFF, rows >> 8});
        bytes += data;
        return *this;
    }
};

// A byte stream in the data files' notation (streamnotation.h, shared with
// the program's tests), its writes joined; <file> is the bytes of a file
// beside the data files.
inline QByteArray bytesOf(const QString &notation)
{
    QString error;
    QByteArray bytes = streamnotation::writes(notation, streamnotation::filesIn(KVP_TEST_DATA), &error).join();
    if (!error.isEmpty())
        qFatal("%s in: %s", qPrintable(error), qPrintable(notation));
    return bytes;
}

// The lines of a data file without its comments and blank lines.
inline QStringList dataLines(const QString &name) { return streamnotation::lines(KVP_TEST_DATA "/" + name); }

// Qt Test rows from a data file, one a line: bytes, a relation (=>, == or
// !=) and what is expected.
inline void addRows(const QString &name)
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("relation");
    QTest::addColumn<QString>("expected");
    static const QRegularExpression row(QStringLiteral("^(.*?)\\s+(=>|==|!=)\\s+(.*)$"));
    int n = 0;
    for (const QString &line : dataLines(name)) {
        const QRegularExpressionMatch m = row.match(line);
        if (!m.hasMatch())
            qFatal("%s: no =>, == or != in: %s", qPrintable(name), qPrintable(line));
        QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(++n).arg(line.left(48))))
            << bytesOf(m.captured(1)) << m.captured(2) << m.captured(3).trimmed();
    }
}

// The controller without line or clock: bytes in, pages, log and replies out.
class Rig
{
public:
    explicit Rig(const QString &flashPath = QString(), int maxPageDots = 20000)
        : core(kvp::PrinterCore::Options{flashPath, maxPageDots, nullptr}, &log)
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
        for (qsizetype pos = 0; pos < bytes.size();) {
            const qsizetype n = std::min<qsizetype>(random.bounded(maxChunk + 1), bytes.size() - pos);
            core.feed(bytes.mid(pos, n));
            pos += n;
        }
        core.finish();
    }
    // The decoded entries, "name arguments", or an empty list unless they
    // account for every byte read exactly once, in order (a tab list cut off
    // by the end of the stream leaves out the stops that arrived).
    QStringList decoded() const
    {
        QStringList out;
        int64_t next = 0;
        for (const kvp::LogEntry &e : log.entries()) {
            if (e.offset == kvp::LogEntry::noOffset)
                continue;
            if (e.offset != next)
                return {};
            next += e.bytes.size() + static_cast<int64_t>(e.moreBytes);
            out << (e.name + u' ' + e.args).trimmed();
        }
        return next <= static_cast<int64_t>(core.decoder().offset()) ? out : QStringList();
    }

    kvp::MemoryLog log;
    kvp::PrinterCore core;
    std::vector<kvp::Page> pages;
    QByteArray replies;
};

} // namespace vptest
