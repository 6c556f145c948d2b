// Widget animation and the stock widgets: slot lookup and recycling, hover and press
// animation, a full table, bad frame times, shared ids, and the pill, button, chip and
// edge glow by the pixels they leave.
#include <cmath>

#include "support/draw_probe.h"
#include "ui/canvas.h"
#include "ui/hitregion.h"
#include "ui/text.h"
#include "ui/theme.h"
#include "ui/widget.h"

namespace {

WidgetTable* fresh_table()
{
    static WidgetTable table;
    widget_table_reset(&table);
    return &table;
}

DrawPixel rgb(const float* c)
{
    return DrawPixel{(uint8_t)(c[0] * 255 + 0.5f), (uint8_t)(c[1] * 255 + 0.5f), (uint8_t)(c[2] * 255 + 0.5f), 255};
}

}  // namespace

TEST(WidgetId, SeededFnv1aNeverZero)
{
    EXPECT_EQ(widget_id("", 0), 0x811C9DC5u);
    EXPECT_EQ(widget_id(nullptr, 0), 0x811C9DC5u);
    EXPECT_EQ(widget_id("a", 0), 0xE40C292Cu);   // the published FNV-1a of "a"
    EXPECT_EQ(widget_id("OK", 3), widget_id("OK", 3));
    EXPECT_NE(widget_id("OK", 3), widget_id("OK", 4));
    // Seed s with s * 16777619 == 0x811C9DC5 makes the start 0: the id is 1, not 0.
    uint32_t inv = 1;
    for (int i = 0; i < 5; ++i)
        inv *= 2 - 16777619u * inv;   // inverse of the prime modulo 2^32
    EXPECT_EQ(widget_id(nullptr, 0x811C9DC5u * inv), 1u);
}

TEST(WidgetTable, HoverEasesPressSpringsAndPulsesOnce)
{
    WidgetTable* t = fresh_table();
    widget_frame(t);
    WidgetAnim* s = widget_state(t, 42, 1, 0, 0.1f, 0);
    ASSERT_NE(s, nullptr);
    EXPECT_NEAR(s->hover, 1 - std::exp(-1.4f), 1e-5);
    // A long frame counts as 0.1 s.
    widget_frame(t);
    float before = s->hover;
    widget_state(t, 42, 1, 0, 1.0f, 0);
    EXPECT_NEAR(s->hover, before + (1 - before) * (1 - std::exp(-1.4f)), 1e-5);

    // A held press: one pulse at its first frame, the target stays at 0.95.
    widget_frame(t);
    widget_state(t, 42, 1, 1, 0.01f, 0);
    EXPECT_NEAR(s->pulse, 1 - 0.04f, 1e-5);
    EXPECT_LT(s->press, 0.95f);
    for (int f = 0; f < 100; ++f) {
        widget_frame(t);
        widget_state(t, 42, 1, 1, 0.016f, 0);
        ASSERT_LT(s->pulse, 1.0f);
        ASSERT_EQ(s->press_target, 0.95f);
    }
    EXPECT_EQ(s->pulse, 0);
    EXPECT_NEAR(s->press, 0.95f, 1e-3);
    // Release: the spring returns to rest.
    for (int f = 0; f < 100; ++f) {
        widget_frame(t);
        widget_state(t, 42, 0, 0, 0.016f, 0);
    }
    EXPECT_NEAR(s->press, 1, 1e-3);
    EXPECT_LT(s->hover, 0.01f);

    // instant snaps everything.
    widget_frame(t);
    widget_state(t, 42, 1, 1, 0.016f, 1);
    EXPECT_EQ(s->hover, 1);
    EXPECT_EQ(s->press, 1);
    EXPECT_EQ(s->pulse, 0);
    EXPECT_EQ(s->held, 1);
}

TEST(WidgetTable, RecyclesTheOldestEvenWhenEverySlotIsInUseThisFrame)
{
    WidgetTable* t = fresh_table();
    widget_frame(t);
    for (uint32_t id = 1; id <= WIDGET_SLOTS; ++id)
        widget_state(t, id, 1, 0, 0.05f, 0);
    widget_frame(t);
    for (uint32_t id = 2; id <= WIDGET_SLOTS; ++id)
        widget_state(t, id, 1, 0, 0.05f, 0);
    // A new id takes over id 1's slot (the oldest), starting from rest.
    WidgetAnim* s = widget_state(t, 500, 0, 0, 0.05f, 0);
    EXPECT_EQ(s, &t->slots[0]);
    EXPECT_EQ(s->id, 500u);
    EXPECT_EQ(s->hover, 0);
    EXPECT_EQ(s->press, 1);

    // Every slot in use this frame: the 161st id takes over the slot with the oldest
    // last frame, the first of them on ties, from rest; the others keep theirs.
    widget_frame(t);
    for (uint32_t id = 1; id <= WIDGET_SLOTS; ++id)
        widget_state(t, id + 1000, 1, 1, 0.05f, 0);
    widget_frame(t);
    for (uint32_t id = 1; id <= WIDGET_SLOTS; ++id)
        if (id != 77)
            widget_state(t, id + 1000, 1, 1, 0.05f, 0);
    WidgetAnim* extra = widget_state(t, 9999, 1, 1, 0.05f, 0);
    EXPECT_EQ(extra, &t->slots[76]);   // 1077's, one frame older than the rest
    EXPECT_EQ(extra->id, 9999u);
    EXPECT_NEAR(extra->pulse, 0.8f, 1e-6);   // a new press on a fresh slot, one step on
    WidgetAnim* next = widget_state(t, 10000, 1, 0, 0.05f, 0);
    EXPECT_EQ(next, &t->slots[0]);     // all used this frame: the first
    EXPECT_EQ(next->id, 10000u);
    EXPECT_EQ(next->press, 1);

    // A table nobody advances still gives different widgets different slots.
    t = fresh_table();
    WidgetAnim* a = widget_state(t, 7, 1, 0, 0.05f, 0);
    WidgetAnim* b = widget_state(t, 8, 0, 0, 0.05f, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(widget_state(t, 7, 1, 0, 0.05f, 0), a);
    // Id 0 (a free slot's mark) is taken as 1.
    EXPECT_EQ(widget_state(t, 0, 0, 0, 0, 0)->id, 1u);
    EXPECT_EQ(widget_state(nullptr, 7, 1, 1, 0.05f, 0), nullptr);
}

TEST(WidgetTable, BadFrameTimesLeaveTheAnimationFinite)
{
    WidgetTable* t = fresh_table();
    for (float dt : {NAN, -1.0f, -INFINITY, INFINITY}) {
        widget_frame(t);
        WidgetAnim* s = widget_state(t, 5, 1, 1, dt, 0);
        widget_frame(t);
        widget_state(t, 5, 0, 0, dt, 0);
        EXPECT_TRUE(std::isfinite(s->hover) && std::isfinite(s->press) && std::isfinite(s->pulse) &&
                    std::isfinite(s->press_velocity))
            << dt;
    }
    CanvasRect r{0, 10, 10, 20};
    EXPECT_EQ(widget_fade_factor(&r, NAN), 1);
    EXPECT_EQ(widget_fade_factor(&r, 10), 1);
    EXPECT_EQ(widget_fade_factor(&r, 20), 0.5f);
    EXPECT_EQ(widget_fade_factor(&r, 40), 0);
    CanvasRect flat{0, 10, 10, 0};
    EXPECT_EQ(widget_fade_factor(&flat, 5), 1);
}

TEST(WidgetTable, EqualIdsShareOneSlotAndSeedsKeepWidgetsApart)
{
    // Two "OK" buttons with one id share a slot; given seeds of their own, one held
    // and one hovered only keep their own animation (the held one pulses once).
    WidgetTable* t = fresh_table();
    widget_frame(t);
    uint32_t id = widget_id("OK", 0);
    EXPECT_EQ(widget_state(t, id, 1, 0, 0.016f, 0), widget_state(t, id, 0, 0, 0.016f, 0));
    WidgetAnim *first = nullptr, *second = nullptr;
    for (int f = 0; f < 40; ++f) {
        widget_frame(t);
        first = widget_state(t, widget_id("OK", 1), 1, 1, 0.016f, 0);
        second = widget_state(t, widget_id("OK", 2), 1, 0, 0.016f, 0);
        ASSERT_NE(first, second);
        if (f > 0) {
            ASSERT_LT(first->pulse, 1.0f);
        }
    }
    EXPECT_NEAR(first->press, 0.95f, 1e-3);
    EXPECT_NEAR(second->press, 1, 1e-3);
    EXPECT_EQ(second->pulse, 0);
}

class WidgetDrawTest : public DrawTest {
protected:
    WidgetDrawTest() : DrawTest(320, 240) {}
    Canvas* c = nullptr;
    TextRenderer* tr = nullptr;
    WidgetTable* t = nullptr;
    const DrawPixel bg = draw_pixel_rgb(0, 0, 0);
    void SetUp() override
    {
        DrawTest::SetUp();
        if (HasFatalFailure())
            return;
        c = canvas_create(fx.renderer);
        tr = text_renderer_create_in(fx.renderer, TESSEL_FONT_FOLDER);
        ASSERT_NE(c, nullptr);
        ASSERT_NE(tr, nullptr);
        draw_fixture_clear(&fx, 0, 0, 0);
        t = fresh_table();
        widget_frame(t);
        hitregion_frame_begin();
        hitregion_frame_begin();
    }
    void TearDown() override
    {
        text_renderer_destroy(tr);
        canvas_destroy(c);
        DrawTest::TearDown();
    }
};

TEST_F(WidgetDrawTest, PillsButtonsAndLabelChipTakeTheirThemeColours)
{
    const ThemePalette* th = theme_palette();
    PillPalette pal;
    widget_pill_palette(&pal);
    CanvasRect idle{10, 10, 60, 16}, sel{80, 10, 60, 16}, row{0, 60, 320, 30}, head{0, 120, 320, 50};
    canvas_begin(c, 0, 0, 1);
    EXPECT_EQ(widget_draw_pill(c, t, widget_id("IDLE", 0), &idle, "IDLE", 0, nullptr, 0, 0, 1, 0.016f, 1), 1);
    widget_draw_pill(c, t, widget_id("SEL", 0), &sel, "SEL", 1, nullptr, 0, 0, 0, 0.016f, 1);
    widget_draw_button(c, tr, t, widget_id("INPUT", 0), &row, "INPUT", "JACK DUMMY", 1, 0, 0, 0, 0.016f, 1);
    widget_draw_label_chip(c, tr, &head, "SETTINGS");
    canvas_end(c);
    read();
    shot();
    EXPECT_TRUE(draw_probe(&fx, 12, 12, rgb(pal.idle_fill)));
    EXPECT_TRUE(draw_probe(&fx, 82, 12, rgb(pal.selected_fill)));
    // Pill text: somewhere in the pill, the selected text colour (theme background) on the light fill.
    EXPECT_TRUE(draw_box_has(&fx, 80, 10, 140, 26, rgb(th->colours[THEME_BACKGROUND])));
    // Selected row: surface fill, accent bar on the left, caption and value in their colours.
    EXPECT_TRUE(draw_probe(&fx, 1, 75, rgb(th->colours[THEME_SECONDARY])));
    EXPECT_TRUE(draw_probe(&fx, 8, 62, rgb(th->colours[THEME_SURFACE])));
    EXPECT_TRUE(draw_box_has(&fx, 18, 62, 120, 88, rgb(th->colours[THEME_PRIMARY])));
    EXPECT_TRUE(draw_box_has(&fx, 180, 62, 302, 88, rgb(th->colours[THEME_SECONDARY])));
    EXPECT_TRUE(draw_probe(&fx, 4, 125, rgb(th->colours[THEME_SURFACE])));
    EXPECT_TRUE(draw_box_has(&fx, 18, 130, 200, 165, rgb(th->colours[THEME_SECONDARY])));

    // The pill and the button registered where they were drawn; the pill with its id as tag.
    hitregion_frame_begin();
    EXPECT_EQ(hitregion_id_at(20, 15), 1ull << 48 | 1ull << 32 | widget_id("IDLE", 0));
    const HitRegion* hit = hitregion_find(300, 70);
    ASSERT_NE(hit, nullptr);
    EXPECT_EQ(hit->kind, HITREGION_KIND_BUTTON);
}

TEST_F(WidgetDrawTest, PressShrinksThePillAndChipCapFollowsTheLevel)
{
    const float TEAL[4] = {0.18f, 0.78f, 0.72f, 1};
    CanvasRect pill{20, 20, 100, 40};
    CanvasRect low{160, 20, 20, 100}, high{220, 20, 20, 100}, odd{280, 20, 20, 100};
    canvas_begin(c, 0, 0, 1);
    widget_draw_pill(c, t, 1, &pill, "", 0, nullptr, 1, 1, 0, 0.016f, 0);
    widget_draw_chip(c, t, 2, &low, 0, TEAL, 0, 0, 0.016f, 1);
    widget_draw_chip(c, t, 3, &high, 1, TEAL, 0, 0, 0.016f, 1);
    widget_draw_chip(c, t, 4, &odd, NAN, TEAL, 0, 0, 0.016f, 1);
    canvas_end(c);
    read();
    shot();
    // Pressed to about 0.92: 4 units in at the sides are left bare, the centre is filled.
    EXPECT_TRUE(draw_probe(&fx, 21, 40, bg));
    EXPECT_FALSE(draw_probe(&fx, 70, 40, bg));
    float cap[4];
    const float light[4] = {0.9f, 0.92f, 0.94f, 1};
    for (int i = 0; i < 4; ++i)
        cap[i] = TEAL[i] + (light[i] - TEAL[i]) * 0.3f;
    // Level 0: cap on the bottom edge, wider than the chip; level 1: on the top edge.
    EXPECT_TRUE(draw_probe(&fx, 158, 119, rgb(cap)));
    EXPECT_TRUE(draw_probe(&fx, 218, 20, rgb(cap)));
    EXPECT_TRUE(draw_probe(&fx, 278, 119, rgb(cap)));   // not a number: level 0
    EXPECT_TRUE(draw_probe(&fx, 170, 60, draw_pixel_rgb(9, 10, 12)));
}

TEST_F(WidgetDrawTest, EdgeGlowIsStrongAtTheEdgesAndGoneInside)
{
    const float WHITE[4] = {1, 1, 1, 1};
    CanvasRect r{20, 20, 200, 60};
    canvas_begin(c, 0, 0, 1);
    widget_draw_shadow(c, &r, WHITE);
    CanvasRect off{-40, 150, 100, 30};   // partly left of the target: must not misindex the ranks
    widget_draw_shadow(c, &off, WHITE);
    canvas_end(c);
    read();
    shot();
    // Centre: nothing. The outermost cells reach level 4 or 3 (alpha 0.11 or 0.0825).
    EXPECT_TRUE(draw_probe(&fx, 120, 50, bg, 0));
    int lit = 0;
    for (int x = 40; x < 200; ++x)
        lit += draw_fixture_pixel(&fx, x, 20).r >= 20;
    EXPECT_GT(lit, 150);
    for (int x = 40; x < 200; ++x)
        ASSERT_LE(draw_fixture_pixel(&fx, x, 20).r, 30) << x;
    // 12 units in from the sides the glow is gone.
    for (int y = 30; y < 70; ++y)
        ASSERT_TRUE(draw_probe(&fx, 33, y, bg, 0)) << y;
}
