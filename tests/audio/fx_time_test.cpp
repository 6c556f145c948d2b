// Effect tests, line family: DELAY, CHORUS, FLANGER and WOBBLE.
#include <gtest/gtest.h>

#include "fx_testkit.h"

namespace {

// Frames where the output is not silent.
std::vector<size_t> nonzero_frames(const std::vector<float>& v)
{
    std::vector<size_t> at;
    for (size_t i = 0; i < v.size(); i++)
        if (v[i] != 0.0f)
            at.push_back(i);
    return at;
}

// Recovers a modulated delay frame by frame: a sawtooth input makes the output a
// copy of the input D frames late, and linear interpolation of a ramp is exact.
// Frames whose read could straddle the sawtooth's drop are left out (NaN).
std::vector<double> measured_delay(FxSlot* s, double seconds, int longest)
{
    const int period = 4096;
    size_t n = (size_t)(seconds * 48000.0);
    std::vector<double> d(n, NAN);
    for (size_t t = 0; t < n; t++) {
        float x = (float)(t % period), l, r;
        fxt_frame(s, x, x, &l, &r);
        if (t >= (size_t)period && (int)(t % period) > longest + 1)
            d[t] = (double)x - (double)l;
    }
    return d;
}

struct Sweep {
    double lo = 1e30, hi = -1e30, period_frames = 0.0;
    int cycles = 0;
};

// Range of a measured delay and the mean spacing of its upward passes through the
// middle of that range.
Sweep sweep_of(const std::vector<double>& d)
{
    Sweep w;
    for (double x : d)
        if (!std::isnan(x)) {
            w.lo = std::fmin(w.lo, x);
            w.hi = std::fmax(w.hi, x);
        }
    double mid = (w.lo + w.hi) / 2.0, hyst = (w.hi - w.lo) / 10.0;
    bool low = false;
    long first = -1, last = -1;
    for (size_t t = 0; t < d.size(); t++) {
        if (std::isnan(d[t]))
            continue;
        if (d[t] < mid - hyst) {
            low = true;
        } else if (low && d[t] > mid + hyst) {
            low = false;
            if (first < 0)
                first = (long)t;
            else
                w.cycles++;
            last = (long)t;
        }
    }
    if (w.cycles > 0)
        w.period_frames = (double)(last - first) / w.cycles;
    return w;
}

}  // namespace

TEST(FxTime, DelayEchoesAtItsTimeWithGeometricFeedback)
{
    // Shortest time: 96 frames; no direct sound; each echo g = 0.95 times the last.
    FxSlotPtr s = fxt_slot(FX_DELAY, 0.0f, 1.0f);
    std::vector<float> out = fxt_run(s.get(), fxt_impulse(96 * 6 + 1));
    std::vector<size_t> at = nonzero_frames(out);
    ASSERT_EQ(at.size(), 6u);
    float gain = 1.0f;
    for (size_t k = 0; k < at.size(); k++) {
        EXPECT_EQ(at[k], 96 * (k + 1));
        EXPECT_FLOAT_EQ(out[at[k]], gain);
        gain *= 0.95f;
    }

    // No feedback: one echo only.
    s = fxt_slot(FX_DELAY, 0.0f, 0.0f);
    at = nonzero_frames(fxt_run(s.get(), fxt_impulse(1000)));
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(at[0], 96u);
}

TEST(FxTime, LongestDelayReadsTheOldestFrame)
{
    FxSlotPtr s = fxt_slot(FX_DELAY, 1.0f, 0.0f);
    std::vector<size_t> at = nonzero_frames(fxt_run(s.get(), fxt_impulse(80000)));
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(at[0], 72000u);

    // With smoothing on, a knob at 1 settles a hair below the top: one frame less.
    s = fxt_slot(FX_DELAY, 1.0f, 0.0f, true);
    fxt_run(s.get(), std::vector<float>(20000, 0.0f));
    at = nonzero_frames(fxt_run(s.get(), fxt_impulse(80000)));
    ASSERT_EQ(at.size(), 1u);
    EXPECT_EQ(at[0], 71999u);
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

TEST(FxTime, ChorusSweepsItsDepthAtItsRate)
{
    struct Case { float k1, k2; double hz, lo, hi; };
    // Rate 0.1..5 Hz; depth 5..75 % of the 720-frame centre.
    for (Case c : {Case{1.0f, 1.0f, 5.0, 180.0, 1260.0}, Case{0.0f, 0.0f, 0.1, 684.0, 756.0}}) {
        SCOPED_TRACE(testing::Message() << "knobs " << c.k1 << ", " << c.k2);
        FxSlotPtr s = fxt_slot(FX_CHORUS, c.k1, c.k2);
        Sweep w = sweep_of(measured_delay(s.get(), c.hz < 1.0 ? 25.0 : 3.0, 1440));
        EXPECT_NEAR(w.lo, c.lo, 1.0);
        EXPECT_NEAR(w.hi, c.hi, 1.0);
        ASSERT_GE(w.cycles, 1);
        EXPECT_NEAR(48000.0 / w.period_frames, c.hz, c.hz * 0.01);
    }
}

TEST(FxTime, FlangerSweepsHalfToSevenMilliseconds)
{
    for (float k1 : {0.0f, 1.0f}) {
        double hz = k1 * 3.0 + 0.1;
        FxSlotPtr s = fxt_slot(FX_FLANGER, k1, 0.0f);
        Sweep w = sweep_of(measured_delay(s.get(), hz < 1.0 ? 25.0 : 3.0, 400));
        EXPECT_NEAR(w.lo, 24.0, 0.5);
        EXPECT_NEAR(w.hi, 336.0, 0.5);
        ASSERT_GE(w.cycles, 1);
        EXPECT_NEAR(48000.0 / w.period_frames, hz, hz * 0.01);
    }
}

TEST(FxTime, FlangerFeedbackRecirculates)
{
    // With feedback 0.9 an impulse keeps coming round, each pass 0.9 of the last.
    FxSlotPtr s = fxt_slot(FX_FLANGER, 0.0f, 1.0f);
    std::vector<float> out = fxt_run(s.get(), fxt_impulse(48000));
    double early = fxt_rms(out, 0, 2400), late = fxt_rms(out, 24000, 26400);
    EXPECT_GT(late, 0.0);
    EXPECT_LT(late, early);
}

TEST(FxTime, WobbleMovesAroundTenFramesAtThreeRates)
{
    // Depth 0: a plain 10-frame delay.
    FxSlotPtr s = fxt_slot(FX_WOBBLE, 1.0f, 0.0f);
    Sweep w = sweep_of(measured_delay(s.get(), 0.5, 20));
    EXPECT_NEAR(w.lo, 10.0, 1e-3);
    EXPECT_NEAR(w.hi, 10.0, 1e-3);

    // Full depth: three sines at r, pi r and r / pi, weighted 0.5, 0.3 and 0.2 of
    // four frames. Their amplitudes show in the spectrum of the measured delay.
    s = fxt_slot(FX_WOBBLE, 1.0f, 1.0f);
    std::vector<double> d = measured_delay(s.get(), 10.0, 20);
    double r = 15.0;
    struct Line { double hz, amp; };
    for (Line line : {Line{r, 2.0}, Line{r * M_PI, 1.2}, Line{r * 0.31831, 0.8}}) {
        std::complex<double> acc = 0.0;
        size_t used = 0;
        for (size_t t = 0; t < d.size(); t++)
            if (!std::isnan(d[t])) {
                acc += (d[t] - 10.0) * std::polar(1.0, -2.0 * M_PI * line.hz * (double)t / 48000.0);
                used++;
            }
        EXPECT_NEAR(2.0 * std::abs(acc) / (double)used, line.amp, 0.08) << line.hz << " Hz";
    }
}
