// Effect tests, reverb: HALL.
#include <gtest/gtest.h>

#include "fx_testkit.h"

namespace {

// Seconds until the level of 10 ms windows of the impulse response stays 60 dB
// under its loudest window.
double decay_seconds(float size, float damping)
{
    FxSlotPtr s = fxt_slot(FX_HALL, size, damping);
    std::vector<float> h = fxt_run(s.get(), fxt_impulse(12 * 48000));
    const size_t win = 480;
    std::vector<double> level;
    for (size_t i = 0; i + win <= h.size(); i += win)
        level.push_back(fxt_rms(h, i, i + win));
    double top = 0.0;
    for (double x : level)
        top = std::fmax(top, x);
    size_t last = 0;
    for (size_t k = 0; k < level.size(); k++)
        if (level[k] > top * 1e-3)
            last = k;
    return (double)(last + 1) * win / 48000.0;
}

}  // namespace

TEST(FxHall, SilentUntilTheShortestCombComesRound)
{
    FxSlotPtr s = fxt_slot(FX_HALL, 0.5f, 0.5f);
    std::vector<float> h = fxt_run(s.get(), fxt_impulse(2000));
    size_t first = 0;
    while (first < h.size() && h[first] == 0.0f)
        first++;
    EXPECT_EQ(first, 1422u);   // fully wet: no direct sound
}

TEST(FxHall, SizeSetsTheDecay)
{
    double small = decay_seconds(0.0f, 0.5f);
    double mid = decay_seconds(0.5f, 0.5f);
    double large = decay_seconds(1.0f, 0.0f);
    EXPECT_LT(small, 0.5);
    EXPECT_GT(mid, small);
    EXPECT_GT(large, mid);
    // Combs of about 32 ms at feedback 0.95: about 4 s to fall 60 dB.
    EXPECT_GT(large, 3.0);
    EXPECT_LT(large, 8.0);
}

TEST(FxHall, DampingShortensTheHighEnd)
{
    // The same tail with more damping loses its high frequencies faster.
    FxtNoise noise;
    std::vector<float> burst = noise.block(4800);
    burst.resize(48000, 0.0f);
    double hf[2];
    for (int k = 0; k < 2; k++) {
        FxSlotPtr s = fxt_slot(FX_HALL, 1.0f, (float)k);
        std::vector<float> out = fxt_run(s.get(), burst);
        std::vector<float> diff(out.size());
        for (size_t i = 1; i < out.size(); i++)
            diff[i] = out[i] - out[i - 1];   // a crude high-pass
        hf[k] = fxt_rms(diff, 24000, 48000) / fxt_rms(out, 24000, 48000);
    }
    EXPECT_LT(hf[1], hf[0] * 0.7);
}
