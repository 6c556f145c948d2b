// Effect tests, memoryless and gating family: BITCRUSH, CHOPPER and RING.
#include <gtest/gtest.h>

#include "fx_testkit.h"

TEST(FxMisc, CrusherBitDepthAndRateReduction)
{
    FxtNoise noise;
    std::vector<float> in = noise.block(5000);

    // Knobs at 1: 16 bits, each value held for 50 frames.
    FxSlotPtr s = fxt_slot(FX_BITCRUSH, 1.0f, 1.0f);
    std::vector<float> out = fxt_run(s.get(), in);
    for (size_t i = 1; i < out.size(); i++) {
        if (i % 50 == 49)
            ASSERT_EQ(out[i], std::round(in[i] * 65536.0f) / 65536.0f) << "frame " << i;
        else
            ASSERT_EQ(out[i], out[i - 1]) << "frame " << i;
    }

    // Knobs at 0: one bit (levels of 1/2), a new value every frame.
    s = fxt_slot(FX_BITCRUSH, 0.0f, 0.0f);
    out = fxt_run(s.get(), in);
    for (size_t i = 0; i < out.size(); i++)
        ASSERT_EQ(out[i], std::round(in[i] * 2.0f) / 2.0f) << "frame " << i;
}

TEST(FxMisc, ChopperDutyAndRate)
{
    // Duty knob 0: open for the first 10 % of each 2 s cycle (0.5 Hz). The phase is a
    // float, so the cycle runs a little short of 96,000 frames.
    FxSlotPtr s = fxt_slot(FX_CHOPPER, 0.0f, 0.0f);
    std::vector<float> out = fxt_run(s.get(), std::vector<float>(2 * 96000, 1.0f));
    size_t closes = 0;
    while (closes < out.size() && out[closes] != 0.0f)
        closes++;
    size_t reopens = closes;
    while (reopens < out.size() && out[reopens] == 0.0f)
        reopens++;
    EXPECT_NEAR((double)closes, 9600.0, 2.0);
    EXPECT_NEAR((double)reopens, 96000.0, 96000.0 * 0.002);

    // Fastest rate, widest duty: 20 cycles a second, open 90 % of each.
    s = fxt_slot(FX_CHOPPER, 1.0f, 1.0f);
    out = fxt_run(s.get(), std::vector<float>(48000, 1.0f));
    int open = 0, opens = 0;
    for (size_t i = 0; i < out.size(); i++) {
        open += out[i] != 0.0f;
        opens += i > 0 && out[i] != 0.0f && out[i - 1] == 0.0f;
    }
    EXPECT_NEAR(open, 43200, 20);
    EXPECT_NEAR(opens, 19, 1);   // the first opening is frame 0
}

TEST(FxMisc, RingCarrierRateAndShape)
{
    // A steady input shows the carrier: a sine of 20 Hz..2 kHz.
    for (float k1 : {0.0f, 1.0f}) {
        double hz = k1 * 1980.0 + 20.0;
        FxSlotPtr s = fxt_slot(FX_RING, k1, 0.0f);
        std::vector<float> out = fxt_run(s.get(), std::vector<float>(48000, 1.0f));
        int rises = 0;
        for (size_t i = 1; i < out.size(); i++)
            rises += out[i - 1] <= 0.0f && out[i] > 0.0f;
        EXPECT_NEAR(rises, hz, hz * 0.01 + 1.0);
        EXPECT_NEAR(fxt_rms(out), std::sqrt(0.5), 0.01);
    }

    // Shape knob 1: a square carrier, so the output is the input or its negation.
    FxSlotPtr s = fxt_slot(FX_RING, 0.5f, 1.0f);
    FxtNoise noise;
    std::vector<float> in = noise.block(10000);
    std::vector<float> out = fxt_run(s.get(), in);
    for (size_t i = 0; i < in.size(); i++)
        ASSERT_EQ(std::fabs(out[i]), std::fabs(in[i])) << "frame " << i;
}
