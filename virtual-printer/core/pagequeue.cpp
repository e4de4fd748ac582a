#include "pagequeue.h"

namespace kvp {

PageQueue::PageQueue(PageWriter &pageWriter, QObject *parent)
    : QObject(parent)
    , writer(pageWriter)
{
    for (std::thread &worker : workers)
        worker = std::thread([this] { work(); });
}

PageQueue::~PageQueue()
{
    {
        const std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    changed.notify_all();
    for (std::thread &worker : workers)
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
        const uint64_t turn = taken++;
        ++busy;
        changed.wait(guard, [this] { return !held || stopping; });
        guard.unlock();
        const QByteArray png = PageWriter::encode(result.page);
        guard.lock();
        // Files are written in page order, one at a time.
        changed.wait(guard, [this, turn] { return stored == turn; });
        guard.unlock();
        result.path = writer.store(png, &result.error);
        guard.lock();
        ++stored;
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
