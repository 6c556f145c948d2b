// The kit's 5 x 7 text read back from the GL renderer: every glyph on both drawing
// paths (merged column runs and one square per font pixel), the "?" rule, widths,
// centring, the gradient rows and the glow's threshold and clamps.
#include <algorithm>
#include <cstring>
#include <functional>

#include "tests/ui/kit_test.h"
#include "ui/pixel_font.h"

class DrawText : public KitTest {
protected:
    DrawText() : KitTest(400, 200) {}
    // The column bits rebuilt from the glyph cell whose top-left pixel is (x, y) at
    // side px per font pixel; fails when a pixel is neither text nor background or the
    // blank sixth column is not blank.
    ::testing::AssertionResult glyph_at(int x, int y, const uint8_t want[5], int side = 2)
    {
        for (int dy = 0; dy < side * PIXEL_FONT_ROWS; ++dy) {
            for (int dx = 0; dx < side * PIXEL_FONT_ADVANCE; ++dx) {
                int c = dx / side, r = dy / side;
                bool set = c < PIXEL_FONT_COLUMNS && (want[c] >> r & 1);
                DrawPixel p = draw_fixture_pixel(&fx, x + dx, y + dy);
                bool lit = p.r > 200 && p.g > 200 && p.b > 200;
                bool dark = p.r == bg.r && p.g == bg.g && p.b == bg.b;
                if (set != lit || lit == dark)
                    return ::testing::AssertionFailure() << "font pixel (" << c << ", " << r << ") at (" << x + dx
                                                         << ", " << y + dy << ") should be " << (set ? "set" : "clear");
            }
        }
        return ::testing::AssertionSuccess();
    }
    // Draws the 95 printable characters in rows of 16 with one drawing path and
    // checks every cell against the table.
    void check_every_glyph(const std::function<void(const char*, float, float)>& draw, const char* name)
    {
        for (int row = 0; row < 6; ++row) {
            char line[17] = {};
            for (int i = 0; i < 16 && PIXEL_FONT_FIRST + row * 16 + i <= PIXEL_FONT_LAST; ++i)
                line[i] = (char)(PIXEL_FONT_FIRST + row * 16 + i);
            draw(line, 4, 4 + row * 20.0f);
        }
        read();
        shot(name);
        for (int ch = PIXEL_FONT_FIRST; ch <= PIXEL_FONT_LAST; ++ch) {
            int i = ch - PIXEL_FONT_FIRST;
            EXPECT_TRUE(glyph_at(4 + i % 16 * 12, 4 + i / 16 * 20, pixel_font_glyph((unsigned char)ch)))
                << "character 0x" << std::hex << ch;
        }
    }
};

TEST_F(DrawText, EveryGlyphDrawnInColumnRunsReadsBackAsItsTableBits)
{
    check_every_glyph([&](const char* s, float x, float y) { draw_text(&kit, s, x, y, 2, 0xFFFFFFFFu); }, "runs");
}

TEST_F(DrawText, EveryGlyphDrawnPixelByPixelReadsBackAsItsTableBits)
{
    check_every_glyph(
        [&](const char* s, float x, float y) {
            draw_text_glow(&kit, s, x, y, 2, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0xFFFFFFFFu);
        },
        "squares");
}

TEST_F(DrawText, BytesOutsideThePrintableRangeDrawAsQuestionMarks)
{
    draw_text(&kit, "\x01\x7F\x80\xFF", 4, 4, 2, 0xFFFFFFFFu);
    draw_text(&kit, "\xC3\xA9", 4, 24, 2, 0xFFFFFFFFu);   // "é": one "?" per byte
    draw_text_glow(&kit, "\x7F", 4, 44, 2, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0);
    read();
    const uint8_t* q = pixel_font_glyph('?');
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(glyph_at(4 + 12 * i, 4, q)) << "byte " << i;
    EXPECT_TRUE(glyph_at(4, 24, q));
    EXPECT_TRUE(glyph_at(16, 24, q));
    EXPECT_TRUE(glyph_at(4, 44, q));
}

TEST_F(DrawText, WidthCountsBytesAndCentringUsesIt)
{
    EXPECT_EQ(draw_text_width("", 3), 0);
    EXPECT_EQ(draw_text_width(nullptr, 3), 0);
    EXPECT_EQ(draw_text_width("A", 3), 15);
    EXPECT_EQ(draw_text_width("AB", 3), 33);
    EXPECT_EQ(draw_text_width("\xC3\xA9", 1), 11);

    // "AB" at 2 is 22 wide: centred on 100 it starts at 89 and ends before 111.
    draw_text_centered(&kit, "AB", 100, 10, 2, 0xFFFFFFFFu);
    read();
    EXPECT_TRUE(glyph_at(89, 10, pixel_font_glyph('A')));
    EXPECT_TRUE(glyph_at(101, 10, pixel_font_glyph('B')));
    EXPECT_TRUE(draw_probe(&fx, 88, 14, bg, 0));
}

TEST_F(DrawText, GradientTextRunsFromTopColourToBottomColourWithoutGlowAtTheThreshold)
{
    // "H": column 0 is set on every row. Pixel 4: row r covers y = 20 + 4r .. + 4.
    draw_text_glow(&kit, "H", 20, 20, 4, draw_rgba(0, 0, 250, 255), draw_rgba(250, 0, 0, 255), 0.02f,
                   draw_rgba(255, 255, 255, 255));
    read();
    shot();
    EXPECT_TRUE(draw_probe(&fx, 21, 21, draw_pixel_rgb(250, 0, 0)));
    EXPECT_TRUE(draw_probe(&fx, 21, 33, draw_pixel_rgb(125, 0, 125)));
    EXPECT_TRUE(draw_probe(&fx, 21, 45, draw_pixel_rgb(0, 0, 250)));
    for (int x = 0; x < 80; ++x) {
        for (int y = 0; y < 70; ++y) {
            bool in_text = x >= 20 && x < 40 && y >= 20 && y < 48;
            ASSERT_TRUE(in_text || draw_probe(&fx, x, y, bg, 0)) << x << ", " << y;
        }
    }
}

TEST_F(DrawText, StrongGlowIsHeldAtFullAlphaInsteadOfWrapping)
{
    // Glow 5 at pixel 10: halos reach 30, 60 and 90 units; the additive copy of the
    // text is offset by -5 and 10.8 units per font pixel, so (x - 3, y + 20) lies in
    // the copy's first column, in all three halos and outside the text itself.
    const uint32_t glow = draw_rgba(20, 10, 4, 255);
    draw_text_glow(&kit, "H", 150, 60, 10, 0xFFFFFFFFu, 0xFFFFFFFFu, 5.0f, glow);
    read();
    shot();
    DrawPixel want = bg;
    for (int a : {255, 187, 93, 255})   // halos 1..3 (inner two clamped), then the copy (clamped)
        want = draw_expect_add(want, DrawPixel{20, 10, 4, (uint8_t)a});
    EXPECT_TRUE(draw_probe(&fx, 147, 80, want));
    EXPECT_TRUE(draw_probe(&fx, 155, 80, draw_pixel_rgb(255, 255, 255)));
}

// The status line's and the buttons' characters at the sizes they are drawn in, at the
// window scales of 1024 x 600 (the window 946 x 600 with the library open) and 1280 x
// 1100, each at an uneven place: the ink is the glyph's bits on squares of one whole
// side for every glyph of a size, so no stroke is lost and equal strokes are equal.
TEST_F(DrawText, AtWindowScalesEveryLitFontPixelShowsOnEqualSquares)
{
    const char* chars = "0123456789MONITRVEDUBCLAXPSK@.";
    for (auto [w, h] : {std::pair{946, 600}, {1280, 1100}}) {
        draw_frame_layout(&kit, w, h);
        for (float pixel : {1.4f, 1.6f}) {
            for (bool plain : {true, false}) {
                draw_fixture_clear(&fx, bg.r, bg.g, bg.b);
                auto place = [](int i, float* dx, float* dy) {
                    *dx = 6.0f + 25.0f * (float)(i % 15) + 0.37f * (float)i;
                    *dy = 6.0f + 30.0f * (float)(i / 15) + 0.29f * (float)i;
                };
                for (int i = 0; chars[i]; ++i) {
                    float dx, dy;
                    place(i, &dx, &dy);
                    float x = (dx - kit.offset_x) / kit.scale, y = (dy - kit.offset_y) / kit.scale;
                    const char one[2] = {chars[i], 0};
                    if (plain)
                        draw_text(&kit, one, x, y, pixel, 0xFFFFFFFFu);
                    else
                        draw_text_glow(&kit, one, x, y, pixel, 0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0);
                }
                read();
                shot(plain ? "scaled-runs" : "scaled-squares");
                int side = 0;
                for (int i = 0; chars[i]; ++i) {
                    // The ink's box, and the glyph's lit columns and rows it must span.
                    float dx, dy;
                    place(i, &dx, &dy);
                    int x0 = 1 << 20, y0 = 1 << 20, x1 = -1, y1 = -1;
                    for (int y = (int)dy - 3; y < (int)dy + 18; ++y)
                        for (int x = (int)dx - 3; x < (int)dx + 16; ++x)
                            if (!draw_probe(&fx, x, y, bg, 0))
                                x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
                    const uint8_t* g = pixel_font_glyph((unsigned char)chars[i]);
                    int c0 = 5, c1 = -1, r0 = 7, r1 = -1;
                    for (int c = 0; c < PIXEL_FONT_COLUMNS; ++c)
                        for (int r = 0; r < PIXEL_FONT_ROWS; ++r)
                            if (g[c] >> r & 1)
                                c0 = std::min(c0, c), c1 = std::max(c1, c), r0 = std::min(r0, r), r1 = std::max(r1, r);
                    SCOPED_TRACE(::testing::Message() << w << " x " << h << ", pixel " << pixel << ", '" << chars[i]
                                                      << (plain ? "' runs" : "' squares"));
                    ASSERT_GE(x1, 0) << "no ink";
                    int sx = (x1 - x0 + 1) / (c1 - c0 + 1), sy = (y1 - y0 + 1) / (r1 - r0 + 1);
                    EXPECT_EQ(sx * (c1 - c0 + 1), x1 - x0 + 1);
                    EXPECT_EQ(sy * (r1 - r0 + 1), y1 - y0 + 1);
                    EXPECT_EQ(sx, sy);
                    EXPECT_GE(sx, 1);
                    EXPECT_EQ(side ? side : sx, sx) << "another side than the glyphs before";
                    side = sx;
                    if (sx >= 1)
                        EXPECT_TRUE(glyph_at(x0 - c0 * sx, y0 - r0 * sx, g, sx));
                }
            }
        }
    }
}
