#include "serial/controllermodel.h"

#include "decoder/decoder.h"

#include <QSerialPort>

#include <sys/ioctl.h>

namespace serial {

namespace {

// The controller's reading of the stream matters here, not what it prints.
class NoOutput : public kvp::DecoderSink
{
public:
    void execute(const kvp::DecodedCommand &) override { }
    void character(const kvp::Character &) override { }
};

// Bytes the model keeps unread before it asks how many have left: a long
// session without long sends does not grow it.
constexpr qsizetype catchUpAt = qsizetype(64) * 1024;

} // namespace

class ControllerModel::Reader
{
public:
    NoOutput output;
    kvp::TextCodec codec;
    kvp::Decoder decoder{output, codec};
};

ControllerModel::ControllerModel(std::function<qint64()> queued)
    : queuedBytes(std::move(queued))
    , reader(std::make_unique<Reader>())
{ }

ControllerModel::~ControllerModel() = default;

void ControllerModel::reset()
{
    reader = std::make_unique<Reader>();
    unread.clear();
}

void ControllerModel::written(const char *data, qint64 size)
{
    unread.append(data, size);
    if (unread.size() > catchUpAt)
        catchUp();
}

void ControllerModel::catchUp()
{
    const qsizetype left = unread.size() - qBound(qint64(0), queuedBytes(), qint64(unread.size()));
    reader->decoder.push(unread.left(left));
    unread.remove(0, left);
}

qint64 ControllerModel::bytesOwed()
{
    catchUp();
    return qint64(reader->decoder.bytesOwed());
}

qint64 bytesQueued(QIODevice *device)
{
    qint64 queued = device->bytesToWrite();
    int inSystem = 0;
    if (auto *port = qobject_cast<QSerialPort *>(device);
        port && port->isOpen() && ::ioctl(port->handle(), TIOCOUTQ, &inSystem) == 0)
        queued += inSystem;
    return queued;
}

} // namespace serial
