// Effect tests, reverb: HALL.
#include <gtest/gtest.h>

#include <algorithm>

#include "fx_testkit.h"

TEST(FxHall, WetTailWhoseLengthFollowsTheSize)
{
    // Fully wet: silent until the shortest comb (1,422 frames) comes round.
    FxSlotPtr s = fxt_slot(FX_HALL, 0.5f, 0.5f);
    std::vector<float> h = fxt_run(s.get(), fxt_impulse(2000));
    size_t first = 0;
    while (first < h.size() && h[first] == 0.0f)
        first++;
    EXPECT_EQ(first, 1422u);

    // Seconds until 10 ms windows of the impulse response stay 60 dB under the
    // loudest. Combs of about 32 ms at feedback 0.95 take about 4 s.
    auto decay = [](float size) {
        FxSlotPtr s = fxt_slot(FX_HALL, size, 0.0f);
        std::vector<float> h = fxt_run(s.get(), fxt_impulse(12 * 48000));
        std::vector<double> level;
        for (size_t i = 0; i + 480 <= h.size(); i += 480)
            level.push_back(fxt_rms(h, i, i + 480));
        double top = *std::max_element(level.begin(), level.end());
        size_t last = 0;
        for (size_t k = 0; k < level.size(); k++)
            last = level[k] > top * 1e-3 ? k : last;
        return (double)(last + 1) / 100.0;
    };
    double small = decay(0.0f), mid = decay(0.5f), large = decay(1.0f);
    EXPECT_LT(small, 0.5);
    EXPECT_GT(mid, small * 1.5);
    EXPECT_GT(large, mid * 1.5);
    EXPECT_GT(large, 3.0);
    EXPECT_LT(large, 8.0);
}
