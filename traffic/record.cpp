#include "traffic/record.h"

#include "decoder/commandlog.h"
#include "decoder/decoder.h"
#include "decoder/textcodec.h"

#include <QIODevice>

#include <algorithm>
#include <cstring>

namespace traffic {

namespace {

// A write full of short commands (a typed line, a file's piece) names the
// first of them and stops at about this many characters.
constexpr int nameMax = 160;
constexpr QLatin1String nameCut(", ...");

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
    const QByteArray bytes = head();
    QString hex = QString::fromLatin1(bytes.toHex(' ')).toUpper();
    if (size > headSize)
        hex += QStringLiteral(" ... (%1 bytes)").arg(size);
    QString line = QStringLiteral("+%1 s  %2  %3  |%4|")
                       .arg(QString::number(double(ms) / 1000.0, 'f', 3), direction == Direction::Out ? ">" : "<",
                            hex.leftJustified(Entry::headMax * 3 - 1), printable(bytes));
    if (!name.isEmpty())
        line += QStringLiteral("  ") + name;
    return line;
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

Record::Record(std::size_t capacity)
    : capacity(std::max<std::size_t>(capacity, 1))
    , namer(std::make_unique<Namer>(*this))
{
    clock.start();
}

Record::~Record() = default;

void Record::start()
{
    clear();
    clock.restart();
    outOffset = 0;
    namer = std::make_unique<Namer>(*this);
}

void Record::clear()
{
    first += entries.size();
    entries.clear();
    droppedCount = 0;
    ++changes;
}

Entry &Record::add(Direction direction, const char *data, qint64 size)
{
    if (entries.size() >= capacity) {
        entries.pop_front();
        ++first;
        ++droppedCount;
    }
    Entry &entry = entries.emplace_back();
    entry.ms = clock.elapsed();
    entry.size = size;
    entry.streamOffset = outOffset;
    entry.headSize = quint8(std::min<qint64>(size, Entry::headMax));
    std::memcpy(entry.headBytes.data(), data, entry.headSize);
    entry.direction = direction;
    ++changes;
    return entry;
}

void Record::written(const char *data, qint64 size)
{
    if (size <= 0)
        return;
    add(Direction::Out, data, size);
    outOffset += quint64(size);
    namer->push(data, size);
}

void Record::read(const QByteArray &bytes)
{
    if (!bytes.isEmpty())
        add(Direction::In, bytes.constData(), bytes.size());
}

void Record::name(quint64 offset, const QString &command)
{
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
        text += entry.format().toUtf8();
        text += '\n';
        if (text.size() >= 1 << 16) {
            ok = ok && out.write(text) == text.size();
            text.clear();
        }
    }
    return ok && out.write(text) == text.size();
}

} // namespace traffic
