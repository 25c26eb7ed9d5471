// A fixed set of worker threads, started once for the whole run, that run the
// numbered tasks of a batch while the calling thread does work of its own.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

class WorkerPool {
public:
    // threads counts the calling thread too: 1 runs everything on the caller,
    // 0 takes the hardware's count.
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    unsigned threads() const { return static_cast<unsigned>(workers_.size()) + 1; }
    WorkerPool& operator=(const WorkerPool&) = delete;

    // Runs task(i) for every i below count, and alongside() on the calling
    // thread meanwhile; the caller then helps with what is left and returns once
    // every task has finished. The first exception of a task is rethrown here.
    template <typename Task, typename Alongside>
    void run(std::size_t count, Task& task, Alongside&& alongside) {
        start(count, &task, [](void* t, std::size_t i) { (*static_cast<Task*>(t))(i); });
        try {
            alongside();
        } catch (...) {
            finish();
            throw;
        }
        finish();
    }

private:
    using Call = void (*)(void*, std::size_t);
    void start(std::size_t count, void* context, Call call);
    void finish();
    void workerLoop();
    // Runs one claimed task with the lock released; the lock is held on return.
    void runClaimed(std::unique_lock<std::mutex>& lock, std::size_t index);

    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    void* context_ = nullptr;
    Call call_ = nullptr;
    std::size_t count_ = 0;
    std::size_t next_ = 0;
    std::size_t finished_ = 0;
    std::exception_ptr error_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};
