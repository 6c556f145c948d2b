// Effect tests, line family: DELAY, CHORUS, FLANGER and WOBBLE.
#include <gtest/gtest.h>

#include "fx_testkit.h"

namespace {

std::vector<size_t> nonzero_frames(const std::vector<float>& v)
{
    std::vector<size_t> at;
    for (size_t i = 0; i < v.size(); i++)
        if (v[i] != 0.0f)
            at.push_back(i);
    return at;
}

struct Sweep {
    double lo = 1e30, hi = -1e30, hz = 0.0;
};

// Measures a modulated delay frame by frame: fed a sawtooth, the output is the
// input D frames late (linear interpolation of a ramp is exact), so D = in - out.
// Frames whose read could straddle the sawtooth's drop are skipped. Returns the
// delay's range and the rate of its upward passes through the middle.
Sweep measure_sweep(FxSlot* s, double seconds, int longest)
{
    const int period = 4096;
    std::vector<double> d;
    std::vector<size_t> when;
    for (size_t t = 0; t < (size_t)(seconds * 48000.0); t++) {
        float x = (float)(t % period), y = fxt_frame(s, x, x);
        if (t >= (size_t)period && (int)(t % period) > longest + 1) {
            d.push_back((double)x - y);
            when.push_back(t);
        }
    }
    Sweep w;
    for (double x : d) {
        w.lo = std::fmin(w.lo, x);
        w.hi = std::fmax(w.hi, x);
    }
    double mid = (w.lo + w.hi) / 2.0, hyst = (w.hi - w.lo) / 10.0;
    bool low = false;
    long first = -1, last = -1, cycles = 0;
    for (size_t i = 0; i < d.size(); i++) {
        if (d[i] < mid - hyst) {
            low = true;
        } else if (low && d[i] > mid + hyst) {
            low = false;
            cycles += first >= 0;
            first = first < 0 ? (long)when[i] : first;
            last = (long)when[i];
        }
    }
    w.hz = cycles ? 48000.0 * cycles / (double)(last - first) : 0.0;
    return w;
}

}  // namespace

TEST(FxTime, DelayEchoesAtItsTimeWithGeometricFeedback)
{
    // Shortest time, 96 frames; no direct sound; each echo 0.95 times the last.
    FxSlotPtr s = fxt_slot(FX_DELAY, 0.0f, 1.0f);
    std::vector<float> out = fxt_run(s.get(), fxt_impulse(96 * 6 + 1));
    std::vector<size_t> at = nonzero_frames(out);
    ASSERT_EQ(at.size(), 6u);
    for (size_t k = 0; k < at.size(); k++) {
        EXPECT_EQ(at[k], 96 * (k + 1));
        EXPECT_FLOAT_EQ(out[at[k]], std::pow(0.95f, (float)k));
    }

    // Longest time: the oldest frame of the line, 72,000 frames back. With smoothing
    // on, a knob at 1 settles a hair below the top: one frame less.
    for (bool smooth : {false, true}) {
        s = fxt_slot(FX_DELAY, 1.0f, 0.0f, smooth);
        fxt_run(s.get(), std::vector<float>(20000, 0.0f));
        at = nonzero_frames(fxt_run(s.get(), fxt_impulse(80000)));
        ASSERT_EQ(at.size(), 1u);
        EXPECT_EQ(at[0], smooth ? 71999u : 72000u);
    }
}

TEST(FxTime, DelayLineStaysWithinItsClampUnderLoudInput)
{
    FxSlotPtr s = fxt_slot(FX_DELAY, 0.0f, 1.0f);
    FxtNoise noise;
    float peak = 0.0f;
    for (float y : fxt_run(s.get(), noise.block(5 * 48000, 10.0f)))
        peak = std::fmax(peak, std::fabs(y));
    EXPECT_LE(peak, 4.0f);
    EXPECT_GT(peak, 3.9f);
}

TEST(FxTime, ModulatedDelaysSweepTheirRangeAtTheirRate)
{
    struct Case { int type; float k1, k2; double hz, lo, hi; int longest; };
    const Case cases[] = {
        // CHORUS: 0.1..5 Hz around 720 frames, by 5 % .. 75 % of it.
        {FX_CHORUS, 1, 1, 5.0, 180, 1260, 1440},
        {FX_CHORUS, 0, 0, 0.1, 684, 756, 1440},
        // FLANGER: 0.1..3.1 Hz over 0.5..7 ms.
        {FX_FLANGER, 1, 0, 3.1, 24, 336, 400},
        {FX_FLANGER, 0, 0, 0.1, 24, 336, 400},
        // WOBBLE: 10 frames, moved by at most 4 at full depth.
        {FX_WOBBLE, 1, 0, 0.0, 10, 10, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << fx_name(c.type) << " knobs " << c.k1 << ", " << c.k2);
        FxSlotPtr s = fxt_slot(c.type, c.k1, c.k2);
        Sweep w = measure_sweep(s.get(), c.hz > 0.0 && c.hz < 1.0 ? 25.0 : 3.0, c.longest);
        EXPECT_NEAR(w.lo, c.lo, 0.5);
        EXPECT_NEAR(w.hi, c.hi, 0.5);
        if (c.hz > 0.0) {
            EXPECT_NEAR(w.hz, c.hz, c.hz * 0.01);
        }
    }
    FxSlotPtr s = fxt_slot(FX_WOBBLE, 1.0f, 1.0f);
    Sweep w = measure_sweep(s.get(), 3.0, 20);
    EXPECT_GE(w.lo, 6.0);
    EXPECT_LE(w.hi, 14.0);
    EXPECT_GT(w.hi - w.lo, 6.0);
}
