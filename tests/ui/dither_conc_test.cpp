// The dither tables are built once even when several threads ask first together.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ui/dither.h"

TEST(DitherConc, ThreadsAskingFirstTogetherAllSeeOneMap)
{
    constexpr int THREADS = 8;
    std::atomic<int> ready{0};
    std::vector<std::vector<int32_t>> maps(THREADS);
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < THREADS) {
            }
            std::vector<int32_t>& m = maps[t];
            m.push_back(dither_level_count(6));
            for (int32_t cell = 0; cell < DITHER_CELLS; ++cell)
                m.push_back(dither_rank(cell));
        });
    }
    for (std::thread& th : threads)
        th.join();
    for (int t = 1; t < THREADS; ++t)
        EXPECT_EQ(maps[t], maps[0]) << "thread " << t;
    EXPECT_EQ(maps[0][0], 512);
}
