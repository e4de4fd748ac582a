#include "replyqueue.h"

#include <algorithm>

namespace kvp {

bool ReplyQueue::push(const QByteArray &reply)
{
    if (data.size() + reply.size() > size) {
        lostBytes += static_cast<uint64_t>(reply.size());
        return false;
    }
    data += reply;
    return true;
}

void ReplyQueue::consumed(qsizetype count)
{
    const qsizetype fromControl = std::min(count, control.size());
    control.remove(0, fromControl);
    data.remove(0, std::min(count - fromControl, data.size()));
}

} // namespace kvp
