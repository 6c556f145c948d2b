// The animated backdrop on the GL renderer: the pinned star seeding, paused stars,
// the colour field's pixels, the window-size rules, the tilt's clamp, snap and easing,
// and a long soak of the rock scene, with pictures of both scenes and the stars.
#include <cmath>
#include <random>
#include <vector>

#include <SDL.h>

#include "support/draw_probe.h"
#include "ui/backdrop.h"
#include "ui/backdrop_internal.h"
#include "ui/hitregion.h"

namespace {

const DrawPixel kClear = draw_pixel_rgb(13, 17, 17);

DrawPixel added(DrawPixel under, const float* c)
{
    return draw_expect_add(under, DrawPixel{(uint8_t)std::lround(c[0] * 255), (uint8_t)std::lround(c[1] * 255),
                                            (uint8_t)std::lround(c[2] * 255), (uint8_t)std::lround(c[3] * 255)});
}

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

TEST(Backdrop, StarSeedingIsPinnedAndEachGroupKeepsItsRanges)
{
    BackdropStar s[BACKDROP_STAR_COUNT];
    backdrop_init(s);
    const float first[5] = {0.638272f, 0.247423f, 0.482602f, 0.593708f, 0.25f};
    const float last[5] = {0.792339f, 0.169133f, 0.684465f, 1.385043f, 0.88f};
    for (int k = 0; k < 5; k++) {
        EXPECT_NEAR(s[0][k], first[k], 1e-5) << k;
        EXPECT_NEAR(s[172][k], last[k], 1e-5) << k;
    }
    struct Group {
        int from, to;
        float b_lo, b_hi, s_lo, s_hi, depth;
    } groups[] = {{0, 90, 0.3f, 0.65f, 0.5f, 0.9f, 0.25f},
                  {90, 145, 0.45f, 0.85f, 0.7f, 1.2f, 0.55f},
                  {145, 173, 0.6f, 1.0f, 1.0f, 1.7f, 0.88f}};
    for (const Group& g : groups) {
        for (int i = g.from; i < g.to; i++) {
            EXPECT_GE(s[i][2], g.b_lo);
            EXPECT_LE(s[i][2], g.b_hi);
            EXPECT_GE(s[i][3], g.s_lo);
            EXPECT_LE(s[i][3], g.s_hi);
            EXPECT_EQ(s[i][4], g.depth);
        }
    }
}

TEST(Backdrop, TiltIsClampedNaNCountsAsTheMiddleAndTheGridFollowsTheWindow)
{
    struct Case {
        float x, y, want_x, want_y;
    } cases[] = {{3, -2, 1, -1}, {NAN, 0.5f, 0, 0.5f}, {INFINITY, -INFINITY, 0, 0}, {-0.25f, 0.75f, -0.25f, 0.75f}};
    for (const Case& k : cases) {
        backdrop_set_tilt(k.x, k.y);
        float tx = 9, ty = 9;
        backdrop_tilt(&tx, &ty, nullptr, nullptr);
        EXPECT_EQ(tx, k.want_x);
        EXPECT_EQ(ty, k.want_y);
    }
    struct Grid {
        float w, h;
        int cols, rows;
        float scale;
    } grids[] = {{7200, 720, 96, 24, 1.0f}, {620, 1010, 21, 34, 620 / 720.0f}, {1920, 1080, 64, 36, 1.5f},
                 {100, 100, 4, 4, 0.6f}, {5000, 5000, 96, 96, 1.7f}};
    for (const Grid& g : grids) {
        int cols = 0, rows = 0;
        float s = 0;
        backdrop_grid(g.w, g.h, &cols, &rows, &s);
        EXPECT_EQ(cols, g.cols) << g.w;
        EXPECT_EQ(rows, g.rows) << g.h;
        EXPECT_FLOAT_EQ(s, g.scale) << g.w;
    }
}

TEST_F(BackdropDraw, ATinyWindowDrawsNothingAndAWholeOneRegistersItsColouredRegion)
{
    hitregion_frame_begin();
    canvas_begin(c, 0, 0, 1);
    backdrop_draw(c, nullptr, CanvasRect{0, 0, 1, 1}, 0, 0, 5.0);
    backdrop_draw_variant(c, nullptr, CanvasRect{0, 0, 1, 1}, 0, 0, 5.0);
    backdrop_draw_particles(c, stars, CanvasRect{0, 0, 1, 1}, 0, 0, 1);
    EXPECT_EQ(c->vertex_count, 0);
    canvas_end(c);
    hitregion_frame_begin();
    EXPECT_EQ(hitregion_find(0.5f, 0.5f), nullptr);

    scene_a(5.0);
    hitregion_frame_begin();
    const HitRegion* r = hitregion_find(600, 1000);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->kind, 1u);
    EXPECT_FLOAT_EQ(r->colour[2], 0.97f);   // colour B
    EXPECT_EQ(r->rect.w, 620.0f);
}

TEST_F(BackdropDraw, AClockOfZeroSnapsTheTiltAndAJumpEasesAsOneFrame)
{
    backdrop_set_tilt(1, -1);
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
    scene_a(3.0);
    backdrop_set_tilt(0.5f, 0.5f);
    scene_a(3.0 + 1.0 / 60);
    backdrop_tilt(nullptr, nullptr, &cx, &cy);
    EXPECT_TRUE(std::isfinite(cx) && std::isfinite(cy));
    EXPECT_GT(cx, 0.0f);
    draw_fixture_clear(&fx, 0, 0, 0);
    particles();
    read();
    int ink = 0;
    for (int y = 0; y < 1010; y += 1)
        for (int x = 0; x < 620; x++)
            ink += draw_fixture_pixel(&fx, x, y).r > 60;
    EXPECT_GT(ink, 100);
}

TEST_F(BackdropDraw, PausedNearStarsShowWhiteInkAtTheirPlaceWhateverTheTilt)
{
    std::vector<DrawPixel> seen[2];
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
            seen[pass].push_back(p);
            EXPECT_GT(p.r, 90) << i;
            EXPECT_NEAR(p.r, p.g, 1) << i;
            EXPECT_NEAR(p.r, p.b, 1) << i;
        }
    }
    shot();
    for (size_t i = 0; i < seen[0].size(); i++)
        EXPECT_EQ(seen[0][i].r, seen[1][i].r) << i;
}

TEST_F(BackdropDraw, TheFieldAtAGridCornerAwayFromTheObjectsIsItsColourAddedOverTheClear)
{
    int cols = 0, rows = 0;
    float s = 0;
    backdrop_grid(620, 1010, &cols, &rows, &s);
    // Object centres as the scene places them without scroll or parallax.
    float ox[8], oy[8];
    for (uint32_t i = 0; i < 8; i++) {
        uint32_t h = (53u * i + 300u) * 0x9E3779B9u;
        ox[i] = backdrop_draw_of(h, 4) * 620;
        oy[i] = (0.04f + 0.86f * backdrop_draw_of(h, 5)) * 1010;
    }
    scene_a(0.0);
    read();
    shot();
    int checked = 0;
    for (int j = 2; j < rows - 1 && checked < 6; j += 5) {
        for (int i = 2; i < cols - 1 && checked < 6; i += 4) {
            float x = i * 620.0f / cols, y = j * 1010.0f / rows;
            bool clear = true;
            for (int k = 0; k < 8; k++)
                clear = clear && std::hypot(x - ox[k], y - oy[k]) > 90 * s;
            if (!clear)
                continue;
            float col[4];
            backdrop_field_color(x, y, 0, 0, 0, nullptr, col);
            // The pixel whose centre lies nearest the corner.
            EXPECT_TRUE(draw_probe(&fx, (int)std::lround(x), (int)std::lround(y), added(kClear, col), 3))
                << x << "," << y;
            checked++;
        }
    }
    EXPECT_GE(checked, 4);
}

TEST_F(BackdropDraw, TheRockSceneStaysBoundedAndFiniteThroughLongSoaks)
{
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> jitter(0.0, 0.3);
    BackdropVariantStats st{};
    double clock = 1.0;
    bool finite = true;
    int over = 0;
    // A one-pixel clip keeps the rasteriser's work small; the batch and the moving
    // bodies are checked instead.
    const CanvasRect pixel{0, 0, 1, 1};
    const BackdropState* g = backdrop_state();
    // 20 minutes at 60 frames a second, then 20 minutes of frames of 0 .. 0.3 s.
    for (int phase = 0; phase < 2; phase++) {
        double end = clock + 1200.0;
        while (clock < end) {
            clock += phase == 0 ? 1.0 / 60 : jitter(rng);
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
}

TEST_F(BackdropDraw, PicturesOfBothScenesAndTheStars)
{
    float colours[2][4];
    backdrop_default_colors(colours);
    backdrop_set_tilt(0.3f, -0.2f);
    for (int f = 0; f < 120; f++) {
        draw_fixture_clear(&fx, kClear.r, kClear.g, kClear.b);
        scene_a(600.0 + f / 60.0);
    }
    read();
    shot("scene-a");

    // Run the rock scene until comets fly, then draw it alone.
    BackdropVariantStats st{};
    double clock = 900.0;
    for (int f = 0; f < 60 * 60 && st.comets < 2; f++) {
        clock += 1.0 / 60;
        const CanvasRect pixel{0, 0, 1, 1};
        canvas_begin(c, 0, 0, 1);
        canvas_set_clip(c, &pixel);
        backdrop_draw_variant(c, colours, whole, 0, 0, clock);
        canvas_end(c);
        SDL_RenderFlush(fx.renderer);
        backdrop_variant_stats(&st);
    }
    EXPECT_GE(st.comets, 1);
    draw_fixture_clear(&fx, kClear.r, kClear.g, kClear.b);
    canvas_begin(c, 0, 0, 1);
    backdrop_draw_variant(c, colours, whole, 0, 0, clock + 1.0 / 60);
    canvas_end(c);
    read();
    shot("scene-b");

    draw_fixture_clear(&fx, kClear.r, kClear.g, kClear.b);
    particles();
    read();
    shot("stars");
}
