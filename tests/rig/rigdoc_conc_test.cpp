// Rig identifiers drawn from many threads at once, the first draw of the process
// (which seeds the generator) included.
#include "rig/rigdoc.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(RigIdsConcurrency, ThreadsRacingToTheFirstDrawNeverDrawTheSameNumber)
{
    const int kThreads = 4, kDraws = 5000;
    std::vector<std::vector<std::string>> drawn(kThreads);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (auto& d : drawn)
        threads.emplace_back([&d, &ready] {
            ready.fetch_add(1);
            while (ready.load() < kThreads) {
            }
            for (int i = 0; i < kDraws; i++) {
                char id[37];
                rig_uuid_new(id);
                d.push_back(id);
            }
        });
    for (auto& t : threads)
        t.join();
    std::set<std::string> all;
    for (auto& d : drawn)
        all.insert(d.begin(), d.end());
    EXPECT_EQ(all.size(), (size_t)kThreads * kDraws);
}

}  // namespace
