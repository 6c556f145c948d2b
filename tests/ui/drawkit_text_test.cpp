// The kit's 5 x 7 text read back from the GL renderer: every glyph on both drawing
// paths (merged column runs and one square per font pixel), the "?" rule, widths,
// centring, the gradient rows and the glow's threshold and clamps.
#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "tests/ui/kit_test.h"
#include "ui/pixel_font.h"

class DrawText : public KitTest {
protected:
    DrawText() : KitTest(400, 200) {}
    // The column bits rebuilt from the glyph cell whose top-left pixel is (x, y) at
    // 2 px per font pixel; fails when a pixel is neither text nor background or the
    // blank sixth column is not blank.
    ::testing::AssertionResult glyph_at(int x, int y, const uint8_t want[5])
    {
        for (int dy = 0; dy < 2 * PIXEL_FONT_ROWS; ++dy) {
            for (int dx = 0; dx < 2 * PIXEL_FONT_ADVANCE; ++dx) {
                int c = dx / 2, r = dy / 2;
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

// A bitmap ('#' lit) folded: its blank edges dropped, runs of equal neighbouring
// columns and then rows kept once, their lengths in runs[0] and runs[1].
static std::vector<std::string> fold(std::vector<std::string> b, std::vector<int> runs[2])
{
    for (int axis = 0; axis < 2; ++axis) {
        std::vector<std::string> lines(b[0].size());   // transposed
        for (const std::string& row : b)
            for (size_t x = 0; x < row.size(); ++x)
                lines[x] += row[x];
        while (lines.back().find('#') == std::string::npos)
            lines.pop_back();
        while (lines.front().find('#') == std::string::npos)
            lines.erase(lines.begin());
        b.clear();
        for (const std::string& l : lines)
            b.empty() || b.back() != l ? (b.push_back(l), runs[axis].push_back(1)) : (void)runs[axis].back()++;
    }
    return b;
}

// The status line's and the buttons' characters at their sizes and the window scales of
// 1024 x 600 (946 x 600 with the library open) and 1280 x 1100, drawn twice at uneven
// places: the ink folds to the glyph with a device pixel at least for each font pixel,
// a glyph the font mirrors is mirrored in ink (equal strokes equal), both copies alike.
TEST_F(DrawText, AtWindowScalesEveryLitFontPixelShowsAndEqualStrokesAreEqual)
{
    const std::string chars = "0123456789MONITRVEDUBCLAXPSK@.H";
    auto rev = [](auto v) { return decltype(v)(v.rbegin(), v.rend()); };
    for (auto [w, h] : {std::pair{946, 600}, {1280, 1100}})
        for (float pixel : {1.4f, 1.6f})
            for (int path = 0; path < 2; ++path) {
                draw_frame_layout(&kit, w, h);
                std::vector<int> first[32][2];
                for (int pass = 0; pass < 2; ++pass) {
                    auto spot = [&](size_t i, int dx, int dy) {   // device pixels near glyph i
                        return std::pair{6 + 25.0f * (i % 15) + 0.37f * i + 0.45f * pass + dx,
                                         6 + 30.0f * (i / 15) + 0.29f * i + 0.55f * pass + dy};
                    };
                    draw_fixture_clear(&fx, bg.r, bg.g, bg.b);
                    for (size_t i = 0; i < chars.size(); ++i) {
                        auto [x, y] = spot(i, 0, 0);
                        x = (x - kit.offset_x) / kit.scale, y = (y - kit.offset_y) / kit.scale;
                        const char one[2] = {chars[i], 0};
                        path ? draw_text_glow(&kit, one, x, y, pixel, ~0u, ~0u, 0, 0)
                             : draw_text(&kit, one, x, y, pixel, ~0u);
                    }
                    read();
                    for (size_t i = 0; i < chars.size(); ++i) {
                        SCOPED_TRACE(::testing::Message() << w << "x" << h << " " << pixel << " '" << chars[i] << "'");
                        const uint8_t* g = pixel_font_glyph((unsigned char)chars[i]);
                        std::vector<std::string> ink(22, std::string(20, '.')), font(7, std::string(5, '.'));
                        for (int k = 0; k < 22 * 20; ++k) {
                            auto [x, y] = spot(i, k % 20 - 3, k / 20 - 3);
                            ink[k / 20][k % 20] = draw_probe(&fx, (int)x, (int)y, bg, 0) ? '.' : '#';
                        }
                        for (int k = 0; k < 35; ++k)
                            font[k % 7][k / 7] = g[k / 7] >> k % 7 & 1 ? '#' : '.';
                        std::vector<int> got[2], want[2];
                        std::vector<std::string> folded = fold(font, want);
                        ASSERT_EQ(fold(ink, got), folded);
                        auto even = [&](auto& r) { return rev(r) == r; };   // a line its own mirror
                        bool mirrored[2] = {std::all_of(folded.begin(), folded.end(), even), even(folded)};
                        for (int a = 0; a < 2; ++a) {
                            for (size_t k = 0; k < want[a].size(); ++k)
                                EXPECT_GE(got[a][k], want[a][k]) << "a font pixel without a device pixel";
                            if (mirrored[a] && rev(want[a]) == want[a])
                                EXPECT_EQ(rev(got[a]), got[a]) << "mirrored strokes unequal";
                            if (pass)
                                EXPECT_EQ(got[a], first[i][a]) << "unlike the copy elsewhere";
                            first[i][a] = got[a];
                        }
                    }
                }
            }
}
