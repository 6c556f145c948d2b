// kit_test.h - a drawing test with a ready drawing kit at scale 1 (one reference unit
// = one device pixel, no offsets) over a known background.
#pragma once
#include "support/draw_probe.h"
#include "ui/drawkit.h"

class KitTest : public DrawTest {
protected:
    KitTest(int32_t w, int32_t h) : DrawTest(w, h) {}
    DrawKit kit{};
    const DrawPixel bg = draw_pixel_rgb(40, 60, 80);

    void SetUp() override
    {
        DrawTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(draw_init(&kit, fx.renderer));
        draw_frame_layout(&kit, DRAW_REF_WIDTH, DRAW_REF_HEIGHT);
        draw_fixture_clear(&fx, bg.r, bg.g, bg.b);
    }
    void TearDown() override
    {
        draw_shutdown(&kit);
        DrawTest::TearDown();
    }
};

// The probe colour of a packed kit colour (alpha kept for the blend helpers).
inline DrawPixel kit_pixel(uint32_t c)
{
    return DrawPixel{(uint8_t)(c & 0xFF), (uint8_t)(c >> 8 & 0xFF), (uint8_t)(c >> 16 & 0xFF), (uint8_t)(c >> 24)};
}
