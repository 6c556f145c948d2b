// The mix pad's readout and point colour, and how a slot row reads an empty slot and
// a built-in effect (plug-in slots are probed in the drawing tests).
#include <gtest/gtest.h>

#include <string>

#include "app/panels/main/view_mix.h"
#include "app/panels/main/view_palette.h"
#include "audio/fx.h"
#include "tests/app/app_test.h"

namespace {

std::string readout(int32_t mode, float gain, float pan, float crossfade = 1.0f, float wet = 1.0f)
{
    char text[64];
    view_pad_readout(mode, gain, pan, crossfade, wet, text, sizeof text);
    return text;
}

TEST(ViewMixPad, GainAndPanReadoutNamesTheSideOutsideACentreBand)
{
    EXPECT_EQ(readout(0, 1.0f, 0.0f), "GAIN 100%  PAN C");
    EXPECT_EQ(readout(0, 1.0f, -0.005f), "GAIN 100%  PAN C");
    EXPECT_EQ(readout(0, 1.0f, -0.02f), "GAIN 100%  PAN L");
    EXPECT_EQ(readout(0, 1.0f, 0.02f), "GAIN 100%  PAN R");
    // The gain is truncated, not rounded.
    EXPECT_EQ(readout(0, 1.999f, 1.0f), "GAIN 199%  PAN R");
    EXPECT_EQ(readout(0, 0.0f, -1.0f), "GAIN 0%  PAN L");
}

TEST(ViewMixPad, CrossfadeReadoutRoundsAndSharesAHundred)
{
    EXPECT_EQ(readout(1, 1.0f, 0.0f, 0.5f, 1.0f), "A 50 / B 50   WET 100%");
    EXPECT_EQ(readout(1, 1.0f, 0.0f, 1.0f, 0.0f), "A 100 / B 0   WET 0%");
    EXPECT_EQ(readout(1, 1.0f, 0.0f, 0.333f, 0.995f), "A 33 / B 67   WET 100%");
    char small[8];
    view_pad_readout(1, 1.0f, 0.0f, 0.5f, 0.5f, small, sizeof small);
    EXPECT_STREQ(small, "A 50 / ");
}

TEST(ViewMixPad, PointIsMagentaForGainAndTurnsFromPurpleToTealForTheCrossfade)
{
    EXPECT_EQ(view_pad_point_colour(0, 0.9f), VIEW_MAGENTA);
    EXPECT_EQ(view_pad_point_colour(1, 0.0f), VIEW_PATCH_A);
    EXPECT_EQ(view_pad_point_colour(1, 1.0f), VIEW_PATCH_B);
    EXPECT_EQ(view_pad_point_colour(1, 0.3f), draw_rgba(130, 101, 200, 255));
}

class ViewSlotLook : public ::testing::Test {
protected:
    Engine* e = engine_instance();
    void SetUp() override { ASSERT_TRUE(app_test_engine_start(e)); }
    void TearDown() override { app_test_engine_stop(e); }
};

TEST_F(ViewSlotLook, EmptyAndBuiltInSlotsShowTheirNamesAndStoredKnobs)
{
    SlotLook none = view_slot_look(nullptr, 0);
    EXPECT_STREQ(none.name, "+ FX");
    EXPECT_FALSE(none.active);
    EXPECT_STREQ(view_slot_look(e, 4).name, "+ FX");

    e->slots[3].knob1.store(0.2f);
    e->slots[3].knob2.store(0.9f);
    SlotLook empty = view_slot_look(e, 3);
    EXPECT_STREQ(empty.name, "+ FX");
    EXPECT_FALSE(empty.active);
    EXPECT_FALSE(empty.plugin);
    EXPECT_FLOAT_EQ(empty.value[0], 0.2f);   // an empty slot still shows its knobs
    EXPECT_FLOAT_EQ(empty.value[1], 0.9f);

    fx_set_type(&e->slots[3], FX_BITCRUSH);
    SlotLook crush = view_slot_look(e, 3);
    EXPECT_STREQ(crush.name, "BITCRUSH");
    EXPECT_TRUE(crush.active);
    EXPECT_STREQ(crush.param[0], "Bits");
    EXPECT_STREQ(crush.param[1], "Downsample");
    fx_set_type(&e->slots[3], FX_GHOST);
    EXPECT_STREQ(view_slot_look(e, 3).param[0], "Grain Sz");
}

}  // namespace
