// view_draw_probe.h - the main view's painters on the GL renderer: a fixture with an
// engine, the application state and a drawing kit on the 640 x 1080 layout, and the
// expected pixels of the kit's packed colours (R in the lowest byte).
#pragma once
#include <atomic>
#include <cstdint>

#include "app/panels/main/app_draw.h"
#include "app/app_state.h"
#include "app/panels/main/view_palette.h"
#include "audio/engine_retire.h"
#include "support/draw_probe.h"
#include "tests/app/app_test.h"
#include "ui/drawkit.h"

// A packed kit colour as a pixel, with its own alpha or another.
inline DrawPixel pix(uint32_t c)
{
    return DrawPixel{(uint8_t)(c & 0xFF), (uint8_t)(c >> 8 & 0xFF), (uint8_t)(c >> 16 & 0xFF), (uint8_t)(c >> 24)};
}
inline DrawPixel pix(uint32_t c, uint32_t a)
{
    return pix(draw_with_alpha(c, a));
}
// A glow's three additive halos over a point all of them cover.
inline DrawPixel glowed(DrawPixel under, uint32_t colour, float intensity)
{
    for (int i = 0; i < 3; i++)
        under = draw_expect_add(under, pix(colour, draw_alpha_byte((1 - i / 3.0f) * intensity * 0.22f * 255)));
    return under;
}

// A running engine (driven by the test), the application state with its layout written
// and a kit on the layout. A plug-in published into plugin_field is retired at the end.
class MainViewTest : public DrawTest {
protected:
    explicit MainViewTest(int32_t w = DRAW_REF_WIDTH) : DrawTest(w, DRAW_REF_HEIGHT) {}
    Engine* e = engine_instance();
    AppState* app = app_instance();
    DrawKit kit{};
    std::atomic<VstPlugin*>* plugin_field = nullptr;
    const DrawPixel bg = pix(VIEW_BACKGROUND);

    // Draws only the painters under test over the cleared background, and reads back.
    virtual void draw_part() = 0;

    void SetUp() override
    {
        DrawTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(app_test_engine_start(e));
        app_init(app, e, ".");
        app_layout_write(app);
        ASSERT_TRUE(draw_init(&kit, fx.renderer));
        draw_frame_layout(&kit, DRAW_REF_WIDTH, DRAW_REF_HEIGHT);
    }
    void TearDown() override
    {
        app->station = nullptr;
        if (plugin_field)
            EXPECT_TRUE(engine_retire_plugin(e, plugin_field));
        draw_shutdown(&kit);
        app_test_engine_stop(e);
        DrawTest::TearDown();
    }
    // The whole main view as a picture for a person, then the painters under test again.
    void picture(const char* state)
    {
        draw_fixture_clear(&fx, 0, 0, 0);
        app_draw(app, &kit, 1.0f / 60);
        read();
        shot(state);
        draw_part();
    }
};
