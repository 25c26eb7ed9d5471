// Work shared between indicators: done once per frame, never kept past it.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "indicators/shared_passes.h"
#include "test_support.h"

TEST(SharedPasses, EveryThreadReadsTheSumsOfTheCurrentFrame) {
    OwnedImage dark(24, 16, 1), bright(24, 16, 200);
    SharedPasses shared;
    for (const OwnedImage* frame : {&dark, &bright, &dark}) {
        shared.start(*frame);
        const int32_t expected = 64 * frame->samples[0];
        std::vector<std::thread> readers;
        std::vector<int> wrong(4, 0);
        for (int t = 0; t < 4; ++t)
            readers.emplace_back([&, t] {
                const int32_t* sums = shared.blockSums8();
                for (int i = 0; i < 3 * 2; ++i) wrong[static_cast<std::size_t>(t)] += sums[i] != expected;
            });
        for (std::thread& r : readers) r.join();
        for (int w : wrong) EXPECT_EQ(w, 0) << "level " << int{frame->samples[0]};
    }
}
