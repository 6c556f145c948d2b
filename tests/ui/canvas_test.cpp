// The canvas on the GL renderer: snapped and soft shapes, pixel text, nested levels,
// clipping, the batch limits, offscreen layers, the dissolve and renderer resets,
// checked by the pixels they leave.
#include <cmath>

#include "support/draw_probe.h"
#include "ui/canvas.h"
#include "ui/dither.h"

namespace {

const float RED[4] = {1, 0, 0, 1};
const float GREEN[4] = {0, 1, 0, 1};
const float BLUE[4] = {0, 0, 1, 1};
const float WHITE[4] = {1, 1, 1, 1};
const float HALF_RED[4] = {1, 0, 0, 0.5f};
const float CLEAR[4] = {0, 0, 0, 0};

DrawPixel rgba(const float* c, float alpha_factor = 1)
{
    return DrawPixel{(uint8_t)(c[0] * 255 + 0.5f), (uint8_t)(c[1] * 255 + 0.5f), (uint8_t)(c[2] * 255 + 0.5f),
                     (uint8_t)(c[3] * alpha_factor * 255 + 0.5f)};
}

}  // namespace

class CanvasTest : public DrawTest {
protected:
    CanvasTest() : DrawTest(320, 240) {}
    Canvas* c = nullptr;
    const DrawPixel bg = draw_pixel_rgb(40, 60, 80);

    void SetUp() override
    {
        DrawTest::SetUp();
        if (HasFatalFailure())
            return;
        c = canvas_create(fx.renderer);
        ASSERT_NE(c, nullptr);
        draw_fixture_clear(&fx, bg.r, bg.g, bg.b);
    }
    void TearDown() override
    {
        canvas_destroy(c);
        DrawTest::TearDown();
    }
    DrawPixel over_bg(const float* colour, float alpha_factor = 1)
    {
        return draw_expect_blend(bg, rgba(colour, alpha_factor));
    }
};

TEST_F(CanvasTest, RectanglesSnapToPixelsAndHairlinesFade)
{
    canvas_begin(c, 0, 0, 1);
    canvas_fill_rect(c, 10.4f, 10.6f, 20, 20, RED);       // pixels 10..29 x 11..30
    canvas_fill_rect(c, 50.1f, 10, 0.3f, 20, WHITE);      // one column at 0.3 alpha
    canvas_fill_rect(c, 60, 10, 0, 20, WHITE);            // nothing
    canvas_fill_rect(c, 70, 10, NAN, 20, WHITE);          // nothing
    canvas_fill_rect(c, NAN, 10, 5, 20, WHITE);           // nothing
    canvas_fill_rect(c, 80, INFINITY, 5, 20, WHITE);      // nothing
    canvas_fill_rect_gradient(c, 100, 10, 20, 100, RED, BLUE);
    canvas_stroke_rect(c, 20, 150, 40, 30, 2, GREEN);
    canvas_stroke_rect(c, 80, 150, 40, 30, 0.4f, WHITE);  // one pixel at 0.4 alpha
    canvas_end(c);
    read();
    shot();

    EXPECT_TRUE(draw_probe(&fx, 10, 11, rgba(RED)));
    EXPECT_TRUE(draw_probe(&fx, 29, 30, rgba(RED)));
    EXPECT_TRUE(draw_probe(&fx, 9, 20, bg));
    EXPECT_TRUE(draw_probe(&fx, 30, 20, bg));
    EXPECT_TRUE(draw_probe(&fx, 20, 10, bg));
    EXPECT_TRUE(draw_probe(&fx, 20, 31, bg));
    EXPECT_TRUE(draw_probe(&fx, 50, 20, over_bg(WHITE, 0.3f)));
    EXPECT_TRUE(draw_probe(&fx, 49, 20, bg));
    EXPECT_TRUE(draw_probe(&fx, 51, 20, bg));
    for (int y = 0; y < 140; y += 2)
        for (int x : {60, 70, 71, 72, 80, 81})
            ASSERT_TRUE(draw_probe(&fx, x, y, bg, 0)) << x << ", " << y;
    EXPECT_TRUE(draw_probe(&fx, 110, 10, draw_pixel_rgb(254, 0, 1), 3));
    EXPECT_TRUE(draw_probe(&fx, 110, 109, draw_pixel_rgb(1, 0, 254), 3));
    EXPECT_TRUE(draw_probe(&fx, 110, 60, draw_pixel_rgb(127, 0, 127), 3));

    for (auto [x, y] : {std::pair{20, 165}, {21, 165}, {58, 165}, {59, 165}, {40, 150}, {40, 151}, {40, 179}})
        EXPECT_TRUE(draw_probe(&fx, x, y, rgba(GREEN))) << x << ", " << y;
    for (auto [x, y] : {std::pair{22, 165}, {57, 165}, {40, 152}, {40, 177}, {19, 165}, {60, 165}})
        EXPECT_TRUE(draw_probe(&fx, x, y, bg)) << x << ", " << y;
    EXPECT_TRUE(draw_probe(&fx, 80, 165, over_bg(WHITE, 0.4f)));
    EXPECT_TRUE(draw_probe(&fx, 81, 165, bg));
}

TEST_F(CanvasTest, SlantedShapesHaveSoftEdgesAndDegenerateOnesDrawNothing)
{
    canvas_begin(c, 0, 0, 1);
    canvas_fill_triangle(c, 100, 100, 160, 100, 100, 160, RED);
    canvas_fill_diamond(c, 220, 40, 20, 30, GREEN);
    canvas_fill_diamond(c, 280, 40, 0, 30, GREEN);             // no width: nothing
    canvas_draw_line(c, 200, 150, 260, 210, 4, WHITE);
    canvas_draw_line(c, 200, 225, 260, 225, 2, BLUE);          // rows 224 and 225
    const float tx[3] = {10, 60, 110}, ty[3] = {200, 190, 200};
    const float bx[3] = {10, 60, 110}, by[3] = {230, 220, 230};
    canvas_fill_ribbon(c, tx, ty, bx, by, 3, GREEN);
    // Degenerate: two points, nine points, all on one line, a NaN point.
    const float xs[9] = {5, 40, 40, 5, 5, 5, 5, 5, 5}, ys[9] = {5, 5, 40, 40, 5, 5, 5, 5, 5};
    canvas_fill_convex(c, xs, ys, 2, WHITE);
    canvas_fill_convex(c, xs, ys, 9, WHITE);
    const float lx[3] = {5, 20, 35}, ly[3] = {5, 20, 35};
    canvas_fill_convex(c, lx, ly, 3, WHITE);
    const float nx[4] = {5, 40, NAN, 5};
    canvas_fill_convex(c, nx, ys, 4, WHITE);
    canvas_fill_triangle(c, 5, 5, 40, 5, 5, INFINITY, WHITE);
    canvas_end(c);
    read();
    shot();

    EXPECT_TRUE(draw_probe(&fx, 110, 110, rgba(RED)));
    EXPECT_TRUE(draw_probe(&fx, 150, 150, bg));
    // A pixel whose centre lies on the slanted edge is half covered.
    EXPECT_TRUE(draw_probe(&fx, 129, 130, over_bg(RED, 0.5f), 12));
    EXPECT_TRUE(draw_probe(&fx, 220, 40, rgba(GREEN)));
    EXPECT_TRUE(draw_probe(&fx, 236, 64, bg));
    EXPECT_TRUE(draw_probe(&fx, 280, 40, bg, 0));
    EXPECT_TRUE(draw_probe(&fx, 230, 180, rgba(WHITE)));
    EXPECT_TRUE(draw_probe(&fx, 240, 170, bg));
    EXPECT_TRUE(draw_probe(&fx, 230, 224, rgba(BLUE)));
    EXPECT_TRUE(draw_probe(&fx, 230, 225, rgba(BLUE)));
    EXPECT_TRUE(draw_probe(&fx, 230, 223, bg));
    EXPECT_TRUE(draw_probe(&fx, 230, 226, bg));
    EXPECT_TRUE(draw_probe(&fx, 60, 205, rgba(GREEN)));
    EXPECT_TRUE(draw_probe(&fx, 30, 215, rgba(GREEN)));
    EXPECT_TRUE(draw_probe(&fx, 60, 185, bg));
    for (int y = 0; y < 45; ++y)
        for (int x = 0; x < 45; ++x)
            ASSERT_TRUE(draw_probe(&fx, x, y, bg, 0)) << x << ", " << y;
}

TEST_F(CanvasTest, PixelTextUsesWholeDevicePixelsAndAligns)
{
    canvas_begin(c, 0, 0, 1);
    canvas_draw_pixel_text(c, "H", 10, 10, 0.2f, WHITE, 0);     // one pixel per font pixel
    canvas_draw_pixel_text(c, "HH", 100, 10, 2, WHITE, 2);      // ends at x = 100
    canvas_draw_pixel_text(c, "H", 160, 10, 2, WHITE, 1);       // 10 px wide, centred on 160
    canvas_draw_pixel_text(c, "", 10, 40, 2, WHITE, 0);
    canvas_draw_pixel_text(c, "H", 10, 40, 0, WHITE, 0);
    canvas_end(c);
    read();
    shot();

    // "H": columns 0 and 4 full height, row 3 across.
    EXPECT_TRUE(draw_probe(&fx, 10, 10, rgba(WHITE)));
    EXPECT_TRUE(draw_probe(&fx, 14, 16, rgba(WHITE)));
    EXPECT_TRUE(draw_probe(&fx, 12, 13, rgba(WHITE)));
    EXPECT_TRUE(draw_probe(&fx, 11, 10, bg));
    EXPECT_TRUE(draw_probe(&fx, 10, 17, bg));
    EXPECT_TRUE(draw_probe(&fx, 15, 10, bg));
    // "HH" at 2 px: 22 px wide, from 78 to 100.
    EXPECT_TRUE(draw_probe(&fx, 78, 10, rgba(WHITE)));
    EXPECT_TRUE(draw_probe(&fx, 77, 10, bg));
    EXPECT_TRUE(draw_probe(&fx, 99, 23, rgba(WHITE)));
    EXPECT_TRUE(draw_probe(&fx, 100, 10, bg));
    EXPECT_TRUE(draw_probe(&fx, 155, 10, rgba(WHITE)));
    EXPECT_TRUE(draw_probe(&fx, 154, 10, bg));
    EXPECT_TRUE(draw_probe(&fx, 164, 10, rgba(WHITE)));
    EXPECT_TRUE(draw_probe(&fx, 165, 10, bg));
    EXPECT_TRUE(draw_probe(&fx, 10, 40, bg, 0));

    EXPECT_FLOAT_EQ(canvas_pixel_text_width(c, "HH", 2), 22);
    EXPECT_FLOAT_EQ(canvas_pixel_text_width(c, "", 2), 0);
    EXPECT_FLOAT_EQ(canvas_pixel_text_width(nullptr, "H", 0.2f), 5);
}

TEST_F(CanvasTest, NestedLevelsMapOriginAndScaleAndRestoreTheOuterLevel)
{
    canvas_begin(c, 10, 10, 1);
    canvas_set_clip(c, nullptr);
    canvas_begin(c, 100, 50, 2);
    canvas_fill_rect(c, 0, 0, 10, 10, RED);              // device 100..120 x 50..70
    CanvasRect clip{20, 0, 10, 10};                      // device 140..160 x 50..70
    canvas_set_clip(c, &clip);
    canvas_fill_rect(c, 15, -5, 40, 40, GREEN);
    canvas_end(c);
    EXPECT_FALSE(canvas_get_clip(c, nullptr));
    EXPECT_FLOAT_EQ(canvas_get_scale(c), 1);
    canvas_fill_rect(c, 0, 0, 10, 10, BLUE);             // outer origin again: 10..20
    canvas_end(c);
    read();
    shot();

    EXPECT_TRUE(draw_probe(&fx, 100, 50, rgba(RED)));
    EXPECT_TRUE(draw_probe(&fx, 119, 69, rgba(RED)));
    EXPECT_TRUE(draw_probe(&fx, 120, 69, bg));
    EXPECT_TRUE(draw_probe(&fx, 140, 50, rgba(GREEN)));
    EXPECT_TRUE(draw_probe(&fx, 159, 69, rgba(GREEN)));
    EXPECT_TRUE(draw_probe(&fx, 139, 60, bg));
    EXPECT_TRUE(draw_probe(&fx, 160, 60, bg));
    EXPECT_TRUE(draw_probe(&fx, 150, 49, bg));
    EXPECT_TRUE(draw_probe(&fx, 150, 70, bg));
    EXPECT_TRUE(draw_probe(&fx, 10, 10, rgba(BLUE)));
    EXPECT_TRUE(draw_probe(&fx, 19, 19, rgba(BLUE)));
    EXPECT_TRUE(draw_probe(&fx, 20, 20, bg));
}

TEST_F(CanvasTest, DeepNestingKeepsOuterLevelsAndTheRendererStateIsGivenBack)
{
    SDL_Rect outer_clip{0, 0, 300, 200};
    SDL_RenderSetClipRect(fx.renderer, &outer_clip);
    SDL_SetRenderDrawColor(fx.renderer, 1, 2, 3, 4);
    SDL_SetRenderDrawBlendMode(fx.renderer, SDL_BLENDMODE_ADD);

    canvas_begin(c, 0, 0, 1);
    for (int i = 2; i <= 10; ++i)
        canvas_begin(c, (float)(i * 20), 0, 1);
    canvas_fill_rect(c, 0, 0, 10, 10, WHITE);            // level 10 at x 200
    for (int i = 10; i > 6; --i)
        canvas_end(c);
    // Levels 6 and up are not saved (only 2..5 are): level 10's origin remains.
    canvas_fill_rect(c, 0, 20, 10, 10, RED);             // x 200
    canvas_end(c);
    canvas_end(c);                                       // back in level 4 (x 80)
    canvas_fill_rect(c, 0, 40, 10, 10, GREEN);
    canvas_end(c);
    canvas_end(c);
    canvas_end(c);                                       // level 1 (x 0)
    canvas_fill_rect(c, 0, 60, 10, 10, BLUE);
    canvas_end(c);
    canvas_end(c);                                       // one end too many: nothing
    EXPECT_EQ(c->depth, 0);

    Uint8 col[4];
    SDL_GetRenderDrawColor(fx.renderer, &col[0], &col[1], &col[2], &col[3]);
    EXPECT_EQ(col[0] + col[1] * 256 + col[2] * 65536 + col[3] * 16777216, 1 + 2 * 256 + 3 * 65536 + 4 * 16777216);
    SDL_BlendMode blend;
    SDL_GetRenderDrawBlendMode(fx.renderer, &blend);
    EXPECT_EQ(blend, SDL_BLENDMODE_ADD);
    SDL_Rect clip;
    SDL_RenderGetClipRect(fx.renderer, &clip);
    EXPECT_TRUE(SDL_RenderIsClipEnabled(fx.renderer));
    EXPECT_EQ(clip.w, 300);
    EXPECT_EQ(SDL_GetRenderTarget(fx.renderer), fx.target);
    SDL_RenderSetClipRect(fx.renderer, nullptr);
    read();
    shot();

    EXPECT_TRUE(draw_probe(&fx, 205, 5, rgba(WHITE)));
    EXPECT_TRUE(draw_probe(&fx, 205, 25, rgba(RED)));
    EXPECT_TRUE(draw_probe(&fx, 85, 45, rgba(GREEN)));
    EXPECT_TRUE(draw_probe(&fx, 5, 65, rgba(BLUE)));
}

TEST_F(CanvasTest, ClipFollowsOriginAndScaleAndANaNClipShutsEverythingOut)
{
    canvas_begin(c, 50, 50, 2);
    CanvasRect clip{5, 5, 15, 15};                       // device 60..90
    canvas_set_clip(c, &clip);
    CanvasRect got{};
    EXPECT_TRUE(canvas_get_clip(c, &got));
    EXPECT_FLOAT_EQ(got.w, 15);
    canvas_fill_rect(c, -20, -20, 100, 100, RED);
    CanvasRect bad{NAN, 0, 10, 10};
    canvas_set_clip(c, &bad);
    canvas_fill_rect(c, -20, -20, 100, 100, GREEN);
    canvas_set_clip(c, nullptr);
    canvas_fill_rect(c, 60, 0, 10, 10, BLUE);            // device 170..190 x 50..70
    canvas_end(c);
    read();
    shot();

    EXPECT_TRUE(draw_probe(&fx, 60, 60, rgba(RED)));
    EXPECT_TRUE(draw_probe(&fx, 89, 89, rgba(RED)));
    EXPECT_TRUE(draw_probe(&fx, 59, 70, bg));
    EXPECT_TRUE(draw_probe(&fx, 90, 70, bg));
    EXPECT_TRUE(draw_probe(&fx, 70, 90, bg));
    EXPECT_TRUE(draw_probe(&fx, 10, 10, bg));
    EXPECT_TRUE(draw_probe(&fx, 175, 55, rgba(BLUE)));
}

TEST_F(CanvasTest, OpacityAndAdditiveShapesKeepTheirOrderAcrossBatchCuts)
{
    canvas_begin(c, 0, 0, 1);
    canvas_set_alpha(c, 0.5f);
    canvas_fill_rect(c, 10, 10, 40, 40, RED);            // red at half over bg
    canvas_set_alpha(c, 1);
    const float grey[4] = {0.4f, 0.4f, 0.4f, 1};
    canvas_set_additive(c, true);
    canvas_fill_rect(c, 30, 10, 40, 40, grey);
    canvas_set_additive(c, false);
    canvas_fill_rect(c, 60, 10, 40, 40, HALF_RED);       // normal again, over the added grey
    canvas_end(c);
    read();
    shot();

    DrawPixel half = over_bg(RED, 0.5f);
    DrawPixel g = rgba(grey);
    EXPECT_TRUE(draw_probe(&fx, 20, 20, half));
    EXPECT_TRUE(draw_probe(&fx, 40, 20, draw_expect_add(half, g)));
    EXPECT_TRUE(draw_probe(&fx, 65, 20, draw_expect_blend(draw_expect_add(bg, g), rgba(HALF_RED))));
    EXPECT_TRUE(draw_probe(&fx, 90, 20, over_bg(HALF_RED)));

    canvas_set_alpha(c, NAN);
    EXPECT_FLOAT_EQ(c->level.opacity, 1);
    canvas_set_alpha(c, -3);
    EXPECT_FLOAT_EQ(c->level.opacity, 0);
    const float odd[4] = {NAN, 2, -1, 1};
    SDL_Color p = canvas_pack_color(c, odd, NAN);
    EXPECT_EQ(p.r, 0);
    EXPECT_EQ(p.g, 255);
    EXPECT_EQ(p.b, 0);
    EXPECT_EQ(p.a, 0);
}

TEST_F(CanvasTest, AFullBatchIsSubmittedAndEveryShapeStillLands)
{
    // 4000 one-pixel quads: twice what one batch holds.
    canvas_begin(c, 0, 0, 1);
    int most = 0;
    for (int i = 0; i < 4000; ++i) {
        canvas_fill_rect(c, (float)(i % 100) * 3, (float)(i / 100) * 3, 1, 1, WHITE);
        most = std::max(most, c->vertex_count);
    }
    canvas_end(c);
    read();
    shot();

    EXPECT_LE(most, CANVAS_MAX_VERTICES);
    for (int i = 0; i < 4000; i += 37)
        ASSERT_TRUE(draw_probe(&fx, i % 100 * 3, i / 100 * 3, rgba(WHITE))) << i;
    EXPECT_TRUE(draw_probe(&fx, 99 * 3, 39 * 3, rgba(WHITE)));
    EXPECT_TRUE(draw_probe(&fx, 1, 0, bg));
}

TEST_F(CanvasTest, TexturesAreCopiedOneToOneAtASnappedPosition)
{
    SDL_Texture* tex = SDL_CreateTexture(fx.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, 4, 4);
    ASSERT_NE(tex, nullptr);
    uint32_t white[16];
    for (uint32_t& p : white)
        p = 0xFFFFFFFFu;
    SDL_UpdateTexture(tex, nullptr, white, 16);
    const float orange[4] = {1, 0.5f, 0, 1};
    canvas_begin(c, 0, 0, 2);
    canvas_draw_texture(c, tex, 5.2f, 10, 1, 2, 4, 4, orange);   // device (11, 22), 4 x 4
    canvas_draw_texture(c, tex, NAN, 10, 0, 0, 4, 4, orange);    // nothing
    canvas_end(c);
    SDL_DestroyTexture(tex);
    read();

    EXPECT_TRUE(draw_probe(&fx, 11, 22, rgba(orange)));
    EXPECT_TRUE(draw_probe(&fx, 14, 25, rgba(orange)));
    EXPECT_TRUE(draw_probe(&fx, 15, 25, bg));
    EXPECT_TRUE(draw_probe(&fx, 10, 22, bg));
    EXPECT_TRUE(draw_probe(&fx, 0, 20, bg));
}

TEST_F(CanvasTest, LayersComposeWithPremultipliedColourAtTheCanvasOpacity)
{
    ASSERT_TRUE(c->premultiplied_ok);
    CanvasTarget t{};
    ASSERT_EQ(canvas_target_ensure(c, &t, 60, 40), 0);
    canvas_begin(c, 30, 30, 1);
    canvas_push_target(c, &t, CLEAR);
    canvas_fill_rect(c, 0, 0, 30, 40, HALF_RED);         // origin (0, 0) inside the layer
    canvas_fill_rect(c, 30, 0, 30, 40, BLUE);
    canvas_pop_target(c);
    canvas_fill_rect(c, 0, 0, 5, 5, GREEN);              // origin (30, 30) again
    canvas_draw_target(c, &t, 70, 0);                    // device (100, 30)
    canvas_set_alpha(c, 0.5f);
    canvas_draw_target(c, &t, 70, 60);                   // device (100, 90), half
    canvas_end(c);
    read();
    shot();

    EXPECT_TRUE(draw_probe(&fx, 32, 32, rgba(GREEN)));
    EXPECT_TRUE(draw_probe(&fx, 110, 50, over_bg(HALF_RED)));
    EXPECT_TRUE(draw_probe(&fx, 140, 50, rgba(BLUE)));
    EXPECT_TRUE(draw_probe(&fx, 161, 50, bg));
    EXPECT_TRUE(draw_probe(&fx, 110, 110, over_bg(HALF_RED, 0.5f)));
    EXPECT_TRUE(draw_probe(&fx, 140, 110, over_bg(BLUE, 0.5f)));
    canvas_texture_free(&t);
    canvas_texture_free(&t);
    EXPECT_EQ(t.texture, nullptr);
}

TEST_F(CanvasTest, TargetSizesAreBoundedAndResetsRemakeLayers)
{
    CanvasTarget t{};
    EXPECT_EQ(canvas_target_ensure(c, &t, 0, 0), 0);
    EXPECT_EQ(t.width, 1);
    EXPECT_EQ(t.height, 1);
    SDL_Texture* first = t.texture;
    EXPECT_EQ(canvas_target_ensure(c, &t, 16385, 10), -1);
    EXPECT_EQ(t.texture, first);
    EXPECT_EQ(t.width, 1);
    EXPECT_EQ(canvas_target_ensure(c, &t, 1, 1), 0);
    EXPECT_EQ(t.texture, first);                         // same size, same generation: kept
    EXPECT_EQ(canvas_target_ensure(nullptr, &t, 1, 1), -1);

    // After a reset the layer is remade and registered under the new generation, and
    // the canvas draws shapes and dissolves with its remade textures.
    canvas_reset(c);
    EXPECT_EQ(c->generation, 1);
    ASSERT_EQ(canvas_target_ensure(c, &t, 40, 40), 0);
    int registered = 0;
    for (const CanvasRegistryEntry& e : c->registry)
        registered += e.texture == t.texture && e.generation == 1;
    EXPECT_EQ(registered, 1);
    EXPECT_TRUE(c->premultiplied_ok);
    EXPECT_TRUE(c->mask_ok);

    // A reset in the middle of a frame drops the shapes queued for the old textures.
    canvas_begin(c, 0, 0, 1);
    canvas_fill_rect(c, 0, 0, 20, 20, RED);
    canvas_reset(c);
    canvas_fill_rect(c, 30, 0, 20, 20, GREEN);
    canvas_push_target(c, &t, WHITE);                    // remade at ensure after this reset
    canvas_pop_target(c);
    ASSERT_EQ(canvas_target_ensure(c, &t, 40, 40), 0);
    canvas_push_target(c, &t, WHITE);
    canvas_pop_target(c);
    canvas_dissolve_target(c, &t, 6, 1);
    canvas_draw_target(c, &t, 60, 0);
    canvas_end(c);
    read();
    shot();

    EXPECT_TRUE(draw_probe(&fx, 10, 10, bg));
    EXPECT_TRUE(draw_probe(&fx, 40, 10, rgba(GREEN)));
    int kept = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            kept += draw_fixture_pixel(&fx, 60 + x, y).r == 255;
    EXPECT_EQ(kept, dither_level_count(6));
    canvas_texture_free(&t);
}

TEST_F(CanvasTest, AFifthLayerIsRefusedAndItsPopLeavesTheFourthInPlace)
{
    CanvasTarget t[5]{};
    for (CanvasTarget& x : t)
        ASSERT_EQ(canvas_target_ensure(c, &x, 20, 20), 0);
    canvas_begin(c, 0, 0, 1);
    for (CanvasTarget& x : t)
        canvas_push_target(c, &x, CLEAR);
    EXPECT_EQ(c->target_depth, 4);
    canvas_fill_rect(c, 0, 0, 5, 5, BLUE);               // into the fourth layer
    CanvasTarget none{};
    canvas_push_target(c, &none, CLEAR);                 // refused inside a refused push
    canvas_pop_target(c);
    canvas_pop_target(c);                                // undoes the fifth push only
    canvas_fill_rect(c, 10, 0, 5, 5, GREEN);             // still the fourth layer
    canvas_pop_target(c);
    canvas_fill_rect(c, 0, 10, 5, 5, RED);               // the third layer
    canvas_end(c);                                       // pops the rest
    EXPECT_EQ(SDL_GetRenderTarget(fx.renderer), fx.target);
    canvas_begin(c, 0, 0, 1);
    canvas_draw_target(c, &t[3], 100, 10);
    canvas_draw_target(c, &t[2], 140, 10);
    canvas_end(c);
    read();
    shot();

    EXPECT_TRUE(draw_probe(&fx, 102, 12, rgba(BLUE)));
    EXPECT_TRUE(draw_probe(&fx, 112, 12, rgba(GREEN)));
    EXPECT_TRUE(draw_probe(&fx, 102, 22, bg));
    EXPECT_TRUE(draw_probe(&fx, 142, 22, rgba(RED)));
    EXPECT_TRUE(draw_probe(&fx, 152, 12, bg));
    for (CanvasTarget& x : t)
        canvas_texture_free(&x);
}

TEST_F(CanvasTest, DissolveKeepsTheCellsOfItsLevel)
{
    ASSERT_TRUE(c->mask_ok);
    CanvasTarget t[4]{};
    const int levels[4] = {0, 11, 12, 3};
    canvas_begin(c, 0, 0, 1);
    for (int i = 0; i < 4; ++i) {
        ASSERT_EQ(canvas_target_ensure(c, &t[i], 64, 64), 0);
        canvas_push_target(c, &t[i], CLEAR);
        canvas_fill_rect(c, 0, 0, 64, 64, WHITE);
        canvas_pop_target(c);
        canvas_dissolve_target(c, &t[i], levels[i], i == 3 ? 2.0f : 1.0f);
        canvas_draw_target(c, &t[i], (float)(10 + i * 74), 10);
    }
    canvas_end(c);
    read();
    shot();

    auto white_at = [&](int x, int y) { return draw_fixture_pixel(&fx, x, y).r == 255; };
    int shown[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        int x0 = 10 + i * 74;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                shown[i] += white_at(x0 + x, 10 + y);
    }
    EXPECT_EQ(shown[0], 0);
    EXPECT_EQ(shown[1], 4 * dither_level_count(11));       // the 32 x 32 mask tiled twice each way
    EXPECT_EQ(shown[2], 64 * 64);
    EXPECT_EQ(shown[3], 4 * dither_level_count(3));        // 2 x 2 pixels per cell, one tile
    for (int cell = 0; cell < DITHER_CELLS; cell += 7) {
        int cx = cell % DITHER_SIZE, cy = cell / DITHER_SIZE;
        bool want = dither_rank(cell) < dither_level_count(11);
        ASSERT_EQ(white_at(84 + cx + 32, 10 + cy + 32), want) << cell;
        bool want3 = dither_rank(cell) < dither_level_count(3);
        ASSERT_EQ(white_at(232 + 2 * cx + 1, 10 + 2 * cy + 1), want3) << cell;
    }
    for (CanvasTarget& x : t)
        canvas_texture_free(&x);
}

TEST(CanvasNoRenderer, EveryCallAcceptsANullCanvas)
{
    EXPECT_EQ(canvas_create(nullptr), nullptr);
    canvas_destroy(nullptr);
    canvas_reset(nullptr);
    canvas_begin(nullptr, 0, 0, 1);
    canvas_fill_rect(nullptr, 0, 0, 1, 1, RED);
    canvas_fill_ribbon(nullptr, nullptr, nullptr, nullptr, nullptr, 2, RED);
    canvas_push_target(nullptr, nullptr, RED);
    canvas_pop_target(nullptr);
    canvas_dissolve_target(nullptr, nullptr, 3, 1);
    canvas_end(nullptr);
    canvas_texture_free(nullptr);
    EXPECT_FLOAT_EQ(canvas_get_scale(nullptr), 1);
    EXPECT_FLOAT_EQ(canvas_snap(nullptr, 2.5f), 3);
    EXPECT_FALSE(canvas_get_clip(nullptr, nullptr));
}
