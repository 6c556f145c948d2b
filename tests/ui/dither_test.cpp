// The dither tables: the rank map, the level counts and the step timing.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "ui/dither.h"

TEST(Dither, RankMapIsAPermutationPinnedByItsChecksum)
{
    std::vector<int> seen(DITHER_CELLS, 0);
    uint32_t hash = 2166136261u;   // FNV-1a over each rank's four bytes, low byte first
    for (int32_t cell = 0; cell < DITHER_CELLS; ++cell) {
        int32_t r = dither_rank(cell);
        ASSERT_GE(r, 0);
        ASSERT_LT(r, DITHER_CELLS);
        ++seen[r];
        for (int b = 0; b < 4; ++b) {
            hash ^= (uint32_t)r >> (8 * b) & 0xFF;
            hash *= 16777619u;
        }
    }
    for (int r = 0; r < DITHER_CELLS; ++r)
        EXPECT_EQ(seen[r], 1) << r;
    // Set from the first reviewed build. A change here means every panel dissolves
    // through different cells: look for fast-math, contraction or a change to the
    // generator, the noise or the sort.
    EXPECT_EQ(hash, 0x7EAFA50Du);
    EXPECT_EQ(dither_rank(-1), DITHER_CELLS);
    EXPECT_EQ(dither_rank(DITHER_CELLS), DITHER_CELLS);
    EXPECT_EQ(dither_rank(INT32_MIN), DITHER_CELLS);
}

TEST(Dither, LevelCountsFollowTheSmoothstepAndLevelsAreNested)
{
    const int32_t counts[13] = {0, 20, 76, 160, 265, 385, 512, 639, 759, 864, 948, 1004, 1024};
    for (int k = 0; k <= DITHER_STEPS; ++k)
        EXPECT_EQ(dither_level_count(k), counts[k]) << k;
    EXPECT_EQ(dither_level_count(-5), 0);
    EXPECT_EQ(dither_level_count(40), DITHER_CELLS);

    // Every cell shown at level k is still shown at k + 1.
    for (int k = 0; k < DITHER_STEPS; ++k) {
        int shown = 0;
        for (int32_t cell = 0; cell < DITHER_CELLS; ++cell) {
            bool now = dither_rank(cell) < dither_level_count(k);
            bool next = dither_rank(cell) < dither_level_count(k + 1);
            ASSERT_TRUE(!now || next) << "cell " << cell << " level " << k;
            shown += now;
        }
        EXPECT_EQ(shown, counts[k]);
    }
}

TEST(Dither, StepsAre30MsAndEndAt12)
{
    EXPECT_EQ(dither_step_at(0.0299), 0);
    EXPECT_EQ(dither_step_at(0.03), 1);
    EXPECT_EQ(dither_step_at(11 * 0.03), 11);   // 0.32999999999999996
    EXPECT_EQ(dither_step_at(0.36), 12);
    EXPECT_EQ(dither_step_at(10), 12);
    EXPECT_EQ(dither_step_at(1e300), 12);
    EXPECT_EQ(dither_step_at(INFINITY), 12);
    EXPECT_EQ(dither_step_at(-1), 0);
    EXPECT_EQ(dither_step_at(NAN), 0);
}
