#include "pagequeue.h"

namespace kvp {

PageQueue::PageQueue(PageWriter &pageWriter, QObject *parent)
    : QObject(parent)
    , writer(pageWriter)
    , worker([this] { work(); })
{ }

PageQueue::~PageQueue()
{
    {
        const std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    changed.notify_all();
    worker.join();
}

void PageQueue::push(const Page &page)
{
    std::unique_lock<std::mutex> guard(lock);
    changed.wait(guard, [this] { return static_cast<int>(waiting.size()) + busy < capacity; });
    waiting.push_back(page);
    changed.notify_all();
}

int PageQueue::pending() const
{
    const std::lock_guard<std::mutex> guard(lock);
    return static_cast<int>(waiting.size()) + busy;
}

void PageQueue::finish()
{
    holdWrites(false);
    {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [this] { return waiting.empty() && busy == 0; });
    }
    deliver();
}

void PageQueue::holdWrites(bool hold)
{
    {
        const std::lock_guard<std::mutex> guard(lock);
        held = hold;
    }
    changed.notify_all();
}

void PageQueue::work()
{
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        changed.wait(guard, [this] { return stopping || !waiting.empty(); });
        if (waiting.empty())
            return;
        PageResult result{waiting.front(), QString(), QString()};
        waiting.pop_front();
        ++busy;
        changed.wait(guard, [this] { return !held || stopping; });
        guard.unlock();
        result.path = writer.write(result.page, &result.error);
        guard.lock();
        results.push_back(result);
        --busy;
        changed.notify_all();
        QMetaObject::invokeMethod(
            this, [this] { deliver(); }, Qt::QueuedConnection);
    }
}

void PageQueue::deliver()
{
    for (;;) {
        std::unique_lock<std::mutex> guard(lock);
        if (results.empty())
            return;
        const PageResult result = results.front();
        results.pop_front();
        guard.unlock();
        if (onResult)
            onResult(result);
    }
}

} // namespace kvp
