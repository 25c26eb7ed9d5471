#include "pipeline/worker_pool.h"

#include <algorithm>
#include <utility>

WorkerPool::WorkerPool(unsigned threads) {
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    for (unsigned i = 1; i < threads; ++i) workers_.emplace_back([this] { workerLoop(); });
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void WorkerPool::start(std::size_t count, void* context, Call call) {
    {
        std::lock_guard lock(mutex_);
        context_ = context;
        call_ = call;
        count_ = count;
        next_ = 0;
        finished_ = 0;
        error_ = nullptr;
    }
    if (count > 0) work_.notify_all();
}

void WorkerPool::finish() {
    std::unique_lock lock(mutex_);
    while (next_ < count_) runClaimed(lock, next_++);
    done_.wait(lock, [this] { return finished_ == count_; });
    count_ = next_ = finished_ = 0;
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
}

void WorkerPool::runClaimed(std::unique_lock<std::mutex>& lock, std::size_t index) {
    void* context = context_;
    Call call = call_;
    lock.unlock();
    std::exception_ptr error;
    try {
        call(context, index);
    } catch (...) {
        error = std::current_exception();
    }
    lock.lock();
    if (error && !error_) error_ = error;
    if (++finished_ == count_) done_.notify_all();
}

void WorkerPool::workerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return stopping_ || next_ < count_; });
        if (stopping_) return;
        runClaimed(lock, next_++);
    }
}
