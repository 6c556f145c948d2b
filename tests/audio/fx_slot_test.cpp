// Insert slot tests: names, set-up, the type-change log, knob smoothing and what a
// type change keeps or resets.
#include <gtest/gtest.h>

#include <string>

#include "fx_testkit.h"

TEST(FxSlot, NamesAndKnobLabels)
{
    EXPECT_STREQ(fx_name(FX_OFF), "OFF");
    EXPECT_STREQ(fx_name(FX_BITCRUSH), "BITCRUSH");
    EXPECT_STREQ(fx_name(FX_GHOST), "GHOST");
    EXPECT_STREQ(fx_name(15), "???");
    EXPECT_STREQ(fx_name(-1), "???");
    EXPECT_STREQ(fx_param_name(FX_OFF, 0), "---");
    EXPECT_STREQ(fx_param_name(FX_DELAY, 0), "Del Time");
    EXPECT_STREQ(fx_param_name(FX_BITCRUSH, 1), "Downsample");
    EXPECT_STREQ(fx_param_name(FX_GHOST, 0), "Grain Sz");
    EXPECT_STREQ(fx_param_name(FX_GHOST, 1), "Density");
    EXPECT_STREQ(fx_param_name(3, 2), "???");
    EXPECT_STREQ(fx_param_name(3, -1), "???");
    EXPECT_STREQ(fx_param_name(15, 0), "???");
    for (int t = 0; t < FX_TYPE_COUNT; t++)
        for (int k = 0; k < 2; k++)
            EXPECT_STRNE(fx_param_name(t, k), "???");
}

TEST(FxSlot, InitClearsAllButPluginAndBypassAndReportsItsBuffers)
{
    FxSlotPtr s(new FxSlot());
    VstPlugin* fake = reinterpret_cast<VstPlugin*>(s.get());
    s->plugin.store(fake);
    s->bypass.store(1);
    s->effect_type.store(FX_HALL);
    s->knob1.store(0.7f);
    s->out_l = 3.0f;
    testing::internal::CaptureStderr();
    ASSERT_EQ(fx_init(s.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Effects: 14 fx + gate + comp (814 KB buffers)\n");
    EXPECT_EQ(s->plugin.load(), fake);
    EXPECT_EQ(s->bypass.load(), 1);
    EXPECT_EQ(s->effect_type.load(), FX_OFF);
    EXPECT_EQ(s->knob1.load(), 0.0f);
    EXPECT_EQ(s->out_l, 0.0f);
    EXPECT_EQ(s->last_type, -1);
    ASSERT_NE(s->delay_buf, nullptr);
    ASSERT_NE(s->grain_buf, nullptr);
    EXPECT_EQ(s->delay_buf[2 * FX_DELAY_FRAMES - 1], 0.0f);
    EXPECT_EQ(s->grain_buf[2 * FX_GRAIN_FRAMES - 1], 0.0f);
    s->plugin.store(nullptr);

    fx_free(s.get());
    EXPECT_EQ(s->delay_buf, nullptr);
    fx_free(s.get());      // twice is harmless
    fx_free(nullptr);
}

TEST(FxSlot, TypeChangesAreLoggedByTheUiNotTheCallback)
{
    FxSlotPtr s = fxt_slot(FX_OFF, 0.5f, 0.5f);
    testing::internal::CaptureStderr();
    fx_set_type(s.get(), FX_HALL);
    fx_set_type(s.get(), FX_HALL);   // no change, no line
    fx_set_type(s.get(), 15);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "FX: → HALL\nFX: → ???\n");

    testing::internal::CaptureStderr();
    fxt_set(s.get(), FX_DELAY, 0.5f, 0.5f);
    fx_update(s.get());
    fx_process_frame(s.get());
    fxt_set(s.get(), FX_GHOST, 0.5f, 0.5f);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(FxSlot, KnobJumpsGlideWithoutZipperSteps)
{
    // A steady input through GRIT while the drive knob jumps from 0 to 1: with
    // smoothing the output moves in small steps, without it in one large one.
    for (bool smooth : {true, false}) {
        FxSlotPtr s = fxt_slot(FX_GRIT, 0.0f, 1.0f, smooth);
        float l, r, prev = 0.0f, largest = 0.0f;
        for (int i = 0; i < 2000; i++)
            fxt_frame(s.get(), 0.5f, 0.5f, &prev, &r);
        float start = prev;
        fxt_set(s.get(), FX_GRIT, 1.0f, 1.0f);
        for (int i = 0; i < 4000; i++) {
            fxt_frame(s.get(), 0.5f, 0.5f, &l, &r);
            largest = std::fmax(largest, std::fabs(l - prev));
            prev = l;
        }
        EXPECT_NEAR(prev, std::tanh(15.0f) / std::sqrt(30.0f), 1e-3);
        float jump = std::fabs(prev - start);
        if (smooth)
            EXPECT_LT(largest, 0.1f * jump);
        else
            EXPECT_GT(largest, 0.5f * jump);
    }

    // The glide covers 99 % of a jump in about 920 frames (coefficient 0.005).
    FxSlotPtr s = fxt_slot(FX_RING, 0.0f, 0.0f, true);
    fxt_set(s.get(), FX_RING, 1.0f, 1.0f);
    float l, r;
    for (int i = 0; i < 850; i++)
        fxt_frame(s.get(), 0.0f, 0.0f, &l, &r);
    EXPECT_LT(s->smoothed[0], 0.99f);
    for (int i = 0; i < 100; i++)
        fxt_frame(s.get(), 0.0f, 0.0f, &l, &r);
    EXPECT_GT(s->smoothed[0], 0.99f);
}

TEST(FxSlot, KnobsOutsideTheirRangeActAsTheNearestEnd)
{
    FxtNoise noise;
    std::vector<float> in = noise.block(20000);
    for (int type = FX_DELAY; type < FX_TYPE_COUNT; type++) {
        SCOPED_TRACE(fx_name(type));
        FxSlotPtr a = fxt_slot(type, 1.0f, 0.0f);
        FxSlotPtr b = fxt_slot(type, 7.0f, NAN);
        std::vector<float> ya = fxt_run(a.get(), in);
        std::vector<float> yb = fxt_run(b.get(), in);
        ASSERT_EQ(ya, yb);
    }
}

TEST(FxSlot, SwitchingAwayAndBackKeepsTheLines)
{
    // DELAY -> CHORUS -> DELAY: the echo still in the line comes out when the delay
    // returns (its line did not move while the chorus ran).
    FxSlotPtr s = fxt_slot(FX_DELAY, 0.0f, 0.0f);
    float l, r;
    fxt_frame(s.get(), 1.0f, 1.0f, &l, &r);
    for (int i = 1; i < 50; i++)
        fxt_frame(s.get(), 0.0f, 0.0f, &l, &r);
    fxt_set(s.get(), FX_CHORUS, 0.5f, 0.5f);
    for (int i = 0; i < 30; i++)
        fxt_frame(s.get(), 0.0f, 0.0f, &l, &r);
    fxt_set(s.get(), FX_DELAY, 0.0f, 0.0f);
    int echo_at = -1;
    for (int i = 50; i < 200; i++) {
        fxt_frame(s.get(), 0.0f, 0.0f, &l, &r);
        if (l != 0.0f && echo_at < 0) {
            echo_at = i;
            EXPECT_EQ(l, 1.0f);
        }
    }
    EXPECT_EQ(echo_at, 96);
}

TEST(FxSlot, OffAndBackToTheSameEffectResetsNothing)
{
    // A chopper mid-cycle: through OFF its gate carries on where it was; through
    // another effect its cycle restarts.
    auto run_until_change = [](FxSlot* s, float level) {
        float l, r;
        int n = 0;
        do {
            fxt_frame(s, 1.0f, 1.0f, &l, &r);
            n++;
        } while (l == level && n < 100000);
        return n;
    };
    for (int via : {FX_OFF, FX_RING}) {
        SCOPED_TRACE(fx_name(via));
        FxSlotPtr s = fxt_slot(FX_CHOPPER, 0.5f, 0.5f);
        float l, r;
        for (int i = 0; i < 1000; i++)
            fxt_frame(s.get(), 1.0f, 1.0f, &l, &r);
        // The patch runner does not update an OFF slot; another type takes a block.
        s->effect_type.store(via);
        if (via != FX_OFF) {
            fx_update(s.get());
            fxt_frame(s.get(), 1.0f, 1.0f, &l, &r);
        }
        fxt_set(s.get(), FX_CHOPPER, 0.5f, 0.5f);
        // 10.25 Hz, open for the first half of each cycle: 2,342 frames from its
        // start, 1,342 from 1,000 frames in (plus the frame that closes).
        int open_for = run_until_change(s.get(), 1.0f);
        EXPECT_NEAR(open_for, via == FX_OFF ? 1343 : 2343, 2);
    }
}
