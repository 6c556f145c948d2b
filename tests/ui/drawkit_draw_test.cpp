// The kit's shapes on the GL renderer: blending, corner colours, gradients, outlines,
// glow halos, mapping and the white texture's life.
#include <cmath>

#include "tests/ui/kit_test.h"

class DrawShapes : public KitTest {
protected:
    DrawShapes() : KitTest(320, 240) {}
};

TEST_F(DrawShapes, NormalAndAdditiveShapesAlternateInOneBatch)
{
    const uint32_t magenta = draw_rgba(255, 0, 128, 255);
    const uint32_t half_orange = draw_rgba(200, 100, 0, 128);
    const uint32_t grey_add = draw_rgba(100, 100, 100, 128);
    draw_fill(&kit, 10, 10, 40, 40, magenta);
    draw_fill_additive(&kit, 30, 30, 40, 40, grey_add);   // over magenta and background
    draw_fill(&kit, 80, 10, 40, 40, half_orange);
    draw_fill_additive(&kit, 130, 10, 40, 40, grey_add);
    draw_fill(&kit, 180, 10, 40, 40, half_orange);          // back to normal after additive
    read();
    shot();

    EXPECT_TRUE(draw_probe(&fx, 15, 15, kit_pixel(magenta)));
    EXPECT_TRUE(draw_probe(&fx, 40, 40, draw_pixel_rgb(255, 50, 178)));   // saturating add
    EXPECT_TRUE(draw_probe(&fx, 60, 60, draw_expect_add(bg, kit_pixel(grey_add))));
    EXPECT_TRUE(draw_probe(&fx, 100, 30, draw_expect_blend(bg, kit_pixel(half_orange))));
    EXPECT_TRUE(draw_probe(&fx, 150, 30, draw_expect_add(bg, kit_pixel(grey_add))));
    EXPECT_TRUE(draw_probe(&fx, 200, 30, draw_expect_blend(bg, kit_pixel(half_orange))));
    EXPECT_TRUE(draw_probe(&fx, 75, 30, bg));
}

// Expected colour inside a draw_rect4 quad at (u, v) in 0..1: the two triangles
// (top-left, top-right, bottom-right) and (top-left, bottom-right, bottom-left).
static DrawPixel quad_colour(const uint32_t c[4], float u, float v)
{
    float w[4];
    if (u >= v) {
        w[0] = 1 - u, w[1] = u - v, w[2] = v, w[3] = 0;
    } else {
        w[0] = 1 - v, w[1] = 0, w[2] = u, w[3] = v - u;
    }
    float ch[3] = {0, 0, 0};
    for (int i = 0; i < 4; ++i)
        for (int k = 0; k < 3; ++k)
            ch[k] += w[i] * (float)(c[i] >> (8 * k) & 0xFF);
    return draw_pixel_rgb((uint8_t)std::lround(ch[0]), (uint8_t)std::lround(ch[1]), (uint8_t)std::lround(ch[2]));
}

TEST_F(DrawShapes, CornerColoursGoToTheirCornersAndGradientsRunTopToBottom)
{
    const uint32_t c[4] = {draw_rgba(255, 0, 0, 255), draw_rgba(0, 255, 0, 255), draw_rgba(0, 0, 255, 255),
                           draw_rgba(255, 255, 0, 255)};
    draw_rect4(&kit, 10, 10, 100, 100, c[0], c[1], c[2], c[3], DRAW_BLEND_NORMAL);
    draw_rect_vgrad(&kit, 150, 10, 40, 100, draw_rgba(250, 0, 0, 255), draw_rgba(0, 0, 250, 255));
    read();
    shot();

    const int probes[][2] = {{12, 12}, {107, 12}, {107, 107}, {12, 107}, {60, 30}, {30, 60}, {80, 85}};
    for (const auto& p : probes) {
        float u = (p[0] + 0.5f - 10) / 100, v = (p[1] + 0.5f - 10) / 100;
        EXPECT_TRUE(draw_probe(&fx, p[0], p[1], quad_colour(c, u, v)));
    }
    for (int y : {12, 35, 60, 107}) {
        float t = (y + 0.5f - 10) / 100;
        uint8_t top = (uint8_t)std::lround(250 * (1 - t)), bottom = (uint8_t)std::lround(250 * t);
        EXPECT_TRUE(draw_probe(&fx, 170, y, draw_pixel_rgb(top, 0, bottom)));
    }
}

TEST_F(DrawShapes, OutlineIsOneUnitInsideTheRectangleAtAnyScale)
{
    const uint32_t teal = draw_rgba(46, 199, 184, 255);
    draw_rect_outline(&kit, 20, 20, 50, 30, teal);
    // Scale 2 with an offset: edges two device pixels thick.
    kit.left_w = 640;
    draw_frame_layout(&kit, 2 * 1280, 2 * 1080);   // scale 2, x = 0 at device 1280
    kit.translate_x = -640 + 5;
    kit.translate_y = 40;
    draw_rect_outline(&kit, 0, 0, 20, 20, teal);
    read();
    shot();

    DrawPixel t = kit_pixel(teal);
    EXPECT_TRUE(draw_probe(&fx, 20, 35, t));
    EXPECT_TRUE(draw_probe(&fx, 69, 35, t));
    EXPECT_TRUE(draw_probe(&fx, 45, 20, t));
    EXPECT_TRUE(draw_probe(&fx, 45, 49, t));
    for (auto p : {std::pair{19, 35}, {21, 35}, {68, 35}, {70, 35}, {45, 21}, {45, 48}, {45, 50}})
        EXPECT_TRUE(draw_probe(&fx, p.first, p.second, bg)) << p.first << ", " << p.second;

    // (5, 40) .. (25, 60) in units is (10, 80) .. (50, 120) in pixels.
    for (auto p : {std::pair{10, 100}, {11, 100}, {48, 100}, {49, 100}, {30, 80}, {30, 81}, {30, 119}})
        EXPECT_TRUE(draw_probe(&fx, p.first, p.second, t)) << p.first << ", " << p.second;
    for (auto p : {std::pair{9, 100}, {12, 100}, {47, 100}, {50, 100}, {30, 82}, {30, 120}})
        EXPECT_TRUE(draw_probe(&fx, p.first, p.second, bg)) << p.first << ", " << p.second;
}

TEST_F(DrawShapes, GlowHalosFadeByThirdsAndABrightGlowStaysBright)
{
    const uint32_t c = draw_rgba(60, 30, 10, 255);
    // Rectangle (40, 40, 40, 40), radius 30: halos reach 10, 20 and 30 units out.
    draw_glow(&kit, 40, 40, 40, 40, c, 30, 1.0f);
    draw_glow(&kit, 180, 40, 40, 40, c, 30, 10.0f);
    draw_glow(&kit, 40, 150, 40, 40, c, 30, 0.01f);       // too faint: nothing
    draw_glow(&kit, 180, 150, 40, 40, c, 30, NAN);
    read();
    shot();

    auto halo = [&](int x, int y, std::initializer_list<int> alphas) {
        DrawPixel want = bg;
        for (int a : alphas)
            want = draw_expect_add(want, DrawPixel{60, 30, 10, (uint8_t)a});
        return draw_probe(&fx, x, y, want);
    };
    // Intensity 1: alpha bytes 56, 37, 18 (0.22 x 255 by thirds).
    EXPECT_TRUE(halo(13, 60, {18}));
    EXPECT_TRUE(halo(23, 60, {37, 18}));
    EXPECT_TRUE(halo(33, 60, {56, 37, 18}));
    EXPECT_TRUE(halo(60, 60, {56, 37, 18}));
    EXPECT_TRUE(halo(8, 60, {}));
    // Intensity 10: the two inner halos are held at full alpha instead of wrapping.
    EXPECT_TRUE(halo(153, 60, {187}));
    EXPECT_TRUE(halo(163, 60, {255, 187}));
    EXPECT_TRUE(halo(173, 60, {255, 255, 187}));

    for (int x = 0; x < 320; x += 3)
        for (int y = 110; y < 240; y += 3)
            ASSERT_TRUE(draw_probe(&fx, x, y, bg, 0));
}

TEST_F(DrawShapes, TheWhiteTextureIsRemadeAfterAReset)
{
    ASSERT_TRUE(draw_reset(&kit));
    ASSERT_NE(kit.white, nullptr);
    draw_fill(&kit, 10, 10, 20, 20, draw_rgba(255, 0, 128, 255));
    draw_shutdown(&kit);
    draw_shutdown(&kit);
    draw_fill(&kit, 40, 10, 20, 20, draw_rgba(255, 0, 128, 255));   // no texture: nothing
    ASSERT_TRUE(draw_reset(&kit));
    draw_fill(&kit, 70, 10, 20, 20, draw_rgba(0, 255, 0, 255));
    read();

    EXPECT_TRUE(draw_probe(&fx, 20, 20, draw_pixel_rgb(255, 0, 128)));
    EXPECT_TRUE(draw_probe(&fx, 50, 20, bg));
    EXPECT_TRUE(draw_probe(&fx, 80, 20, draw_pixel_rgb(0, 255, 0)));

    DrawKit none;
    EXPECT_FALSE(draw_init(&none, nullptr));
    EXPECT_FALSE(draw_reset(&none));
    draw_fill(&none, 0, 0, 10, 10, 0xFFFFFFFFu);
}
