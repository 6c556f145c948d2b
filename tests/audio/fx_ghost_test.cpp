// Effect tests, grains: GHOST.
#include <gtest/gtest.h>

#include "fx_testkit.h"

namespace {

int active_voices(const FxSlot* s)
{
    int n = 0;
    for (const FxGrainVoice& v : s->grains)
        n += v.active;
    return n;
}

// Frames at which a grain started (a voice whose age is 1 after the frame).
std::vector<int> grain_starts(FxSlot* s, int frames, int* most_voices)
{
    std::vector<int> starts;
    *most_voices = 0;
    float l, r;
    for (int t = 0; t < frames; t++) {
        fxt_frame(s, 0.1f, 0.1f, &l, &r);
        for (const FxGrainVoice& v : s->grains)
            if (v.active && v.age == 1)
                starts.push_back(t);
        *most_voices = std::max(*most_voices, active_voices(s));
    }
    return starts;
}

}  // namespace

TEST(FxGhost, GrainLengthsRunTenToFiveHundredMilliseconds)
{
    for (float k1 : {0.0f, 1.0f}) {
        FxSlotPtr s = fxt_slot(FX_GHOST, k1, 0.0f);
        float l, r;
        fxt_frame(s.get(), 0.0f, 0.0f, &l, &r);
        ASSERT_EQ(active_voices(s.get()), 1);
        // 480 frames at the shortest; at the longest, half the 24,000-frame line.
        EXPECT_EQ(s->grains[0].length, k1 == 0.0f ? 480 : 12000);
    }
}

TEST(FxGhost, FullVoicesSkipAGrainAndKeepTheSpacing)
{
    // Grains of 503 frames, one every 503 / 8 = 62 frames: the ninth is due while all
    // eight voices still play. It is skipped and the countdown starts over, so grains
    // keep to the 62-frame grid instead of bunching up when a voice frees.
    FxSlotPtr s = fxt_slot(FX_GHOST, 0.001f, 1.0f);
    ASSERT_NE(s, nullptr);
    int most = 0;
    std::vector<int> starts = grain_starts(s.get(), 48000, &most);
    ASSERT_EQ(s->grains[0].length, 503);
    EXPECT_EQ(most, 8);
    ASSERT_GT(starts.size(), 100u);
    bool skipped = false;
    for (size_t i = 0; i < starts.size(); i++) {
        ASSERT_EQ(starts[i] % 62, 0) << "grain " << i;
        if (i > 0) {
            ASSERT_GE(starts[i] - starts[i - 1], 62);
            skipped = skipped || starts[i] - starts[i - 1] > 62;
        }
    }
    EXPECT_TRUE(skipped);
}

TEST(FxGhost, AGrainPlaysTheInputBackwards)
{
    // One voice at a time (density 1). Fed a rising ramp, each grain falls: around
    // its middle, where the window is symmetric, later frames are lower.
    FxSlotPtr s = fxt_slot(FX_GHOST, 0.0f, 0.0f);
    std::vector<float> ramp(48000);
    for (size_t i = 0; i < ramp.size(); i++)
        ramp[i] = 0.1f + (float)i * 1e-5f;
    std::vector<float> out = fxt_run(s.get(), ramp);
    const int len = 480;
    for (int g = 10; g < 20; g++) {
        int mid = g * len + len / 2;
        for (int k = 1; k < len / 2 - 1; k++)
            ASSERT_LT(out[mid + k], out[mid - k]) << "grain " << g << ", offset " << k;
    }
}

TEST(FxGhost, OverlappingGrainsAreAveraged)
{
    // Eight overlapping Hann windows over a steady input: the output never passes the
    // input's level (summed, they would reach about four times it).
    FxSlotPtr s = fxt_slot(FX_GHOST, 0.5f, 1.0f);
    float peak = 0.0f;
    for (float y : fxt_run(s.get(), std::vector<float>(48000, 1.0f)))
        peak = std::fmax(peak, y);
    EXPECT_LE(peak, 1.0f);
    EXPECT_GT(peak, 0.4f);
}
