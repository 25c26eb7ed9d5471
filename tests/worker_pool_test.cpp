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
            bool alongside = false;
            pool.run(hits.size(), task, [&] { alongside = true; });
            EXPECT_TRUE(alongside);
            for (auto& h : hits) ASSERT_EQ(h.load(), 1) << threads << " threads, batch " << batch;
        }
    }
}

TEST(WorkerPoolTest, EmptyBatchStillRunsTheCallersWork) {
    WorkerPool pool(3);
    auto task = [](std::size_t) { FAIL(); };
    int calls = 0;
    pool.run(0, task, [&] { ++calls; });
    EXPECT_EQ(calls, 1);
}

TEST(WorkerPoolTest, TaskFailureReachesTheCallerAfterTheBatch) {
    WorkerPool pool(2);
    std::atomic<int> finished{0};
    auto task = [&](std::size_t i) {
        if (i == 3) throw std::runtime_error("task 3");
        finished.fetch_add(1);
    };
    EXPECT_THROW(pool.run(8, task, [] {}), std::runtime_error);
    EXPECT_EQ(finished.load(), 7);
    // The pool stays usable.
    auto quiet = [&](std::size_t) { finished.fetch_add(1); };
    pool.run(4, quiet, [] {});
    EXPECT_EQ(finished.load(), 11);
}

}  // namespace
