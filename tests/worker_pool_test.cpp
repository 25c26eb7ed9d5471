#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "pipeline/worker_pool.h"

namespace {

TEST(WorkerPoolTest, RunsEveryTaskOnceAcrossManyBatches) {
    for (unsigned threads : {1u, 2u, 5u}) {
        WorkerPool pool(threads);
        for (int batch = 0; batch < 200; ++batch) {
            std::vector<std::atomic<int>> hits(12);
            auto task = [&](std::size_t i) { hits[i].fetch_add(1); };
            TaskGroup group;
            pool.submit(group, hits.size(), task);
            pool.wait(group);
            for (auto& h : hits) ASSERT_EQ(h.load(), 1) << threads << " threads, batch " << batch;
        }
    }
}

TEST(WorkerPoolTest, EmptyGroupIsDoneAtOnce) {
    WorkerPool pool(3);
    auto task = [](std::size_t) { FAIL(); };
    TaskGroup group;
    pool.submit(group, 0, task);
    pool.wait(group);
}

TEST(WorkerPoolTest, TaskFailureReachesTheCallerAfterTheBatch) {
    WorkerPool pool(2);
    std::atomic<int> finished{0};
    auto task = [&](std::size_t i) {
        if (i == 3) throw std::runtime_error("task 3");
        finished.fetch_add(1);
    };
    TaskGroup failing;
    pool.submit(failing, 8, task);
    EXPECT_THROW(pool.wait(failing), std::runtime_error);
    EXPECT_EQ(finished.load(), 7);
    // The pool stays usable.
    auto quiet = [&](std::size_t) { finished.fetch_add(1); };
    TaskGroup next;
    pool.submit(next, 4, quiet);
    pool.wait(next);
    EXPECT_EQ(finished.load(), 11);
}

TEST(WorkerPoolTest, QueuedGroupsRunInOrderAndKeepTheirOwnFailures) {
    for (unsigned threads : {1u, 2u, 4u}) {
        WorkerPool pool(threads);
        std::vector<std::atomic<int>> older(40), newer(40);
        auto first = [&](std::size_t i) { older[i].fetch_add(1); };
        auto second = [&](std::size_t i) {
            newer[i].fetch_add(1);
            if (i == 5) throw std::runtime_error("newer");
        };
        TaskGroup a, b;
        pool.submit(a, older.size(), first);
        pool.submit(b, newer.size(), second);
        pool.wait(a);  // the newer group's failure is not the older one's
        for (auto& h : older) EXPECT_EQ(h.load(), 1) << threads << " threads";
        EXPECT_THROW(pool.wait(b), std::runtime_error);
        for (auto& h : newer) EXPECT_EQ(h.load(), 1) << threads << " threads";
    }
}

}  // namespace
