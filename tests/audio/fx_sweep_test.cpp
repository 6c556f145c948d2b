// Robustness of every effect: bounded at every knob corner under full-scale noise,
// and nothing non-finite ever leaves a slot, whatever comes in or sits in a line.
#include <gtest/gtest.h>

#include <cfloat>

#include "fx_testkit.h"

namespace {

class FxEvery : public testing::TestWithParam<int> {};

// Runs noise of the given gain (0: silence) through both sides, independent per
// side; returns the largest |output|, or infinity at the first non-finite one.
float run_peak(FxSlot* s, FxtNoise* noise, int frames, float gain)
{
    float peak = 0.0f, r;
    for (int i = 0; i < frames; i++) {
        float l = fxt_frame(s, noise->next() * gain, noise->next() * gain, &r);
        if (!std::isfinite(l) || !std::isfinite(r))
            return INFINITY;
        peak = std::fmax(peak, std::fmax(std::fabs(l), std::fabs(r)));
    }
    return peak;
}

}  // namespace

TEST_P(FxEvery, StaysBoundedAtEveryKnobCorner)
{
    for (float k1 : {0.0f, 1.0f})
        for (float k2 : {0.0f, 1.0f}) {
            FxSlotPtr s = fxt_slot(GetParam(), k1, k2, true);
            FxtNoise noise;
            EXPECT_LT(run_peak(s.get(), &noise, 480000, 1.0f), 16.0f) << k1 << ", " << k2;
            EXPECT_LT(run_peak(s.get(), &noise, 480000, 0.0f), 16.0f) << k1 << ", " << k2;
        }
}

TEST_P(FxEvery, NonFiniteOrHugeInputNeverComesOut)
{
    // Each run lasts longer than the longest line (72,000 frames), so a sample
    // parked in a line comes round again.
    for (float bad : {NAN, INFINITY, FLT_MAX}) {
        FxSlotPtr s = fxt_slot(GetParam(), 1.0f, 1.0f);
        FxtNoise noise;
        float r;
        for (int i = 0; i < 4800; i++)
            ASSERT_TRUE(std::isfinite(fxt_frame(s.get(), (i / 100) % 2 ? bad : -bad, bad, &r)) &&
                        std::isfinite(r)) << bad << ", frame " << i;
        EXPECT_TRUE(std::isfinite(run_peak(s.get(), &noise, 80000, 0.5f))) << bad;
    }
}

TEST_P(FxEvery, NonFiniteStateIsResetToSilence)
{
    // Every line and filter state poisoned: when the effect meets it, its state goes
    // back to silence and only finite samples come out.
    FxSlotPtr s = fxt_slot(GetParam(), 0.7f, 0.7f);
    std::fill_n(s->delay_buf, 2 * FX_DELAY_FRAMES, NAN);
    std::fill_n(s->mod_buf, 2 * FX_MOD_FRAMES, NAN);
    std::fill_n(s->reverb_buf, 2 * FX_REVERB_FRAMES, INFINITY);
    std::fill_n(s->allpass_buf, 2 * FX_ALLPASS_FRAMES, NAN);
    std::fill_n(s->grain_buf, 2 * FX_GRAIN_FRAMES, NAN);
    for (float* st : {s->phaser, s->biquad, s->radio_state, s->comb_damp})
        std::fill_n(st, 8, NAN);
    s->crush_l = s->crush_r = s->out_l = s->out_r = NAN;
    FxtNoise noise;
    EXPECT_TRUE(std::isfinite(run_peak(s.get(), &noise, 80000, 0.0f)));
    // Silence in, silence out (RADIO adds its noise floor of at most 0.05) ...
    EXPECT_LE(run_peak(s.get(), &noise, 1000, 0.0f), 0.05f);
    // ... and the effect still works on what comes next.
    EXPECT_GT(run_peak(s.get(), &noise, 80000, 0.5f), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Fx, FxEvery, testing::Range(1, (int)FX_TYPE_COUNT),
                         [](const testing::TestParamInfo<int>& info) { return fx_name(info.param); });
