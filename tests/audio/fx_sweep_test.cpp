// Robustness of every effect: bounded at every knob corner under full-scale noise,
// and nothing non-finite ever leaves a slot, whatever comes in or sits in a line.
#include <gtest/gtest.h>

#include <cfloat>

#include "fx_testkit.h"

namespace {

class FxEvery : public testing::TestWithParam<int> {};

std::string type_name(const testing::TestParamInfo<int>& info)
{
    return fx_name(info.param);
}

// Runs noise (or silence) through both sides with independent noise per side;
// returns the largest |output|, or infinity at the first non-finite one.
float run_peak(FxSlot* s, FxtNoise* noise, int frames, float gain)
{
    float peak = 0.0f, l, r;
    for (int i = 0; i < frames; i++) {
        float a = noise ? noise->next() * gain : 0.0f;
        float b = noise ? noise->next() * gain : 0.0f;
        fxt_frame(s, a, b, &l, &r);
        if (!std::isfinite(l) || !std::isfinite(r))
            return INFINITY;
        peak = std::fmax(peak, std::fmax(std::fabs(l), std::fabs(r)));
    }
    return peak;
}

void fill(float* p, size_t n, float v)
{
    for (size_t i = 0; i < n; i++)
        p[i] = v;
}

}  // namespace

TEST_P(FxEvery, StaysBoundedAtEveryKnobCorner)
{
    const int ten_seconds = 10 * 48000;
    for (float k1 : {0.0f, 1.0f})
        for (float k2 : {0.0f, 1.0f}) {
            SCOPED_TRACE(testing::Message() << "knobs " << k1 << ", " << k2);
            FxSlotPtr s = fxt_slot(GetParam(), k1, k2, true);
            FxtNoise noise;
            EXPECT_LT(run_peak(s.get(), &noise, ten_seconds, 1.0f), 16.0f) << "noise";
            EXPECT_LT(run_peak(s.get(), nullptr, ten_seconds, 0.0f), 16.0f) << "silence";
        }
}

TEST_P(FxEvery, ANonFiniteInputFrameNeverComesOut)
{
    // Longer than the longest line (72,000 frames), so a sample parked in a line
    // would come round again.
    for (float bad : {NAN, INFINITY, -INFINITY}) {
        FxSlotPtr s = fxt_slot(GetParam(), 0.7f, 0.7f, true);
        FxtNoise noise;
        run_peak(s.get(), &noise, 1000, 0.5f);
        float l, r;
        fxt_frame(s.get(), bad, bad, &l, &r);
        EXPECT_TRUE(std::isfinite(l) && std::isfinite(r));
        EXPECT_LT(run_peak(s.get(), &noise, 80000, 0.5f), 16.0f);
    }
}

TEST_P(FxEvery, HugeInputNeverOverflowsTheOutput)
{
    FxSlotPtr s = fxt_slot(GetParam(), 1.0f, 1.0f);
    float l, r;
    for (int i = 0; i < 20000; i++) {
        float x = (i / 100) % 2 ? FLT_MAX : -FLT_MAX;
        fxt_frame(s.get(), x, x, &l, &r);
        ASSERT_TRUE(std::isfinite(l) && std::isfinite(r)) << "frame " << i;
    }
    FxtNoise noise;
    EXPECT_TRUE(std::isfinite(run_peak(s.get(), &noise, 80000, 0.5f)));
}

TEST_P(FxEvery, NonFiniteStateIsResetToSilence)
{
    // Every line and filter state poisoned: the first time the effect meets it, its
    // state goes back to silence, and only finite samples come out.
    FxSlotPtr s = fxt_slot(GetParam(), 0.7f, 0.7f);
    fill(s->delay_buf, 2 * FX_DELAY_FRAMES, NAN);
    fill(s->mod_buf, 2 * FX_MOD_FRAMES, NAN);
    fill(s->reverb_buf, 2 * FX_REVERB_FRAMES, INFINITY);
    fill(s->allpass_buf, 2 * FX_ALLPASS_FRAMES, NAN);
    fill(s->grain_buf, 2 * FX_GRAIN_FRAMES, NAN);
    fill(s->phaser, 12, NAN);
    fill(s->biquad, 8, NAN);
    fill(s->radio_state, 8, NAN);
    fill(s->comb_damp, 8, NAN);
    s->crush_l = s->crush_r = s->out_l = s->out_r = NAN;
    float peak = run_peak(s.get(), nullptr, 80000, 0.0f);
    EXPECT_TRUE(std::isfinite(peak));
    // Silence in, silence out (RADIO adds its noise floor of at most 0.05).
    EXPECT_LE(run_peak(s.get(), nullptr, 1000, 0.0f), 0.05f);
    // And the effect still works on what comes next.
    FxtNoise noise;
    EXPECT_GT(run_peak(s.get(), &noise, 80000, 0.5f), 0.0f);
}

INSTANTIATE_TEST_SUITE_P(Fx, FxEvery, testing::Range(1, (int)FX_TYPE_COUNT), type_name);
