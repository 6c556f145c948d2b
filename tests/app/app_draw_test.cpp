// The main view's painter: the layout table, the screen shake, where the toasts go,
// and the main view drawn on the GL renderer with three toasts.
#include <cmath>
#include <cstring>

#include "app/panels/main/app_draw.h"
#include "app/app_state.h"
#include "app/toast.h"
#include "app/panels/main/view.h"
#include "support/draw_probe.h"
#include "ui/drawkit.h"

namespace {

// ---------------------------------------------------------------------------
// Layout and shake (no renderer)
// ---------------------------------------------------------------------------

class AppView : public ::testing::Test {
protected:
    AppState* app = app_instance();
    DrawKit kit{};
    void SetUp() override
    {
        app_init(app, nullptr, ".");
        draw_frame_layout(&kit, DRAW_REF_WIDTH, DRAW_REF_HEIGHT);
    }
};

bool same_rect(HitRect a, HitRect b)
{
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

TEST_F(AppView, TheLayoutIsRewrittenEveryFrameInsideTheMainView)
{
    std::memset(&app->layout, 0x7F, sizeof app->layout);
    app_draw(app, &kit, 1.0f / 60);
    const AppLayout& l = app->layout;
    EXPECT_TRUE(same_rect(l.loop_display, HitRect{42, 96, 556, 250}));
    EXPECT_TRUE(same_rect(l.pads[PAD_HOLD_DUB], HitRect{448, 348, 150, 68}));
    EXPECT_TRUE(same_rect(l.slot_knob2[1], HitRect{392, 866, 128, 26}));
    EXPECT_TRUE(same_rect(l.slot_button[1], HitRect{528, 866, 70, 40}));
    EXPECT_TRUE(same_rect(l.buttons[4], HitRect{494, 948, 107, 44}));
    EXPECT_TRUE(same_rect(l.video_switch, HitRect{500, 12, 36, 36}));

    const HitRect* r = (const HitRect*)&l;
    size_t n = sizeof l / sizeof(HitRect);
    for (size_t i = 0; i < n; i++) {
        EXPECT_GT(r[i].w, 0) << "rectangle " << i;
        EXPECT_GT(r[i].h, 0) << "rectangle " << i;
        EXPECT_GE(r[i].x, 0) << "rectangle " << i;
        EXPECT_GE(r[i].y, 0) << "rectangle " << i;
        EXPECT_LE(r[i].x + r[i].w, DRAW_REF_WIDTH) << "rectangle " << i;
        EXPECT_LE(r[i].y + r[i].h, DRAW_REF_HEIGHT) << "rectangle " << i;
    }
}

TEST_F(AppView, WhileTheLibraryIsHiddenTheLoopPlayerPanelAndStripAreZero)
{
    // Shown, the panel's painter writes its rectangles where the library panel is.
    app->library_x = -5;
    app->library_shown = 1;
    app_draw(app, &kit, 1.0f / 60);
    EXPECT_TRUE(same_rect(app->player_rects.panel, HitRect{5, 986, 580, 78}));
    EXPECT_TRUE(same_rect(app->player_rects.strip, HitRect{11, 1014, 568, 44}));
    const HitRect loop_switch{519, 991, 62, 18};
    EXPECT_TRUE(same_rect(app->player_rects.loop_switch, loop_switch));

    app->library_shown = 0;
    app_draw(app, &kit, 1.0f / 60);
    EXPECT_TRUE(same_rect(app->player_rects.panel, HitRect{}));
    EXPECT_TRUE(same_rect(app->player_rects.strip, HitRect{}));
    EXPECT_TRUE(same_rect(app->player_rects.loop_switch, loop_switch));
}

TEST_F(AppView, NoShakeLeavesTheKitUnmovedAndTheGeneratorStepsTwicePerFrame)
{
    uint32_t s = 0;
    EXPECT_EQ(app_random_next(&s), 0xA95BBF51u);

    app->random_state = 0;
    kit.translate_x = kit.translate_y = 3.0f;
    app_shake_step(app, &kit);
    EXPECT_EQ(kit.translate_x, 0.0f);
    EXPECT_EQ(kit.translate_y, 0.0f);
    uint32_t want = 0;
    app_random_next(&want);
    app_random_next(&want);
    EXPECT_EQ(app->random_state, want);

    // Shake 1: each axis moves 2r x 5 units, r the draw less one half.
    app->shake = 1.0f;
    uint32_t g = app->random_state;
    float rx = (float)(app_random_next(&g) & 0xFFFFFF) / 16777215.0f - 0.5f;
    float ry = (float)(app_random_next(&g) & 0xFFFFFF) / 16777215.0f - 0.5f;
    app_shake_step(app, &kit);
    EXPECT_FLOAT_EQ(kit.translate_x, 10.0f * rx);
    EXPECT_FLOAT_EQ(kit.translate_y, 10.0f * ry);
}

TEST_F(AppView, ToastsStackOldestLowestAndTakeRoomByTheirEnvelope)
{
    const char* texts[4] = {"LOOP SET 2.0S", "CLEARED", "EXPORTED WAV", "NEW"};
    for (const char* t : texts)
        toast_show(app, t, TOAST_TEAL);
    for (Toast& t : app->toasts)
        t.alpha = 0.5f;
    ToastPlace p[4];
    ASSERT_EQ(app_toast_layout(app, p), 4);
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(p[i].index, i);
        EXPECT_EQ(p[i].y, 452.0f - 38.0f * i);
        EXPECT_EQ(p[i].k, 1.0f);
        EXPECT_EQ(p[i].h, 30.0f);
    }
    EXPECT_EQ(p[0].w, 182.0f);   // 13 characters: 154 units of text and 28 of margin
    EXPECT_EQ(p[0].x, 229.0f);

    // Fading in, fully shown at both ends of 0.3 .. 0.85, gone at 0.01 and below.
    app->toasts[0].alpha = 0.9f;
    app->toasts[1].alpha = 0.005f;
    app->toasts[2].alpha = 0.85f;
    app->toasts[3].alpha = 0.3f;
    ASSERT_EQ(app_toast_layout(app, p), 3);
    EXPECT_NEAR(p[0].k, 2.0f / 3.0f, 1e-5);
    EXPECT_EQ(p[1].index, 2);
    EXPECT_NEAR(p[1].y, 452.0f - 38.0f * 2.0f / 3.0f, 1e-4);
    EXPECT_EQ(p[1].k, 1.0f);
    EXPECT_EQ(p[2].k, 1.0f);
    app->toasts[3].alpha = 0.15f;
    app_toast_layout(app, p);
    EXPECT_NEAR(p[2].k, 0.5f, 1e-6);

    // A new toast after the ring wrapped is the newest: it goes on top.
    toast_show(app, "FIVE", TOAST_RED);
    app->toasts[0].alpha = 0.5f;
    ASSERT_EQ(app_toast_layout(app, p), 3);
    EXPECT_EQ(p[2].index, 0);
}

// ---------------------------------------------------------------------------
// Drawn on the GL renderer
// ---------------------------------------------------------------------------

class AppViewDraw : public DrawTest {
protected:
    AppState* app = app_instance();
    DrawKit kit{};
    const DrawPixel grey = draw_pixel_rgb(128, 128, 128);
    const DrawPixel bg = draw_pixel_rgb(13, 17, 17);
    const DrawPixel pad = draw_pixel_rgb(23, 29, 29);   // an unlit transport pad

    void SetUp() override
    {
        DrawTest::SetUp();
        if (HasFatalFailure())
            return;
        ASSERT_TRUE(draw_init(&kit, fx.renderer));
        draw_frame_layout(&kit, DRAW_REF_WIDTH, DRAW_REF_HEIGHT);
        draw_fixture_clear(&fx, grey.r, grey.g, grey.b);
        app_init(app, nullptr, ".");
    }
    void TearDown() override
    {
        draw_shutdown(&kit);
        DrawTest::TearDown();
    }
    // Three toasts, oldest first.
    void three_toasts(float a0, float a1, float a2)
    {
        toast_show(app, "NOTHING TO EXPORT", TOAST_RED);
        toast_show(app, "EXPORTED WAV", TOAST_TEAL);
        toast_show(app, "LOOP SET 2.0S", TOAST_MAGENTA);
        app->toasts[0].alpha = a0;
        app->toasts[1].alpha = a1;
        app->toasts[2].alpha = a2;
    }
    // The leftmost column in rows y0..y1 whose pixel is within 2 of want, or -1.
    int first_ink_column(int x0, int x1, int y0, int y1, DrawPixel want)
    {
        for (int x = x0; x < x1; x++)
            for (int y = y0; y < y1; y++)
                if (draw_probe(fx_ptr(), x, y, want))
                    return x;
        return -1;
    }
    bool row_has(int x0, int x1, int y, DrawPixel want)
    {
        for (int x = x0; x < x1; x++)
            if (draw_probe(fx_ptr(), x, y, want))
                return true;
        return false;
    }
    const DrawFixture* fx_ptr() const { return &fx; }
};

DrawPixel ink(uint32_t colour, float k)
{
    DrawPixel p{(uint8_t)(colour & 0xFF), (uint8_t)(colour >> 8 & 0xFF), (uint8_t)(colour >> 16 & 0xFF), 0};
    p.a = draw_alpha_byte(k * 255.0f);
    return p;
}

TEST_F(AppViewDraw, TheMainViewShowsThreeToastsStackedOverTheClearedFrame)
{
    three_toasts(0.6f, 0.6f, 0.6f);
    ToastPlace p[4];
    ASSERT_EQ(app_toast_layout(app, p), 3);
    const int tops[3] = {452, 414, 376};
    // What lies beneath the boxes (the mode tabs and the mix pad under the lower two,
    // the transport pads under the newest): the main view drawn once without them.
    DrawPixel beside[3], inside_left[3], inside_right[3];
    float alphas[APP_TOASTS];
    for (int i = 0; i < APP_TOASTS; i++) {
        alphas[i] = app->toasts[i].alpha;
        app->toasts[i].alpha = 0.0f;
    }
    app_draw(app, &kit, 1.0f / 60);
    read();
    // The background (dot field, bottom glow) at the probes in the gaps and corners.
    const int gaps[3][2] = {{320, 448}, {5, 5}, {635, 1075}};
    DrawPixel under[3];
    for (int i = 0; i < 3; i++)
        under[i] = draw_fixture_pixel(&fx, gaps[i][0], gaps[i][1]);
    for (int i = 0; i < 3; i++) {
        int x = (int)p[i].x, y = tops[i], w = (int)p[i].w;
        beside[i] = draw_fixture_pixel(&fx, x - 1, y + 15);
        inside_left[i] = draw_fixture_pixel(&fx, x + 3, y + 26);
        inside_right[i] = draw_fixture_pixel(&fx, x + w - 4, y + 26);
    }
    for (int i = 0; i < APP_TOASTS; i++)
        app->toasts[i].alpha = alphas[i];
    app_draw(app, &kit, 1.0f / 60);
    read();
    shot();

    const uint32_t colours[3] = {TOAST_RED, TOAST_TEAL, TOAST_MAGENTA};
    const DrawPixel box_fill{13, 17, 17, 235};
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(app->toasts[i].text);
        int x = (int)p[i].x, y = tops[i], w = (int)p[i].w;
        ASSERT_EQ(p[i].y, (float)y);
        DrawPixel c = ink(colours[i], 1.0f);
        // Outline on all four edges, the nearly opaque box fill inside.
        EXPECT_TRUE(draw_probe(&fx, x, y + 15, c));
        EXPECT_TRUE(draw_probe(&fx, x + w - 1, y + 15, c));
        EXPECT_TRUE(draw_probe(&fx, x + 5, y, c));
        EXPECT_TRUE(draw_probe(&fx, x + 5, y + 29, c));
        EXPECT_TRUE(draw_probe(&fx, x - 1, y + 15, beside[i]));
        EXPECT_TRUE(draw_probe(&fx, x + 3, y + 26, draw_expect_blend(inside_left[i], box_fill)));
        EXPECT_TRUE(draw_probe(&fx, x + w - 4, y + 26, draw_expect_blend(inside_right[i], box_fill)));
        // The text: 14 rows from y + 8, starting 14 units inside the box.
        EXPECT_EQ(first_ink_column(x + 1, x + w - 1, y + 1, y + 29, c), x + 14);
        EXPECT_TRUE(row_has(x + 14, x + w - 14, y + 8, c));
        EXPECT_TRUE(row_has(x + 14, x + w - 14, y + 21, c));
        EXPECT_FALSE(row_has(x + 1, x + w - 1, y + 7, c));
        EXPECT_FALSE(row_has(x + 1, x + w - 1, y + 22, c));
    }
    // The gaps between the boxes show what lies beneath: the background, the stop
    // pad's body.
    EXPECT_TRUE(draw_probe(&fx, 290, 410, pad));
    EXPECT_TRUE(draw_probe(&fx, 290, 372, pad));
    for (int i = 0; i < 3; i++)
        EXPECT_TRUE(draw_probe(&fx, gaps[i][0], gaps[i][1], under[i]));
}

TEST_F(AppViewDraw, FadingToastsBlendTheirBoxOutlineAndTextByTheEnvelope)
{
    // Oldest fading out (k 0.5), middle fading in (k 2/3), newest full.
    three_toasts(0.15f, 0.9f, 0.6f);
    app_draw_toasts(app, &kit);
    read();
    shot();

    ToastPlace p[4];
    ASSERT_EQ(app_toast_layout(app, p), 3);
    const uint32_t colours[3] = {TOAST_RED, TOAST_TEAL, TOAST_MAGENTA};
    // Probe rows clear of the boxes that overlap: the oldest below the middle one,
    // the middle one below the newest.
    const int probe_y[3] = {478, 446, 412};
    const float ks[3] = {0.5f, 2.0f / 3.0f, 1.0f};
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(app->toasts[i].text);
        ASSERT_NEAR(p[i].k, ks[i], 1e-5);
        int x = (int)p[i].x;
        DrawPixel box = draw_expect_blend(grey, DrawPixel{13, 17, 17, draw_alpha_byte(ks[i] * 235.0f)});
        EXPECT_TRUE(draw_probe(&fx, x + 3, probe_y[i], box));
        // The outline lies over the box's own fill.
        EXPECT_TRUE(draw_probe(&fx, x, probe_y[i], draw_expect_blend(box, ink(colours[i], ks[i]))));
    }
    EXPECT_NEAR(p[1].y, 452.0f - 0.5f * 38.0f, 1e-4);
    EXPECT_NEAR(p[2].y, 433.0f - 38.0f * 2.0f / 3.0f, 1e-4);
    // The oldest box's text, below the middle box, in its blended colour.
    DrawPixel text0 = draw_expect_blend(draw_expect_blend(grey, DrawPixel{13, 17, 17, draw_alpha_byte(117.5f)}),
                                        ink(TOAST_RED, 0.5f));
    EXPECT_TRUE(row_has((int)p[0].x + 14, (int)(p[0].x + p[0].w) - 14, 470, text0));
    EXPECT_TRUE(draw_probe(&fx, 320, 500, grey));
}

TEST(ColorLerp, MixesAllFourBytesTruncatedWithTClamped)
{
    const uint32_t a = draw_rgba(0, 100, 255, 0), b = draw_rgba(255, 0, 0, 255);
    EXPECT_EQ(color_lerp(a, b, 0.5f), draw_rgba(127, 50, 127, 127));
    EXPECT_EQ(color_lerp(a, b, -1.0f), a);
    EXPECT_EQ(color_lerp(a, b, 7.0f), b);
    EXPECT_EQ(color_lerp(a, b, NAN), a);
}

TEST_F(AppViewDraw, ATriangleAndATabMoveWithTheKitsTranslation)
{
    kit.translate_x = 100;
    kit.translate_y = 50;
    view_triangle(&kit, 0, 0, 60, 0, 0, 60, TOAST_MAGENTA);
    app->mouse_x = app->mouse_y = -1000;
    view_tab(app, &kit, HitRect{0, 200, 100, 20}, "LOOP", true);
    read();
    shot();
    EXPECT_TRUE(draw_probe(&fx, 110, 60, draw_pixel_rgb(255, 0, 128)));
    EXPECT_TRUE(draw_probe(&fx, 150, 100, grey));   // beyond the hypotenuse
    EXPECT_TRUE(draw_probe(&fx, 5, 5, grey));
    // The tab's box at (x + 2, y + 3), its 6 x 6 fill at (x + 5, y + 6), light teal.
    EXPECT_TRUE(draw_probe(&fx, 102, 260, draw_pixel_rgb(107, 230, 224)));
    EXPECT_TRUE(draw_probe(&fx, 103, 260, grey));
    EXPECT_TRUE(draw_probe(&fx, 107, 258, draw_pixel_rgb(107, 230, 224)));
}

}  // namespace
