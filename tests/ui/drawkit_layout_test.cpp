// The kit's frame layout: the 640 x 1080 reference frame (plus side panels) scaled
// and letterboxed into windows of either aspect, and points mapped through it.
// Positions are compared to a thousandth of a pixel (contracted multiply-adds may
// move the last bit).
#include <gtest/gtest.h>

#include "ui/drawkit.h"

static DrawKit layout(int32_t w, int32_t h, float left = 0, float right = 0)
{
    DrawKit kit{};
    kit.left_w = left;
    kit.right_w = right;
    draw_frame_layout(&kit, w, h);
    return kit;
}

TEST(DrawLayout, HeightDecidesInAWideWindowAndTheColumnIsCentredSideways)
{
    // 620 / 640 > 1010 / 1080.
    DrawKit kit = layout(620, 1010);
    EXPECT_NEAR(kit.scale, 1010.0f / 1080, 1e-6);
    EXPECT_NEAR(kit.offset_x, 10.7407f, 1e-3);
    EXPECT_NEAR(kit.offset_y, 0, 1e-3);
    EXPECT_EQ(kit.window_w, 620);
    EXPECT_EQ(kit.window_h, 1010);

    kit = layout(1000, 1080);
    EXPECT_NEAR(kit.scale, 1, 1e-3);
    EXPECT_NEAR(kit.offset_x, 180, 1e-3);
    EXPECT_NEAR(kit.offset_y, 0, 1e-3);
}

TEST(DrawLayout, WidthDecidesInANarrowWindowWithBarsAboveAndBelow)
{
    DrawKit kit = layout(320, 1080);
    EXPECT_NEAR(kit.scale, 0.5f, 1e-3);
    EXPECT_NEAR(kit.offset_x, 0, 1e-3);
    EXPECT_NEAR(kit.offset_y, 270, 1e-3);
}

TEST(DrawLayout, SidePanelsWidenTheFrameAndShiftTheColumn)
{
    // Library open: the frame is 1240 wide, the window narrower than its ratio.
    DrawKit kit = layout(620, 1010, 600);
    EXPECT_NEAR(kit.scale, 0.5f, 1e-3);
    EXPECT_NEAR(kit.offset_y, 235, 1e-3);
    EXPECT_NEAR(kit.offset_x, 300, 1e-3);
    float x, y;
    draw_map_point(&kit, -600, 0, &x, &y);
    EXPECT_NEAR(x, 0, 1e-3);     // the panel's left edge on the window's
    EXPECT_NEAR(y, 235, 1e-3);
    draw_map_point(&kit, 0, 1080, &x, &y);
    EXPECT_NEAR(x, 300, 1e-3);
    EXPECT_NEAR(y, 775, 1e-3);

    // A right panel leaves x = 0 at the column's left edge; a wide window centres it all.
    kit = layout(2000, 1080, 0, 520);
    EXPECT_NEAR(kit.scale, 1, 1e-3);
    EXPECT_NEAR(kit.offset_x, (2000 - 1160) / 2.0f, 1e-3);
    draw_map_point(&kit, 640 + 520, 0, &x, &y);
    EXPECT_NEAR(x, 2000 - (2000 - 1160) / 2.0f, 1e-3);
}

TEST(DrawLayout, TranslationIsAddedBeforeScaling)
{
    DrawKit kit = layout(1280, 2160);   // scale 2, no offsets
    ASSERT_NEAR(kit.scale, 2, 1e-6);
    kit.translate_x = 10;
    kit.translate_y = -5;
    float x, y;
    draw_map_point(&kit, 1, 2, &x, &y);
    EXPECT_NEAR(x, 22, 1e-3);
    EXPECT_NEAR(y, -6, 1e-3);
}
