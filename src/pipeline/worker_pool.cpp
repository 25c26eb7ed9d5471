#include "pipeline/worker_pool.h"

#include <algorithm>
#include <utility>

WorkerPool::WorkerPool(unsigned threads) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    queued_.reserve(8);  // a few groups are queued at a time
    try {
        for (unsigned i = 1; i < threads; ++i) workers_.emplace_back([this] { workerLoop(); });
    } catch (...) {
        // A pool the system gave too few threads is not made, and its destructor does not
        // run: the threads started must end here, or their destruction ends the process.
        stopWorkers();
        throw;
    }
}

WorkerPool::~WorkerPool() { stopWorkers(); }

void WorkerPool::stopWorkers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void WorkerPool::queue(TaskGroup& group, std::size_t count, void* context, TaskGroup::Call call) {
    {
        std::lock_guard lock(mutex_);
        group.context_ = context;
        group.call_ = call;
        group.count_ = count;
        group.next_ = 0;
        group.finished_ = 0;
        group.error_ = nullptr;
        if (count > 0) queued_.push_back(&group);
    }
    if (count > 0) work_.notify_all();
}

bool WorkerPool::runNext(std::unique_lock<std::mutex>& lock) {
    if (queued_.empty()) return false;
    TaskGroup& group = *queued_.front();
    const std::size_t index = group.next_++;
    if (group.next_ == group.count_) queued_.erase(queued_.begin());
    lock.unlock();
    std::exception_ptr error;
    try {
        group.call_(group.context_, index);
    } catch (...) {
        error = std::current_exception();
    }
    lock.lock();
    if (error && !group.error_) group.error_ = error;
    if (++group.finished_ == group.count_) done_.notify_all();
    return true;
}

void WorkerPool::waitQuietly(TaskGroup& group) {
    std::unique_lock lock(mutex_);
    while (group.finished_ < group.count_)
        if (!runNext(lock)) done_.wait(lock);
}

void WorkerPool::wait(TaskGroup& group) {
    waitQuietly(group);
    std::lock_guard lock(mutex_);
    if (group.error_) std::rethrow_exception(std::exchange(group.error_, nullptr));
}

void WorkerPool::workerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
        if (stopping_) return;
        runNext(lock);
    }
}
