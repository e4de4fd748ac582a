#include "traffic/record.h"

#include "decoder/commandlog.h"
#include "decoder/decoder.h"
#include "decoder/textcodec.h"

#include <QIODevice>

#include <algorithm>
#include <utility>

namespace traffic {

namespace {

// A write full of short commands (a typed line, a file's piece) names the
// first of them and stops at about this many characters.
constexpr int nameMax = 160;
constexpr QLatin1String nameCut(", ...");

// "+99999.999 s": more than a day in line.
constexpr int timeWidth = 12;
constexpr int hexWidth = Entry::headMax * 3 - 1;

QString hexText(const QByteArray &bytes) { return QString::fromLatin1(bytes.toHex(' ')).toUpper(); }

QString arrow(Direction direction) { return direction == Direction::Out ? QStringLiteral(">") : QStringLiteral("<"); }

// The wall clock as the user reads it, with its offset from UTC spelt out.
QDateTime localNow()
{
    const QDateTime now = QDateTime::currentDateTime();
    return now.toOffsetFromUtc(now.offsetFromUtc());
}

QString printable(const QByteArray &bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes)
        text += (c >= 0x20 && c < 0x7F) ? QChar::fromLatin1(c) : QChar(u'.');
    return text;
}

} // namespace

QString Entry::format() const
{
    const QByteArray shown = head();
    QString hex = hexText(shown);
    if (size > headMax)
        hex += QStringLiteral(" ... (%1 bytes)").arg(size);
    const QString time = QStringLiteral("+%1 s").arg(QString::number(double(ms) / 1000.0, 'f', 3));
    QString line =
        QStringLiteral("%1  %2  %3  |%4|")
            .arg(time.rightJustified(timeWidth), arrow(direction), hex.leftJustified(hexWidth), printable(shown));
    if (!name.isEmpty())
        line += QStringLiteral("  ") + name;
    return line;
}

QString fullText(const Entry &entry, const QDateTime &at, const QString &names)
{
    const QString time = at.toString(Qt::ISODateWithMs);
    QString text;
    for (qint64 from = 0; from < entry.size; from += Entry::headMax) {
        const QByteArray piece = entry.bytes.mid(from, Entry::headMax);
        const QString bytes = QStringLiteral("%1  |%2|").arg(hexText(piece).leftJustified(hexWidth), printable(piece));
        if (from > 0) {
            text += QString(time.size() + 5, u' ') + bytes + u'\n';
            continue;
        }
        text += QStringLiteral("%1  %2  %3").arg(time, arrow(entry.direction), bytes);
        if (entry.size > Entry::headMax)
            text += QStringLiteral("  (%1 bytes)").arg(entry.size);
        if (!names.isEmpty())
            text += QStringLiteral("  ") + names;
        text += u'\n';
    }
    return text;
}

// Reads the outgoing stream as the controller would, with the virtual
// printer's decoder, and names each command it decodes in the write where
// the command starts. The decoder takes a data block in bulk, so a large
// picture costs next to nothing here.
class Record::Namer : public kvp::DecoderSink, public kvp::LogSink
{
public:
    explicit Namer(Record &owner)
        : record(owner)
        , decoder(*this, codec, this)
    { }

    void push(const char *data, qint64 size)
    {
        decoder.push(reinterpret_cast<const uint8_t *>(data), static_cast<size_t>(size));
    }

    void execute(const kvp::DecodedCommand &) override { }
    void character(const kvp::Character &) override { }

    // Text shows in the entry's printable column; events have no place in
    // the stream.
    void add(const kvp::LogEntry &entry) override
    {
        if (entry.offset == kvp::LogEntry::noOffset || entry.name == QLatin1String("text"))
            return;
        record.name(quint64(entry.offset), entry.args.isEmpty() ? entry.name : entry.name + u' ' + entry.args);
    }

private:
    Record &record;
    kvp::TextCodec codec;
    kvp::Decoder decoder;
};

Record::Record(std::size_t capacity, qint64 byteCapacity)
    : capacity(std::max<std::size_t>(capacity, 1))
    , byteCapacity(byteCapacity)
    , wallClock(localNow)
    , startWall(wallClock())
    , startMs(clock->nowMs())
    , namer(std::make_unique<Namer>(*this))
{ }

Record::~Record() = default;

void Record::setClocks(timing::Clock &steady, std::function<QDateTime()> wallNow)
{
    clock = &steady;
    wallClock = std::move(wallNow);
    startWall = wallClock();
    startMs = clock->nowMs();
}

void Record::start()
{
    clear();
    startWall = wallClock();
    startMs = clock->nowMs();
    outOffset = 0;
    namer = std::make_unique<Namer>(*this);
}

void Record::end()
{
    if (watcher)
        watcher->ended();
}

void Record::clear()
{
    first += entries.size();
    entries.clear();
    bytesKept = 0;
    droppedCount = 0;
    ++changes;
}

Entry &Record::add(Direction direction, const char *data, qint64 size)
{
    while (!entries.empty() && (entries.size() >= capacity || bytesKept + size > byteCapacity)) {
        bytesKept -= entries.front().size;
        entries.pop_front();
        ++first;
        ++droppedCount;
    }
    Entry &entry = entries.emplace_back();
    entry.ms = clock->nowMs() - startMs;
    entry.streamOffset = outOffset;
    entry.size = size;
    entry.bytes = QByteArray(data, size);
    entry.direction = direction;
    bytesKept += size;
    ++changes;
    return entry;
}

void Record::written(const char *data, qint64 size)
{
    if (size <= 0)
        return;
    const Entry &entry = add(Direction::Out, data, size);
    outOffset += quint64(size);
    namer->push(data, size);
    if (watcher)
        watcher->added(*this, entry, begunAbove);
    begunAbove.clear();
}

void Record::read(const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    const Entry &entry = add(Direction::In, bytes.constData(), bytes.size());
    if (watcher)
        watcher->added(*this, entry, QString());
}

void Record::name(quint64 offset, const QString &command)
{
    // A command this write ends but an earlier one started: the earlier
    // write may have been seen already.
    if (offset < entries.back().streamOffset && begunAbove.size() < nameMax)
        begunAbove += begunAbove.isEmpty() ? command : QStringLiteral(", ") + command;
    // Entries are in stream order (a read sits at the offset of the next
    // write); a data block is named when it ends, some writes later.
    auto it = std::upper_bound(entries.begin(), entries.end(), offset,
                               [](quint64 at, const Entry &entry) { return at < entry.streamOffset; });
    while (it != entries.begin()) {
        --it;
        if (it->direction != Direction::Out)
            continue;
        if (offset >= it->streamOffset + quint64(it->size) || it->name.endsWith(nameCut))
            return;
        if (it->name.size() >= nameMax)
            it->name += nameCut;
        else
            it->name += it->name.isEmpty() ? command : QStringLiteral(", ") + command;
        ++changes;
        return;
    }
}

bool Record::writeTo(QIODevice &out) const
{
    QByteArray text = QStringLiteral("Traffic since connect: %1 entries, %2 dropped before the first\n")
                          .arg(entries.size())
                          .arg(droppedCount)
                          .toUtf8();
    bool ok = true;
    for (const Entry &entry : entries) {
        text += fullText(entry, wallTime(entry.ms), entry.name).toUtf8();
        if (text.size() >= 1 << 16) {
            ok = ok && out.write(text) == text.size();
            text.clear();
        }
    }
    return ok && out.write(text) == text.size();
}

} // namespace traffic
