// The loop display's and level sliders' geometry, colours and texts, worked out
// without a renderer.
#include <gtest/gtest.h>

#include <cmath>

#include "app/panels/main/view.h"
#include "app/panels/main/view_loop.h"
#include "app/panels/main/view_palette.h"

namespace {

const HitRect kDisplay{42, 96, 556, 250};
const HitRect kSlider{8, 96, 26, 320};

LoopView loop(int32_t length, int32_t position)
{
    LoopView v{};
    v.length = length;
    v.position = position;
    v.sample_rate = 48000.0;
    v.playing = true;
    return v;
}

TEST(LoopDisplayGeometry, ThePlayHeadFollowsTheLoopAndWaitsAtTheRightEdgeDuringTheFirstTake)
{
    LoopView empty = loop(0, 0);
    EXPECT_TRUE(view_loop_empty(&empty));
    EXPECT_FLOAT_EQ(view_loop_head_x(&empty, kDisplay), 42.0f);

    LoopView first_take = loop(0, 2400);
    EXPECT_FALSE(view_loop_empty(&first_take));
    EXPECT_FLOAT_EQ(view_loop_head_x(&first_take, kDisplay), 598.0f);

    LoopView quarter = loop(48000, 12000);
    EXPECT_FALSE(view_loop_empty(&quarter));
    EXPECT_FLOAT_EQ(view_loop_head_x(&quarter, kDisplay), 42.0f + 139.0f);

    // A position past a shrunk loop never leaves the display.
    LoopView past = loop(1000, 5000);
    EXPECT_FLOAT_EQ(view_loop_head_x(&past, kDisplay), 598.0f);

    // Without an engine: stopped and empty, at the fallback rate.
    LoopView none = view_loop_read(nullptr);
    EXPECT_TRUE(view_loop_empty(&none));
    EXPECT_FALSE(none.playing);
    EXPECT_EQ(none.sample_rate, 48000.0);
}

TEST(LoopDisplayGeometry, ColumnsScaleToTheDisplayAndTinyOnesDrawNothing)
{
    // 180 columns over 556 units; a shown 1.0 reaches 0.46 x 250 = 115 units.
    LoopColumn c = view_loop_column(kDisplay, 10, 1.0f, 0.5f, 598.0f);
    EXPECT_NEAR(c.x, 42.0f + 10 * 556.0f / 180, 1e-4);
    EXPECT_NEAR(c.width, 556.0f / 180 - 1, 1e-5);
    EXPECT_NEAR(c.up, 115.0f, 1e-4);
    EXPECT_NEAR(c.down, 57.5f, 1e-4);
    EXPECT_NEAR(c.core, 57.5f, 1e-4);
    EXPECT_TRUE(c.played);

    // 0.25 units is the limit: at it nothing is drawn, not even the core.
    float limit = 0.25f / 115.0f;
    LoopColumn tiny = view_loop_column(kDisplay, 3, limit * 0.999f, limit * 0.999f, 598.0f);
    EXPECT_EQ(tiny.up, 0.0f);
    EXPECT_EQ(tiny.down, 0.0f);
    EXPECT_EQ(tiny.core, 0.0f);
    LoopColumn one_side = view_loop_column(kDisplay, 3, limit * 1.01f, 0.0f, 598.0f);
    EXPECT_GT(one_side.up, 0.25f);
    EXPECT_EQ(one_side.core, 0.0f);
    LoopColumn broken = view_loop_column(kDisplay, 3, NAN, NAN, 598.0f);
    EXPECT_EQ(broken.up + broken.down + broken.core, 0.0f);

    // Played when the head is at or right of the left edge, whichever way it runs.
    LoopColumn last = view_loop_column(kDisplay, 179, 0.5f, 0.5f, 590.0f);
    EXPECT_FALSE(last.played);
    EXPECT_TRUE(view_loop_column(kDisplay, 179, 0.5f, 0.5f, last.x).played);
    EXPECT_TRUE(view_loop_column(kDisplay, 0, 0.5f, 0.5f, 42.0f).played);
}

TEST(LoopDisplayGeometry, TheLoopLengthReadsInSecondsAtAnyRate)
{
    char text[32];
    view_loop_length_text(24000, 48000.0, text, sizeof text);
    EXPECT_STREQ(text, "0.5S");
    // A rate the stream never reported falls back to 48 kHz instead of dividing by 0.
    view_loop_length_text(96000, 0.0, text, sizeof text);
    EXPECT_STREQ(text, "2.0S");
    view_loop_length_text(96000, NAN, text, sizeof text);
    EXPECT_STREQ(text, "2.0S");
}

TEST(LevelSliderLook, GainTextGateMarkerAndHotBarTop)
{
    char text[16];
    view_gain_text(0.0009f, text, sizeof text);
    EXPECT_STREQ(text, "-INF");
    view_gain_text(1.0f, text, sizeof text);
    EXPECT_STREQ(text, "+0.0");
    view_gain_text(0.5f, text, sizeof text);
    EXPECT_STREQ(text, "-6.0");

    float y = -1;
    EXPECT_FALSE(view_gate_marker_y(0.0f, kSlider, &y));
    ASSERT_TRUE(view_gate_marker_y(0.001f, kSlider, &y));
    EXPECT_FLOAT_EQ(y, 416.0f);
    ASSERT_TRUE(view_gate_marker_y(1.0f, kSlider, &y));
    EXPECT_FLOAT_EQ(y, 96.0f);
    ASSERT_TRUE(view_gate_marker_y(0.1f, kSlider, &y));   // -20 dB
    EXPECT_NEAR(y, 96.0f + 320.0f / 3, 1e-3);

    const uint32_t teal = VIEW_TEAL;
    EXPECT_EQ(view_level_top_colour(teal, 0.5f), teal);
    EXPECT_EQ(view_level_top_colour(teal, 0.85f), teal);
    EXPECT_EQ(view_level_top_colour(teal, 1.0f), VIEW_YELLOW);
    EXPECT_EQ(view_level_top_colour(teal, 0.925f), color_lerp(teal, VIEW_YELLOW, 0.5f));
}

}  // namespace
