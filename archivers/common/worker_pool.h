// The one pool of worker threads of a module, shared by everything in it that
// works side by side: the pieces of one member (deflate pieces, LZH segments)
// and the members of one archive. A call hands the pool a batch of numbered
// items and a width, the most threads that may work on that batch at once, the
// calling thread included; the caller works on its own batch too and returns
// when every item is done. Batches of calls running side by side share the
// helpers; a call never uses more than its width, so callers that split one
// thread budget between them (the modules' -mt switch) never exceed it together.
// Helpers are started when first needed and kept, so that neither a small
// batch nor a call pays for starting a thread.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <list>
#include <mutex>
#include <thread>
#include <vector>

namespace arc {

class WorkerPool {
public:
    // A pool of at most `helpers` helper threads.
    explicit WorkerPool(unsigned helpers);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    // The pool of the module that holds this code, with a helper per core
    // beyond the first.
    static WorkerPool& shared();

    // One thread per core.
    static unsigned cores();
    // The width of a call that was given none: one thread per core, at most
    // four, as more would hold more memory for the little they add to a run
    // that the disk or the caller's other work bounds.
    static unsigned defaultWidth();

    // Runs item(0) .. item(count - 1), each once, on up to `width` threads
    // (the calling thread and width - 1 helpers), in no given order. When an
    // item throws, the items not started yet are dropped and the first
    // exception is thrown here once the others have finished.
    void run(size_t count, unsigned width, const std::function<void(size_t)>& item);

private:
    struct Batch;

    static void work(Batch& batch);
    void helperLoop();

    unsigned maxHelpers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::list<Batch*> open_; // batches that may take another helper
    std::vector<std::thread> helpers_;
    bool stop_ = false;
};

} // namespace arc
