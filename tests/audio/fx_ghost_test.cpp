// Effect tests, grains: GHOST.
#include <gtest/gtest.h>

#include <algorithm>

#include "fx_testkit.h"

TEST(FxGhost, FullVoicesSkipAGrainAndKeepTheSpacing)
{
    // Grains of 503 frames, one every 503 / 8 = 62 frames: the ninth is due while all
    // eight voices still play. It is skipped and the countdown starts over, so grains
    // keep to the 62-frame grid instead of bunching up as voices free.
    FxSlotPtr s = fxt_slot(FX_GHOST, 0.001f, 1.0f);
    std::vector<int> starts;
    int most = 0;
    for (int t = 0; t < 48000; t++) {
        fxt_frame(s.get(), 0.1f, 0.1f);
        int active = 0;
        for (const FxGrainVoice& v : s->grains) {
            active += v.active;
            if (v.active && v.age == 1)
                starts.push_back(t);
        }
        most = std::max(most, active);
    }
    ASSERT_EQ(s->grains[0].length, 503);
    EXPECT_EQ(most, 8);
    bool skipped = false;
    for (size_t i = 1; i < starts.size(); i++) {
        ASSERT_EQ(starts[i] % 62, 0) << "grain " << i;
        ASSERT_GE(starts[i] - starts[i - 1], 62);
        skipped = skipped || starts[i] - starts[i - 1] > 62;
    }
    EXPECT_TRUE(skipped);
}

TEST(FxGhost, AGrainPlaysTheInputBackwards)
{
    // Shortest grains (480 frames), one at a time. Fed a rising ramp, each grain
    // falls: around its middle, where the window is symmetric, later frames are lower.
    FxSlotPtr s = fxt_slot(FX_GHOST, 0.0f, 0.0f);
    std::vector<float> ramp(48000);
    for (size_t i = 0; i < ramp.size(); i++)
        ramp[i] = 0.1f + (float)i * 1e-5f;
    std::vector<float> out = fxt_run(s.get(), ramp);
    ASSERT_EQ(s->grains[0].length, 480);
    for (int g = 10; g < 20; g++) {
        int mid = g * 480 + 240;
        for (int k = 1; k < 239; k++)
            ASSERT_LT(out[mid + k], out[mid - k]) << "grain " << g << ", offset " << k;
    }
}
