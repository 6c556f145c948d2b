// view_draw_probe.h - the main view's painters on the GL renderer: a fixture with an
// engine, the application state and a drawing kit on the 640 x 1080 layout, and the
// expected pixels of the kit's packed colours (R in the lowest byte).
#pragma once
#include <atomic>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

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

// The device pixels a kit fill of the span a..b units along one axis covers: first and
// last, from the mapped ends (those whose centres lie between them).
inline std::pair<int, int> kit_pixels(float a, float b, float scale, float offset)
{
    return {(int)std::ceil(a * scale + offset - 0.5f), (int)std::ceil(b * scale + offset - 0.5f) - 1};
}

// Whether all four edges of the outline of (x, y, w, h) on the kit show: along each edge,
// corners left out, three quarters of its pixels differ from the pixel inside them.
inline ::testing::AssertionResult outline_lit(const DrawFixture* fx, const DrawKit& kit, float x, float y, float w,
                                              float h)
{
    auto [x0, x1] = kit_pixels(x + kit.translate_x, x + w + kit.translate_x, kit.scale, kit.offset_x);
    auto [y0, y1] = kit_pixels(y + kit.translate_y, y + h + kit.translate_y, kit.scale, kit.offset_y);
    auto differs = [&](int ax, int ay, int bx, int by) {
        DrawPixel a = draw_fixture_pixel(fx, ax, ay), b = draw_fixture_pixel(fx, bx, by);
        return std::abs(a.r - b.r) > 6 || std::abs(a.g - b.g) > 6 || std::abs(a.b - b.b) > 6;
    };
    const struct {   // the edge's fixed coordinate, the step inwards, along x or along y
        const char* name;
        int at, in;
        bool along_x;
    } edges[4] = {{"top", y0, 1, true}, {"bottom", y1, -1, true}, {"left", x0, 1, false}, {"right", x1, -1, false}};
    for (const auto& e : edges) {
        int from = e.along_x ? x0 + 2 : y0 + 2, to = e.along_x ? x1 - 2 : y1 - 2, lit = 0;
        for (int t = from; t <= to; t++)
            lit += e.along_x ? differs(t, e.at, t, e.at + e.in) : differs(e.at, t, e.at + e.in, t);
        if (to < from || 4 * lit < 3 * (to - from + 1))
            return ::testing::AssertionFailure() << "the " << e.name << " edge of (" << x << ", " << y << ", " << w
                                                 << ", " << h << ") shows on " << lit << " of " << to - from + 1
                                                 << " pixels";
    }
    return ::testing::AssertionSuccess();
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
            EXPECT_TRUE(engine_retire_plugin_within(e, plugin_field, TEST_WAIT_SECONDS * 1000));
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

// The fixture's painters in windows of 1024 x 600 and 1366 x 768, a unit under a device pixel.
template <class Fixture> struct InAWindow : Fixture {
    InAWindow() : Fixture(1366) {}
    template <class Check> void in_each_window(Check check)
    {
        for (auto [w, h] : {std::pair{1024, 600}, {1366, 768}}) {
            draw_frame_layout(&this->kit, w, h);
            this->draw_part();
            this->shot(std::to_string(h).c_str());
            check(h);
        }
    }
};
