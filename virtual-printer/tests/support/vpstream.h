#pragma once
// The test side of the controller's line: Stream writes its commands, bytesOf
// reads the byte streams of the data files, and Rig runs bytes through the
// controller without line or clock.

#include "decoder/commandlog.h"
#include "printercore.h"

#include <QByteArray>
#include <QFile>
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

// A byte stream as the data files write it: hex bytes, "text" in quotes,
// XX*N for N bytes XX and <file> for the bytes of a file beside the data
// files, separated by white space.
inline QByteArray bytesOf(const QString &notation)
{
    static const QRegularExpression token(QStringLiteral("\"([^\"]*)\"|([0-9A-F]{2})(\\*\\d+)?|<([^>]+)>|\\S+"));
    QByteArray out;
    for (auto it = token.globalMatch(notation); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        QFile file(QStringLiteral(KVP_TEST_DATA "/") + m.captured(4));
        if (m.hasCaptured(4) && file.open(QIODevice::ReadOnly))
            out += file.readAll();
        else if (m.hasCaptured(4))
            qFatal("cannot read %s", qPrintable(file.fileName()));
        else if (m.hasCaptured(1))
            out += m.captured(1).toLatin1();
        else if (m.hasCaptured(2))
            out += QByteArray(m.hasCaptured(3) ? m.captured(3).mid(1).toInt() : 1,
                              static_cast<char>(m.captured(2).toInt(nullptr, 16)));
        else
            qFatal("not a byte: %s", qPrintable(m.captured(0)));
    }
    return out;
}

// The lines of a data file without its comments (# ...) and blank lines.
inline QStringList dataLines(const QString &name)
{
    QFile file(QStringLiteral(KVP_TEST_DATA "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file.fileName()));
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    lines.removeIf([](const QString &l) { return l.trimmed().isEmpty() || l.startsWith(u'#'); });
    return lines;
}

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
