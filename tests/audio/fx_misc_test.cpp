// Effect tests, memoryless and gating family: GRIT, BITCRUSH, CHOPPER and RING.
#include <gtest/gtest.h>

#include "fx_testkit.h"

namespace {

std::vector<float> sine(double hz, double amp, size_t n)
{
    std::vector<float> v(n);
    for (size_t i = 0; i < n; i++)
        v[i] = (float)(amp * std::sin(2.0 * M_PI * hz * (double)i / 48000.0));
    return v;
}

// Upward passes through zero per second.
double rises_per_second(const std::vector<float>& v)
{
    int count = 0;
    for (size_t i = 1; i < v.size(); i++)
        if (v[i - 1] <= 0.0f && v[i] > 0.0f)
            count++;
    return count / ((double)v.size() / 48000.0);
}

}  // namespace

TEST(FxMisc, CrusherHoldsFiftyFramesAtSixteenBits)
{
    FxSlotPtr s = fxt_slot(FX_BITCRUSH, 1.0f, 1.0f);
    FxtNoise noise;
    std::vector<float> in = noise.block(5000);
    std::vector<float> out = fxt_run(s.get(), in);
    for (size_t i = 1; i < out.size(); i++) {
        if (i % 50 == 49) {
            // A new value: the input of that frame on a grid of 1/65536.
            EXPECT_EQ(out[i], std::round(in[i] * 65536.0f) / 65536.0f) << "frame " << i;
        } else {
            ASSERT_EQ(out[i], out[i - 1]) << "frame " << i;
        }
    }
}

TEST(FxMisc, CrusherAtOneBitQuantisesEveryFrameToHalves)
{
    FxSlotPtr s = fxt_slot(FX_BITCRUSH, 0.0f, 0.0f);
    FxtNoise noise;
    std::vector<float> in = noise.block(5000);
    std::vector<float> out = fxt_run(s.get(), in);
    int changes = 0;
    for (size_t i = 0; i < out.size(); i++) {
        float levels = out[i] * 2.0f;
        ASSERT_EQ(levels, std::round(levels)) << "frame " << i;
        ASSERT_LE(std::fabs(out[i] - in[i]), 0.25f) << "frame " << i;
        changes += i > 0 && out[i] != out[i - 1];
    }
    EXPECT_GT(changes, 1000);   // no holding
}

TEST(FxMisc, ChopperDutyAndRate)
{
    // Duty knob 0: the first 10 % of each 2 s cycle (0.5 Hz) is open. (The phase is
    // a float, so the cycle runs a little short of 96,000 frames.)
    FxSlotPtr s = fxt_slot(FX_CHOPPER, 0.0f, 0.0f);
    std::vector<float> out = fxt_run(s.get(), std::vector<float>(2 * 96000, 1.0f));
    size_t closes = 0, reopens = 0;
    while (closes < out.size() && out[closes] != 0.0f)
        closes++;
    reopens = closes;
    while (reopens < out.size() && out[reopens] == 0.0f)
        reopens++;
    EXPECT_NEAR((double)closes, 9600.0, 2.0);
    EXPECT_NEAR((double)reopens, 96000.0, 96000.0 * 0.002);

    // Fastest rate, widest duty: 20 cycles a second, open 90 % of each.
    s = fxt_slot(FX_CHOPPER, 1.0f, 1.0f);
    out = fxt_run(s.get(), std::vector<float>(48000, 1.0f));
    int open = 0, rises = 0;
    for (size_t i = 0; i < out.size(); i++) {
        open += out[i] != 0.0f;
        rises += i > 0 && out[i] != 0.0f && out[i - 1] == 0.0f;
    }
    EXPECT_NEAR(open, 43200, 20);
    EXPECT_NEAR(rises, 19, 1);   // the first opening is at frame 0
}

TEST(FxMisc, RingCarrierRateAndShape)
{
    std::vector<float> dc(48000, 1.0f);
    for (float k1 : {0.0f, 1.0f}) {
        double hz = k1 * 1980.0 + 20.0;
        FxSlotPtr s = fxt_slot(FX_RING, k1, 0.0f);
        std::vector<float> out = fxt_run(s.get(), dc);
        EXPECT_NEAR(rises_per_second(out), hz, hz * 0.01 + 1.0);
        EXPECT_NEAR(fxt_rms(out), std::sqrt(0.5), 0.01);   // a sine carrier
    }

    // Shape knob 1: a square carrier, so the output is the input or its negation.
    FxSlotPtr s = fxt_slot(FX_RING, 0.5f, 1.0f);
    FxtNoise noise;
    std::vector<float> in = noise.block(10000);
    std::vector<float> out = fxt_run(s.get(), in);
    for (size_t i = 0; i < in.size(); i++)
        ASSERT_EQ(std::fabs(out[i]), std::fabs(in[i])) << "frame " << i;
}

TEST(FxMisc, GritDriveSaturatesAndToneDarkens)
{
    // Drive 1 passes small signals at unity; drive 30 raises them by sqrt(30) but
    // never lets the output past 1 / sqrt(30).
    std::vector<float> quiet = sine(100.0, 0.001, 48000);
    FxSlotPtr s = fxt_slot(FX_GRIT, 0.0f, 1.0f);
    EXPECT_NEAR(fxt_rms(fxt_run(s.get(), quiet)) / fxt_rms(quiet), 1.0, 0.01);
    s = fxt_slot(FX_GRIT, 1.0f, 1.0f);
    EXPECT_NEAR(fxt_rms(fxt_run(s.get(), quiet)) / fxt_rms(quiet), std::sqrt(30.0), 0.02);
    FxtNoise noise;
    float peak = 0.0f;
    for (float y : fxt_run(s.get(), noise.block(48000, 4.0f)))
        peak = std::fmax(peak, std::fabs(y));
    EXPECT_LE(peak, 1.0f / std::sqrt(30.0f) + 1e-6f);

    // Tone: a 10 kHz tone is cut hard at tone 0 (2 kHz corner), lightly at tone 1.
    std::vector<float> high = sine(10000.0, 0.01, 48000);
    s = fxt_slot(FX_GRIT, 0.0f, 0.0f);
    EXPECT_LT(fxt_rms(fxt_run(s.get(), high)) / fxt_rms(high), 0.25);
    s = fxt_slot(FX_GRIT, 0.0f, 1.0f);
    EXPECT_GT(fxt_rms(fxt_run(s.get(), high)) / fxt_rms(high), 0.7);
}
