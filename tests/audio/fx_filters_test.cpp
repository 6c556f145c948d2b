// Effect tests, filter family: HIPASS, LOPASS, PHASER and RADIO.
#include <gtest/gtest.h>

#include <cstring>

#include "fx_testkit.h"

namespace {

std::vector<float> response(int type, float k1, float k2, size_t frames = 96000)
{
    FxSlotPtr s = fxt_slot(type, k1, k2);
    return fxt_run(s.get(), fxt_impulse(frames));
}

// Zero crossings upward per second, with a little hysteresis against noise.
double rising_per_second(const std::vector<float>& v, float level = 0.0f, float hyst = 0.0f)
{
    int count = 0;
    bool low = true;
    for (float x : v) {
        if (low && x > level + hyst) {
            count++;
            low = false;
        } else if (!low && x < level - hyst) {
            low = true;
        }
    }
    return count / ((double)v.size() / 48000.0);
}

}  // namespace

TEST(FxFilters, HighPassAtTheKnobExtremes)
{
    // Lowest cutoff, gentlest Q: DC is rejected (by about 40 dB: the float poles sit
    // very near 1), the cutoff sits at -6 dB (gain Q), the audio band passes.
    std::vector<float> h = response(FX_HIPASS, 0.0f, 0.0f);
    EXPECT_LT(fxt_magnitude(h, 0.0), 0.02);
    EXPECT_NEAR(fxt_magnitude(h, 20.0), 0.5, 0.03);
    EXPECT_NEAR(fxt_magnitude(h, 1000.0), 1.0, 0.01);
    EXPECT_NEAR(fxt_magnitude(h, 24000.0), 1.0, 1e-3);

    // Highest cutoff: everything below it is cut by 12 dB per octave, Nyquist passes.
    h = response(FX_HIPASS, 1.0f, 0.0f);
    EXPECT_LT(fxt_magnitude(h, 0.0), 1e-3);
    EXPECT_LT(fxt_magnitude(h, 1000.0), 0.005);
    EXPECT_NEAR(fxt_magnitude(h, 24000.0), 1.0, 1e-3);

    // Full resonance peaks at the cutoff with gain Q = 10.
    h = response(FX_HIPASS, 1.0f, 1.0f);
    EXPECT_NEAR(fxt_magnitude(h, 20000.0), 10.0, 0.3);
    EXPECT_LT(fxt_magnitude(h, 0.0), 1e-3);
    h = response(FX_HIPASS, 0.0f, 1.0f);
    EXPECT_NEAR(fxt_magnitude(h, 20.0), 10.0, 0.5);
    EXPECT_LT(fxt_magnitude(h, 0.0), 0.02);
}

TEST(FxFilters, LowPassAtTheKnobExtremes)
{
    std::vector<float> h = response(FX_LOPASS, 1.0f, 0.0f);
    EXPECT_NEAR(fxt_magnitude(h, 0.0), 1.0, 1e-3);
    EXPECT_NEAR(fxt_magnitude(h, 1000.0), 1.0, 0.01);
    EXPECT_NEAR(fxt_magnitude(h, 20000.0), 0.5, 0.02);
    EXPECT_LT(fxt_magnitude(h, 24000.0), 1e-3);

    h = response(FX_LOPASS, 0.0f, 0.0f);
    EXPECT_NEAR(fxt_magnitude(h, 0.0), 1.0, 0.05);
    EXPECT_LT(fxt_magnitude(h, 1000.0), 0.005);
    EXPECT_LT(fxt_magnitude(h, 24000.0), 1e-3);

    h = response(FX_LOPASS, 1.0f, 1.0f);
    EXPECT_NEAR(fxt_magnitude(h, 20000.0), 10.0, 0.3);
    EXPECT_LT(fxt_magnitude(h, 24000.0), 1e-3);
    h = response(FX_LOPASS, 0.0f, 1.0f);
    EXPECT_NEAR(fxt_magnitude(h, 20.0), 10.0, 0.5);
    EXPECT_LT(fxt_magnitude(h, 24000.0), 1e-3);
}

TEST(FxFilters, SmallKnobMovesKeepTheCoefficients)
{
    for (int type : {FX_HIPASS, FX_LOPASS}) {
        SCOPED_TRACE(fx_name(type));
        FxSlotPtr s = fxt_slot(type, 0.5f, 0.5f);
        float l, r;
        fxt_frame(s.get(), 0.0f, 0.0f, &l, &r);
        float before[5];
        std::memcpy(before, s->biquad_c, sizeof before);

        // 0.4 Hz and a resonance step of 0.005: below the thresholds.
        fxt_set(s.get(), type, 0.5f + 0.4f / 19980.0f, 0.5f + 0.005f / 9.5f);
        for (int i = 0; i < 100; i++)
            fxt_frame(s.get(), 0.0f, 0.0f, &l, &r);
        EXPECT_EQ(0, std::memcmp(before, s->biquad_c, sizeof before));

        // 2 Hz is above it.
        fxt_set(s.get(), type, 0.5f + 2.0f / 19980.0f, 0.5f);
        fxt_frame(s.get(), 0.0f, 0.0f, &l, &r);
        EXPECT_NE(0, std::memcmp(before, s->biquad_c, sizeof before));
    }
}

TEST(FxFilters, PhaserIsAnAllPassAtEveryCorner)
{
    FxtNoise noise;
    std::vector<float> in = noise.block(5 * 48000);
    double in_rms = fxt_rms(in);
    for (float k1 : {0.0f, 1.0f})
        for (float k2 : {0.0f, 1.0f}) {
            SCOPED_TRACE(testing::Message() << "knobs " << k1 << ", " << k2);
            FxSlotPtr s = fxt_slot(FX_PHASER, k1, k2);
            std::vector<float> out = fxt_run(s.get(), in);
            EXPECT_NEAR(fxt_rms(out) / in_rms, 1.0, 0.03);
        }
}

TEST(FxFilters, PhaserSweepsAtItsRate)
{
    // A steady 1 kHz tone keeps its level, but its phase turns as the corner sweeps;
    // the correlation of output and input repeats once per sweep.
    for (float k1 : {1.0f, 0.5f}) {
        double rate = 2.0 * k1 + 0.05;
        FxSlotPtr s = fxt_slot(FX_PHASER, k1, 1.0f);
        const int hop = 48;   // one envelope value per millisecond
        std::vector<double> env;
        double acc = 0.0;
        for (int i = 0; i < 6 * 48000; i++) {
            float x = std::sin(2.0 * M_PI * 1000.0 * i / 48000.0), l, r;
            fxt_frame(s.get(), x, x, &l, &r);
            acc += (double)x * l;
            if (i % hop == hop - 1) {
                env.push_back(acc);
                acc = 0.0;
            }
        }
        // The first lag that matches as well as the best (multiples of the period
        // match equally well).
        std::vector<double> corr(1201, 0.0);
        double top = -1e30;
        for (int lag = 100; lag <= 1200; lag++) {
            for (size_t i = 0; i + 1200 < env.size(); i++)
                corr[lag] += env[i] * env[i + lag];
            top = std::fmax(top, corr[lag]);
        }
        int first = 0;
        for (int lag = 101; lag < 1200 && !first; lag++)
            if (corr[lag] >= 0.97 * top && corr[lag] >= corr[lag - 1] && corr[lag] >= corr[lag + 1])
                first = lag;
        EXPECT_NEAR(first, 1000.0 / rate, 5.0) << "rate " << rate << " Hz";
    }
}

TEST(FxFilters, RadioNoiseFloorFallsAsTheBandWidens)
{
    std::vector<float> silence(4 * 48000, 0.0f);
    for (float k2 : {0.0f, 0.5f, 1.0f}) {
        FxSlotPtr s = fxt_slot(FX_RADIO, 0.3f, k2);
        float l, r;
        std::vector<float> out(silence.size());
        for (size_t i = 0; i < silence.size(); i++) {
            fxt_frame(s.get(), 0.0f, 0.0f, &l, &r);
            ASSERT_EQ(l, r);   // one noise sample for both sides
            out[i] = l;
        }
        double expect = (1.0 - 0.8 * k2) * 0.05 / std::sqrt(3.0);   // uniform noise
        EXPECT_NEAR(fxt_rms(out), expect, expect * 0.02) << "bandwidth knob " << k2;
    }
}

TEST(FxFilters, RadioCarrierFollowsTheTuningKnob)
{
    // A steady input becomes the carrier itself, heard through the band-pass.
    std::vector<float> dc(2 * 48000, 0.5f);
    for (double hz : {1500.0, 5000.0}) {
        FxSlotPtr s = fxt_slot(FX_RADIO, (float)((hz - 50.0) / 4950.0), 1.0f);
        std::vector<float> out = fxt_run(s.get(), dc);
        out.erase(out.begin(), out.begin() + 4800);
        EXPECT_NEAR(rising_per_second(out, 0.0f, 0.05f), hz, hz * 0.01);
    }
}
