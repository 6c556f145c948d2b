// Effect tests, filter family: HIPASS, LOPASS, PHASER and RADIO.
#include <gtest/gtest.h>

#include <cstring>

#include "fx_testkit.h"

TEST(FxFilters, BiquadMagnitudesAtTheKnobExtremes)
{
    // Magnitude of the impulse response at a few frequencies. The high-pass rejects
    // DC (by about 40 dB at 20 Hz: in float its poles sit very near 1), the low-pass
    // Nyquist; at the cutoff the gain is Q: 0.5 (knob 0) or 10 (knob 1).
    struct Case { int type; float k1, k2; double hz, gain, tol; };
    const Case cases[] = {
        {FX_HIPASS, 0, 0, 0, 0, 0.02},        {FX_HIPASS, 0, 0, 20, 0.5, 0.03},
        {FX_HIPASS, 0, 0, 1000, 1, 0.01},     {FX_HIPASS, 1, 0, 0, 0, 1e-3},
        {FX_HIPASS, 1, 0, 1000, 0, 0.005},    {FX_HIPASS, 1, 0, 24000, 1, 1e-3},
        {FX_HIPASS, 1, 1, 20000, 10, 0.3},    {FX_HIPASS, 0, 1, 20, 10, 0.5},
        {FX_LOPASS, 1, 0, 0, 1, 1e-3},        {FX_LOPASS, 1, 0, 20000, 0.5, 0.02},
        {FX_LOPASS, 1, 0, 24000, 0, 1e-3},    {FX_LOPASS, 0, 0, 0, 1, 0.05},
        {FX_LOPASS, 0, 0, 1000, 0, 0.005},    {FX_LOPASS, 0, 0, 24000, 0, 1e-3},
        {FX_LOPASS, 1, 1, 20000, 10, 0.3},    {FX_LOPASS, 0, 1, 20, 10, 0.5},
    };
    for (const Case& c : cases) {
        FxSlotPtr s = fxt_slot(c.type, c.k1, c.k2);
        std::vector<float> h = fxt_run(s.get(), fxt_impulse(96000));
        EXPECT_NEAR(fxt_magnitude(h, c.hz), c.gain, c.tol)
            << fx_name(c.type) << " knobs " << c.k1 << ", " << c.k2 << " at " << c.hz << " Hz";
    }
}

TEST(FxFilters, SmallKnobMovesKeepTheCoefficients)
{
    for (int type : {FX_HIPASS, FX_LOPASS}) {
        FxSlotPtr s = fxt_slot(type, 0.5f, 0.5f);
        fxt_frame(s.get(), 0.0f, 0.0f);
        float before[5];
        std::memcpy(before, s->biquad_c, sizeof before);
        // 0.4 Hz and a resonance step of 0.005 stay below the thresholds; 2 Hz does not.
        fxt_set(s.get(), type, 0.5f + 0.4f / 19980.0f, 0.5f + 0.005f / 9.5f);
        fxt_frame(s.get(), 0.0f, 0.0f);
        EXPECT_EQ(0, std::memcmp(before, s->biquad_c, sizeof before)) << fx_name(type);
        fxt_set(s.get(), type, 0.5f + 2.0f / 19980.0f, 0.5f);
        fxt_frame(s.get(), 0.0f, 0.0f);
        EXPECT_NE(0, std::memcmp(before, s->biquad_c, sizeof before)) << fx_name(type);
    }
}

TEST(FxFilters, PhaserIsAnAllPassAtEveryCorner)
{
    FxtNoise noise;
    std::vector<float> in = noise.block(5 * 48000);
    for (float k1 : {0.0f, 1.0f})
        for (float k2 : {0.0f, 1.0f}) {
            FxSlotPtr s = fxt_slot(FX_PHASER, k1, k2);
            EXPECT_NEAR(fxt_rms(fxt_run(s.get(), in)) / fxt_rms(in), 1.0, 0.03)
                << "knobs " << k1 << ", " << k2;
        }
}

TEST(FxFilters, RadioNoiseFloorFallsAsTheBandWidens)
{
    for (float k2 : {0.0f, 0.5f, 1.0f}) {
        FxSlotPtr s = fxt_slot(FX_RADIO, 0.3f, k2);
        std::vector<float> out(4 * 48000);
        float r;
        for (float& y : out) {
            y = fxt_frame(s.get(), 0.0f, 0.0f, &r);
            ASSERT_EQ(y, r);   // one noise sample for both sides
        }
        double expect = (1.0 - 0.8 * k2) * 0.05 / std::sqrt(3.0);   // uniform noise
        EXPECT_NEAR(fxt_rms(out), expect, expect * 0.02) << "bandwidth knob " << k2;
    }
}
