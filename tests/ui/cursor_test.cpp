// The custom cursor: its edge cases (the system pointer, trail and spark limits, the
// busy delay, reduced motion), the shortest turn, the renderer state it leaves, the
// gem's guards and the hover ring at a change of region, with pictures of the tile in
// three modes and of the gem.
#include <SDL.h>

#include <cmath>

#include "support/draw_probe.h"
#include "ui/canvas.h"
#include "ui/cursor.h"
#include "ui/hitregion.h"

namespace {

const float kPi = 3.14159265f;
const float kDt = 1.0f / 60;

class CursorTest : public DrawTest {
protected:
    CursorTest() : DrawTest(480, 480) {}
    CustomCursor cur{};
    Canvas* c = nullptr;
    double clock = 10.0;

    void SetUp() override
    {
        DrawTest::SetUp();
        if (HasFatalFailure())
            return;
        cursor_init(&cur);
        c = canvas_create(fx.renderer);
        ASSERT_NE(c, nullptr);
        draw_fixture_clear(&fx, 0, 0, 0);
    }
    void TearDown() override
    {
        cursor_release(&cur);
        canvas_destroy(c);
        DrawTest::TearDown();
    }
    void step(uint32_t mode, float x, float y, float dt = kDt, uint8_t instant = 0)
    {
        clock += dt;
        cursor_update(&cur, dt, mode, 1, 0, 0.5f, x, y, clock, instant);
    }
    int lit_pixels()
    {
        read();
        int n = 0;
        for (int y = 0; y < height; y++)
            for (int x = 0; x < width; x++) {
                DrawPixel p = draw_fixture_pixel(&fx, x, y);
                n += p.r + p.g + p.b > 0;
            }
        return n;
    }
};

}  // namespace

TEST_F(CursorTest, SystemPointerModeShowsItEmptiesTheTrailAndSparksAndDrawsNothing)
{
    step(0, 20, 20);
    for (int i = 1; i <= 10; i++)
        step(1, 20 + 4 * i, 20);   // the ring morph turns the corners: sparks fly
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    EXPECT_TRUE(cur.trail_count > 0 && cur.spark_count > 0);
    step(3, 60, 20);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
    EXPECT_EQ(cur.trail_count, 0);
    EXPECT_EQ(cur.spark_count, 0);
    cursor_draw(fx.renderer, &cur, 30, 30, CURSOR_UNIT, clock);
    EXPECT_EQ(lit_pixels(), 0);
}

TEST_F(CursorTest, TrailAndSparksKeepTheirLimits)
{
    // A 100-unit jump adds 8 dots, not 33.
    step(0, 10, 10);
    step(0, 110, 10);
    EXPECT_EQ(cur.trail_count, 8);

    // Quick moves fill the ring of 80; the 81st dot pushes out the oldest.
    for (int i = 0; i < 9; i++)
        step(0, 110 + 24.0f * (i + 1), 10, 0.001f);
    ASSERT_EQ(cur.trail_count, 80);
    CursorDot second = cur.trail[1];
    step(0, cur.last_x + 3, 10, 0.001f);
    EXPECT_TRUE(cur.trail_count == 80 && cur.trail[0].x == second.x && cur.trail[0].spin == second.spin);

    // Switching between the arrow and the ring every frame throws sparks from all four
    // corners, but never a 33rd within 0.42 s.
    int most = 0;
    for (int i = 0; i < 40; i++) {
        step(i % 2 ? 1 : 0, 50, 50, 0.01f);
        most = std::max(most, cur.spark_count);
    }
    EXPECT_EQ(most, CURSOR_SPARKS);
}

TEST_F(CursorTest, BusyShowsNoGemBeforeAFifteenthOfASecondAndReducedMotionJumps)
{
    cursor_set_busy(&cur, 1);
    for (int i = 0; i < 8; i++)   // 0.13 s
        step(0, 40, 40);
    EXPECT_EQ(cur.busy_amount, 0.0f);
    canvas_begin(c, 0, 0, 1);
    cursor_draw_busy_gem(c, &cur, 100, 100, clock, 0);
    EXPECT_EQ(c->vertex_count, 0);
    canvas_end(c);
    for (int i = 0; i < 4; i++)
        step(0, 40, 40);
    EXPECT_GT(cur.busy_amount, 0.0f);

    // Reduced motion: every value at its target at once, no trail and no sparks.
    cursor_set_pressed(&cur, 1);
    step(2, 80, 60, kDt, 1);
    EXPECT_TRUE(cur.busy_amount == 1 && cur.pointer_morph == 1 && cur.press == 1 && cur.press_velocity == 0);
    EXPECT_NEAR(std::remainder(cur.angle - kPi / 4, 2 * kPi), 0.0, 1e-6);
    EXPECT_TRUE(cur.hover_change_time == -1e9 && cur.trail_count == 0 && cur.spark_count == 0 && !cur.tracking);
}

TEST_F(CursorTest, TheAngleTurnsTheShortestWayToAQuarterTurn)
{
    const float k = 1 - std::exp(-12 * kDt);
    struct Case {
        float start, turn;   // the shortest signed way to pi / 4
    } cases[] = {{-3.0f, kPi / 4 + 3.0f - 2 * kPi}, {3.0f, kPi / 4 - 3.0f}, {0.0f, kPi / 4}};
    for (const Case& t : cases) {
        cursor_init(&cur);
        cur.angle = t.start;
        step(2, 50, 50);
        EXPECT_NEAR(cur.angle, t.start + t.turn * k, 1e-5) << t.start;
    }
}

TEST_F(CursorTest, TheGemRefusesNonFiniteSmallAndInvisibleInput)
{
    const float gold[4] = {1, 0.82f, 0.3f, 1};
    struct Case {
        float x, y, radius, alpha;
        bool drawn;
    } cases[] = {{NAN, 50, 7, 1, false},     {50, INFINITY, 7, 1, false}, {50, 50, NAN, 1, false},
                 {50, 50, 1.0f, 1, false},    {50, 50, 7, 0, false},       {50, 50, 7, NAN, false},
                 {50, 50, 1.5f, 1, true},     {50, 50, 7, 0.5f, true}};
    for (const Case& t : cases) {
        canvas_begin(c, 0, 0, 1);
        level_glyph_draw(c, t.x, t.y, t.radius, gold, 0.35f, 0.2f, 0.5f, 0, t.alpha, 0.8f);
        EXPECT_EQ(c->vertex_count > 0, t.drawn) << t.x << " " << t.radius << " " << t.alpha;
        canvas_end(c);
    }
}

TEST_F(CursorTest, MovingOntoAnotherRegionRingsOnceAtTheChange)
{
    // Regions are kept in window pixels; the cursor gets its position in cursor units.
    hitregion_frame_begin();
    hitregion_add(nullptr, HitRect{100, 100, 60, 40}, HITREGION_KIND_BUTTON);
    hitregion_add(nullptr, HitRect{160, 100, 60, 40}, HITREGION_KIND_BUTTON);
    hitregion_frame_begin();
    auto at = [](float window_x) { return window_x / CURSOR_UNIT; };
    const float y = 120 / CURSOR_UNIT;
    for (int i = 0; i < 30; i++)
        step(2, at(120 + i), y);
    EXPECT_GT(cur.hover_change_time, 0.0);
    int rings = 0;
    for (int i = 0; i < 60; i++) {
        double last = cur.hover_change_time;
        step(2, at(150 + i), y);   // crosses from the first region to the second at x 160
        if (cur.hover_change_time != last) {
            rings++;
            EXPECT_TRUE(150 + i == 160 && cur.hover_change_time == clock);
        }
    }
    EXPECT_EQ(rings, 1);
}

// The pictures; each draw leaves the renderer's blend mode and draw colour as it found them.
TEST_F(CursorTest, PicturesOfTheTileInThreeModesAndOfTheGemAndTheRendererStateKept)
{
    const struct {
        uint32_t mode;
        const char* name;
    } modes[] = {{0, "mode0"}, {2, "mode2"}, {9, "mode9"}};
    for (const auto& m : modes) {
        cursor_init(&cur);
        draw_fixture_clear(&fx, 13, 17, 17);
        for (int i = 0; i < 60; i++)
            step(m.mode, 57, 57);
        SDL_SetRenderDrawBlendMode(fx.renderer, SDL_BLENDMODE_ADD);
        SDL_SetRenderDrawColor(fx.renderer, 1, 2, 3, 4);
        cursor_draw(fx.renderer, &cur, 57, 57, CURSOR_UNIT, clock);
        SDL_BlendMode mode;
        uint8_t r, g, b, a;
        SDL_GetRenderDrawBlendMode(fx.renderer, &mode);
        SDL_GetRenderDrawColor(fx.renderer, &r, &g, &b, &a);
        EXPECT_TRUE(mode == SDL_BLENDMODE_ADD && r == 1 && g == 2 && b == 3 && a == 4) << m.name;
        EXPECT_GT(lit_pixels(), 100) << m.name;
        shot(m.name);
    }
    draw_fixture_clear(&fx, 13, 17, 17);
    const float gold[4] = {1, 0.82f, 0.3f, 1};
    canvas_begin(c, 0, 0, 4);
    level_glyph_draw(c, 30, 30, 20, gold, 0.35f, 0.3f, 0.6f, 0.4f, 1, 0.8f);
    canvas_end(c);
    read();
    shot("gem");
    // A disc of radius 80 around (120, 120) in the colour's four tones, brighter at the top.
    const float mul[4] = {0.24f, 0.58f, 1, 1}, lift[4] = {0, 0, 0, 0.62f};
    auto ch = [&](int k, int i) { return (uint8_t)std::lround(255 * (gold[i] * mul[k] + (1 - gold[i]) * lift[k])); };
    for (int k = 0; k < 4; k++)
        EXPECT_TRUE(draw_box_has(&fx, 40, 40, 199, 199, draw_pixel_rgb(ch(k, 0), ch(k, 1), ch(k, 2)))) << "tone " << k;
    for (auto [x, y] : {std::pair{120, 37}, {203, 120}, {120, 203}, {37, 120}, {60, 60}, {180, 180}})
        EXPECT_TRUE(draw_probe(&fx, x, y, draw_pixel_rgb(13, 17, 17))) << x << ", " << y;
    int green = 0;   // a 30 x 30 square at y 50 against one at y 160
    for (int i = 0; i < 900; i++)
        green += draw_fixture_pixel(&fx, 105 + i % 30, 50 + i / 30).g - draw_fixture_pixel(&fx, 105 + i % 30, 160 + i / 30).g;
    EXPECT_GT(green, 0);
}
