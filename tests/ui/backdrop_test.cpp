// The animated backdrop on the GL renderer: the pinned star seeding, paused stars,
// the colour field's pixels, the window-size rules, the tilt's clamp, snap and easing,
// and a long soak of the rock scene; pictures of both scenes and of the stars.
#include <cmath>
#include <random>

#include <SDL.h>

#include "support/draw_probe.h"
#include "ui/backdrop.h"
#include "ui/backdrop_internal.h"
#include "ui/hitregion.h"

namespace {

const DrawPixel kClear = draw_pixel_rgb(13, 17, 17);

class BackdropDraw : public DrawTest {
protected:
    BackdropDraw() : DrawTest(620, 1010) {}
    Canvas* c = nullptr;
    BackdropStar stars[BACKDROP_STAR_COUNT];
    const CanvasRect whole{0, 0, 620, 1010};

    void SetUp() override
    {
        DrawTest::SetUp();
        if (HasFatalFailure())
            return;
        c = canvas_create(fx.renderer);
        ASSERT_NE(c, nullptr);
        backdrop_reset();
        backdrop_init(stars);
        draw_fixture_clear(&fx, kClear.r, kClear.g, kClear.b);
    }
    void TearDown() override
    {
        canvas_destroy(c);
        DrawTest::TearDown();
    }
    void scene_a(double clock)
    {
        canvas_begin(c, 0, 0, 1);
        backdrop_draw(c, nullptr, whole, 0, 0, clock);
        canvas_end(c);
    }
    void particles()
    {
        canvas_begin(c, 0, 0, 1);
        backdrop_draw_particles(c, stars, whole, 0, 0, 1);
        canvas_end(c);
    }
};

}  // namespace

TEST(Backdrop, StarSeedingIsPinned)
{
    BackdropStar s[BACKDROP_STAR_COUNT];
    backdrop_init(s);
    const float first[5] = {0.638272f, 0.247423f, 0.482602f, 0.593708f, 0.25f};
    const float last[5] = {0.792339f, 0.169133f, 0.684465f, 1.385043f, 0.88f};
    for (int k = 0; k < 5; k++) {
        EXPECT_NEAR(s[0][k], first[k], 1e-5) << k;
        EXPECT_NEAR(s[172][k], last[k], 1e-5) << k;
    }
}

TEST_F(BackdropDraw, ATinyWindowDrawsNothingAndAHugeOneKeepsItsGridWithinBounds)
{
    int cols = 0, rows = 0;
    float s = 0;
    backdrop_grid(7200, 720, &cols, &rows, &s);
    EXPECT_TRUE(cols == 96 && rows == 24 && s == 1.0f);
    hitregion_frame_begin();
    canvas_begin(c, 0, 0, 1);
    backdrop_draw(c, nullptr, CanvasRect{0, 0, 1, 1}, 0, 0, 5.0);
    backdrop_draw_variant(c, nullptr, CanvasRect{0, 0, 1, 1}, 0, 0, 5.0);
    backdrop_draw_particles(c, stars, CanvasRect{0, 0, 1, 1}, 0, 0, 1);
    EXPECT_EQ(c->vertex_count, 0);
    canvas_end(c);
    hitregion_frame_begin();
    EXPECT_EQ(hitregion_find(0.5f, 0.5f), nullptr);
}

TEST_F(BackdropDraw, TheTiltIsClampedAClockOfZeroSnapsItAndAJumpEasesAsOneFrame)
{
    backdrop_set_tilt(3, -2);
    float tx = 0, ty = 0;
    backdrop_tilt(&tx, &ty, nullptr, nullptr);
    EXPECT_TRUE(tx == 1 && ty == -1);
    scene_a(1.0);
    scene_a(1.0 + 1.0 / 60);
    float cx = 0, cy = 0;
    backdrop_tilt(nullptr, nullptr, &cx, &cy);
    ASSERT_GT(cx, 0.0f);
    const float k = 1 - std::exp(-5.0f / 60);
    // A jump of 3 s and a clock running backwards both count as 1/60 s.
    for (double next : {4.0 + 1.0 / 60, 2.0}) {
        float before = cx;
        scene_a(next);
        backdrop_tilt(nullptr, nullptr, &cx, &cy);
        EXPECT_NEAR(cx, before + (1 - before) * k, 1e-5);
        EXPECT_NEAR(cy, -cx, 1e-5);
    }
    scene_a(0.0);
    backdrop_tilt(nullptr, nullptr, &cx, &cy);
    EXPECT_EQ(cx, 0.0f);
    EXPECT_EQ(cy, 0.0f);

    // A NaN target used to stick in the eased tilt and blank every parallax position.
    backdrop_set_tilt(NAN, NAN);
    backdrop_tilt(&tx, &ty, nullptr, nullptr);
    EXPECT_TRUE(tx == 0 && ty == 0);
    scene_a(3.0);
    backdrop_set_tilt(0.5f, 0.5f);
    scene_a(3.0 + 1.0 / 60);
    backdrop_tilt(nullptr, nullptr, &cx, &cy);
    EXPECT_TRUE(std::isfinite(cx) && std::isfinite(cy));
    EXPECT_GT(cx, 0.0f);
    draw_fixture_clear(&fx, 0, 0, 0);
    particles();
    read();
    // The last star, moved by a few pixels of parallax.
    int x = (int)(stars[172][0] * 620), y = (int)(stars[172][1] * 1010), lit = 0;
    for (int dy = -4; dy <= 4; dy++)
        for (int dx = -4; dx <= 4; dx++)
            lit += draw_fixture_pixel(&fx, x + dx, y + dy).r > 90;
    EXPECT_GT(lit, 0);
}

TEST_F(BackdropDraw, PausedNearStarsShowWhiteInkAtTheirPlaceWhateverTheTilt)
{
    // Each pass finds every star at its own place, whatever the tilt.
    const float tilts[2][2] = {{1, 1}, {-1, 0.5f}};
    for (int pass = 0; pass < 2; pass++) {
        backdrop_set_tilt(tilts[pass][0], tilts[pass][1]);
        scene_a(0.0);
        draw_fixture_clear(&fx, 0, 0, 0);
        particles();
        read();
        for (int i = 145; i < BACKDROP_STAR_COUNT; i++) {
            int x = (int)std::floor(stars[i][0] * 620), y = (int)std::floor(stars[i][1] * 1010);
            DrawPixel p = draw_fixture_pixel(&fx, x, y);
            EXPECT_TRUE(p.r > 90 && std::abs(p.r - p.g) <= 1 && std::abs(p.r - p.b) <= 1) << i;
        }
    }
    shot("stars");
}

TEST_F(BackdropDraw, TheFieldAtAGridCornerAwayFromTheObjectsIsItsColourAddedOverTheClear)
{
    const int cols = 21, rows = 34;   // at 620 x 1010, scale 0.86
    scene_a(0.0);
    read();
    shot("scene-a");
    int checked = 0;
    for (int j = 2; j < rows - 1 && checked < 6; j += 5) {
        for (int i = 2; i < cols - 1 && checked < 6; i += 4) {
            float x = i * 620.0f / cols, y = j * 1010.0f / rows;
            // Away from every object's centre as the scene places it (no scroll, no parallax).
            bool clear = true;
            for (uint32_t k = 0; k < 8; k++) {
                uint32_t h = (53u * k + 300u) * 0x9E3779B9u;
                float ox = backdrop_draw_of(h, 4) * 620, oy = (0.04f + 0.86f * backdrop_draw_of(h, 5)) * 1010;
                clear = clear && std::hypot(x - ox, y - oy) > 80;
            }
            if (!clear)
                continue;
            float col[4];
            backdrop_field_color(x, y, 0, 0, 0, nullptr, col);
            // The pixel whose centre lies nearest the corner.
            DrawPixel ink{(uint8_t)std::lround(col[0] * 255), (uint8_t)std::lround(col[1] * 255),
                          (uint8_t)std::lround(col[2] * 255), (uint8_t)std::lround(col[3] * 255)};
            EXPECT_TRUE(draw_probe(&fx, (int)std::lround(x), (int)std::lround(y), draw_expect_add(kClear, ink), 3))
                << x << "," << y;
            checked++;
        }
    }
    EXPECT_GE(checked, 4);
}

TEST_F(BackdropDraw, TheRockSceneStaysBoundedAndFiniteThroughLongSoaks)
{
    std::mt19937 rng(7);
    BackdropVariantStats st{};
    double clock = 1.0;
    bool finite = true;
    int over = 0;
    // A one-pixel clip keeps the rasteriser's work small; the batch and the moving
    // bodies are checked instead.
    const CanvasRect pixel{0, 0, 1, 1};
    const BackdropState* g = backdrop_state();
    // 20 minutes at 60 frames a second, 20 minutes of frames of 0 .. 0.3 s, then on at
    // 60 a second until a comet has flown a third of a second, for the picture.
    for (int phase = 0; phase < 3; phase++) {
        double end = clock + (phase < 2 ? 1200.0 : 60.0);
        while (clock < end && !(phase == 2 && st.longest_trail >= 20)) {
            clock += phase == 1 ? std::uniform_real_distribution<double>(0.0, 0.3)(rng) : 1.0 / 60;
            canvas_begin(c, 0, 0, 1);
            canvas_set_clip(c, &pixel);
            backdrop_draw_variant(c, nullptr, whole, 0, 0, clock);
            for (int v = 0; v < c->vertex_count; v++)
                finite = finite && std::isfinite(c->vertices[v].position.x) && std::isfinite(c->vertices[v].position.y);
            canvas_end(c);
            SDL_RenderFlush(fx.renderer);
            for (const BackdropComet& k : g->comets)
                for (int p = 0; k.live && p < k.trail_count; p++)
                    finite = finite && std::isfinite(k.trail_x[p]) && std::isfinite(k.trail_y[p]);
            for (const BackdropShard& k : g->shards)
                finite = finite && (!k.live || (std::isfinite(k.x) && std::isfinite(k.y)));
            backdrop_variant_stats(&st);
            over += st.comets > BACKDROP_COMETS || st.shards > BACKDROP_SHARDS || st.flashes > BACKDROP_FLASHES ||
                    st.longest_trail > BACKDROP_TRAIL;
        }
    }
    EXPECT_TRUE(finite);
    EXPECT_EQ(over, 0);
    EXPECT_GT(st.spawned, 100);
    EXPECT_GT(st.strikes, 0);
    EXPECT_GE(st.longest_trail, 20);
    draw_fixture_clear(&fx, kClear.r, kClear.g, kClear.b);
    canvas_begin(c, 0, 0, 1);
    backdrop_draw_variant(c, nullptr, whole, 0, 0, clock + 1.0 / 60);
    canvas_end(c);
    read();
    shot("scene-b");
}
