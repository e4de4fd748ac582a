#pragma once
// Writes pages on worker threads, so that a large page does not hold up
// the line: two workers encode pages side by side, the files are written
// in the order the pages were finished, and their results come back on the
// owner's thread in that order. The queue holds a few pages at most;
// push() waits for room.

#include "pagewriter.h"
#include "paper.h"

#include <QObject>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace kvp {

struct PageResult
{
    Page page;
    QString path;  // empty when the page was lost
    QString error; // why it was lost
};

class PageQueue : public QObject
{
public:
    explicit PageQueue(PageWriter &pageWriter, QObject *parent = nullptr);
    ~PageQueue() override;
    PageQueue(const PageQueue &) = delete;
    PageQueue &operator=(const PageQueue &) = delete;

    void push(const Page &page);
    // Pages handed over and not yet written.
    int pending() const;
    bool full() const { return pending() >= capacity; }
    // Waits until every page is written and reports the results.
    void finish();
    // Holds the workers with the next pages in hand, as a slow disk would,
    // until released (for tests of what must not wait for a page file).
    // finish() releases it.
    void holdWrites(bool hold);

    // Called on the owner's thread, once per page, in page order.
    std::function<void(const PageResult &)> onResult;

    static constexpr int capacity = 4;

private:
    void work();
    void deliver();

    PageWriter &writer;
    mutable std::mutex lock;
    std::condition_variable changed;
    std::deque<Page> waiting;
    std::deque<PageResult> results;
    int busy = 0; // pages taken by a worker and not yet in `results`
    bool stopping = false;
    bool held = false;
    uint64_t taken = 0;  // pages taken by the workers so far
    uint64_t stored = 0; // pages whose file is written (or lost)
    static constexpr int workerCount = 2;
    std::thread workers[workerCount];
};

} // namespace kvp
