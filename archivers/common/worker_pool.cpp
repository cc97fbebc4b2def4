#include "worker_pool.h"

#include <algorithm>
#include <atomic>
#include <system_error>

namespace arc {

// One call's items. `next` hands them out; the pool's mutex guards the rest.
struct WorkerPool::Batch {
    const std::function<void(size_t)>* item = nullptr;
    size_t count = 0;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr error;
    unsigned helpersWanted = 0;
    unsigned helpersIn = 0; // helpers that joined
    unsigned working = 0;   // of those, the ones not finished yet
    std::condition_variable finished;
};

WorkerPool::WorkerPool(unsigned helpers) : maxHelpers_(helpers) {
    helpers_.reserve(maxHelpers_); // starting a helper never moves the others
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : helpers_)
        t.join();
}

unsigned WorkerPool::cores() {
    return std::clamp(std::thread::hardware_concurrency(), 1u, 64u);
}

unsigned WorkerPool::defaultWidth() {
    return std::min(cores(), 4u);
}

WorkerPool& WorkerPool::shared() {
    static WorkerPool pool(cores() - 1);
    return pool;
}

void WorkerPool::work(Batch& batch) {
    for (size_t i; !batch.failed && (i = batch.next++) < batch.count;) {
        try {
            (*batch.item)(i);
        } catch (...) {
            if (!batch.failed.exchange(true))
                batch.error = std::current_exception();
        }
    }
}

void WorkerPool::run(size_t count, unsigned width, const std::function<void(size_t)>& item) {
    const size_t wanted =
        std::min<size_t>({width > 0 ? width - 1 : 0, count > 0 ? count - 1 : 0, maxHelpers_});
    if (wanted == 0) {
        for (size_t i = 0; i < count; ++i)
            item(i);
        return;
    }
    Batch batch;
    batch.item = &item;
    batch.count = count;
    batch.helpersWanted = static_cast<unsigned>(wanted);
    std::unique_lock<std::mutex> lock(mutex_);
    while (helpers_.size() < wanted) {
        try {
            helpers_.emplace_back(&WorkerPool::helperLoop, this);
        } catch (const std::system_error&) {
            break; // fewer helpers: the items still all get done
        }
    }
    open_.push_back(&batch);
    lock.unlock();
    wake_.notify_all();
    work(batch);
    lock.lock();
    open_.remove(&batch); // no helper joins once the caller is done
    batch.finished.wait(lock, [&] { return batch.working == 0; });
    lock.unlock();
    if (batch.error)
        std::rethrow_exception(batch.error);
}

void WorkerPool::helperLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        Batch* batch = nullptr;
        for (Batch* b : open_) {
            if (b->next < b->count) {
                batch = b;
                break;
            }
        }
        if (!batch) {
            if (stop_)
                return;
            wake_.wait(lock);
            continue;
        }
        if (++batch->helpersIn == batch->helpersWanted)
            open_.remove(batch);
        ++batch->working;
        lock.unlock();
        work(*batch);
        lock.lock();
        if (--batch->working == 0)
            batch->finished.notify_one();
    }
}

} // namespace arc
