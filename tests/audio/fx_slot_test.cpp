// Insert slot tests: names, set-up, the type-change log, knob smoothing and what a
// type change keeps.
#include <gtest/gtest.h>

#include "fx_testkit.h"

TEST(FxSlot, NamesAndKnobLabels)
{
    EXPECT_STREQ(fx_name(FX_OFF), "OFF");
    EXPECT_STREQ(fx_name(FX_GHOST), "GHOST");
    EXPECT_STREQ(fx_name(15), "???");
    EXPECT_STREQ(fx_name(-1), "???");
    EXPECT_STREQ(fx_param_name(FX_DELAY, 0), "Del Time");
    EXPECT_STREQ(fx_param_name(FX_GHOST, 1), "Density");
    EXPECT_STREQ(fx_param_name(3, 2), "???");
    EXPECT_STREQ(fx_param_name(15, 0), "???");
}

TEST(FxSlot, InitKeepsPluginAndBypassAndReportsItsBuffers)
{
    FxSlotPtr s(new FxSlot());
    VstPlugin* fake = reinterpret_cast<VstPlugin*>(s.get());
    s->plugin.store(fake);
    s->bypass.store(1);
    s->effect_type.store(FX_HALL);
    testing::internal::CaptureStderr();
    ASSERT_EQ(fx_init(s.get()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Effects: 14 fx + gate + comp (814 KB buffers)\n");
    EXPECT_EQ(s->plugin.load(), fake);
    EXPECT_EQ(s->bypass.load(), 1);
    EXPECT_EQ(s->effect_type.load(), FX_OFF);
    EXPECT_EQ(s->last_type, -1);
    s->plugin.store(nullptr);
    fx_free(s.get());
    EXPECT_EQ(s->delay_buf, nullptr);
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
    fxt_frame(s.get(), 0.5f, 0.5f);
    fxt_set(s.get(), FX_GHOST, 0.5f, 0.5f);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(FxSlot, KnobJumpsGlideWithoutZipperSteps)
{
    // A steady input through GRIT while the drive knob jumps from 0 to 1: with
    // smoothing the output moves in small steps, without it in one large one.
    for (bool smooth : {true, false}) {
        FxSlotPtr s = fxt_slot(FX_GRIT, 0.0f, 1.0f, smooth);
        float prev = 0.0f, largest = 0.0f;
        for (int i = 0; i < 2000; i++)
            prev = fxt_frame(s.get(), 0.5f, 0.5f);
        float start = prev;
        fxt_set(s.get(), FX_GRIT, 1.0f, 1.0f);
        for (int i = 0; i < 4000; i++) {
            float y = fxt_frame(s.get(), 0.5f, 0.5f);
            largest = std::fmax(largest, std::fabs(y - prev));
            prev = y;
        }
        EXPECT_NEAR(prev, std::tanh(15.0f) / std::sqrt(30.0f), 1e-3);
        if (smooth)
            EXPECT_LT(largest, 0.1f * std::fabs(prev - start));
        else
            EXPECT_GT(largest, 0.5f * std::fabs(prev - start));
    }
}

TEST(FxSlot, KnobsOutsideTheirRangeActAsTheNearestEnd)
{
    FxtNoise noise;
    std::vector<float> in = noise.block(20000);
    for (int type = FX_DELAY; type < FX_TYPE_COUNT; type++) {
        FxSlotPtr a = fxt_slot(type, 1.0f, 0.0f), b = fxt_slot(type, 7.0f, NAN);
        ASSERT_EQ(fxt_run(a.get(), in), fxt_run(b.get(), in)) << fx_name(type);
    }
}

TEST(FxSlot, AnotherEffectInBetweenLeavesTheLines)
{
    // DELAY -> CHORUS -> DELAY: the echo still in the line comes out when the delay
    // returns (its line does not move while the chorus runs).
    FxSlotPtr s = fxt_slot(FX_DELAY, 0.0f, 0.0f);
    std::vector<float> out = fxt_run(s.get(), fxt_impulse(50));
    fxt_set(s.get(), FX_CHORUS, 0.5f, 0.5f);
    fxt_run(s.get(), std::vector<float>(30, 0.0f));
    fxt_set(s.get(), FX_DELAY, 0.0f, 0.0f);
    out = fxt_run(s.get(), std::vector<float>(100, 0.0f));
    EXPECT_EQ(out[46], 1.0f);   // frame 96 of the delay's own time
    EXPECT_EQ(fxt_rms(out), std::sqrt(1.0 / 100.0));
}
