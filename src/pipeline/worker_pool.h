// A fixed set of worker threads, started once for the whole run, that run
// groups of numbered tasks. Groups queue behind each other, so that threads
// with nothing left of one group go on with the next instead of waiting.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

// The tasks handed to the pool at once; it must outlive the wait for it.
class TaskGroup {
    friend class WorkerPool;
    using Call = void (*)(void*, std::size_t);
    void* context_ = nullptr;
    Call call_ = nullptr;
    std::size_t count_ = 0;
    std::size_t next_ = 0;
    std::size_t finished_ = 0;
    std::exception_ptr error_;
};

class WorkerPool {
public:
    // threads counts the calling thread too: 1 runs everything on the caller,
    // 0 takes the hardware's count.
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;
    unsigned threads() const { return static_cast<unsigned>(workers_.size()) + 1; }

    // Queues task(0) .. task(count - 1) as `group`, behind the groups queued
    // before; `task` must live until wait(group) returns.
    template <typename Task>
    void submit(TaskGroup& group, std::size_t count, Task& task) {
        queue(group, count, &task, [](void* t, std::size_t i) { (*static_cast<Task*>(t))(i); });
    }

    // Runs queued tasks on the calling thread, this group's and then later
    // ones', until every task of `group` has finished; then rethrows the first
    // exception one of them threw.
    void wait(TaskGroup& group);

    // wait() that drops the group's exception: for groups whose results are discarded.
    void waitQuietly(TaskGroup& group);

private:
    void stopWorkers();
    void queue(TaskGroup& group, std::size_t count, void* context, TaskGroup::Call call);
    void workerLoop();
    // Takes the next task of the oldest queued group and runs it with the lock
    // released; false when no task is queued. The lock is held on return.
    bool runNext(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::vector<TaskGroup*> queued_;  // groups with tasks not yet taken, oldest first
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};
