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

// The bitmap ('#' lit) turned twice, each time without its blank edge lines and with a run
// of equal lines kept once, the runs' lengths in runs[0] and runs[1].
static std::vector<std::string> fold(std::vector<std::string> b, std::vector<int> runs[2])
{
    for (int axis = 0; axis < 2; ++axis) {
        std::vector<std::string> lines(b[0].size());
        for (size_t x = 0; x < lines.size() * b.size(); ++x)
            lines[x % lines.size()] += b[x / lines.size()][x % lines.size()];
        b.clear();
        for (const std::string& l : lines)
            if (!b.empty() && b.back() == l)
                runs[axis].back()++;
            else if (!b.empty() || l.find('#') != std::string::npos)
                b.push_back(l), runs[axis].push_back(1);
        if (b.back().find('#') == std::string::npos)
            b.pop_back(), runs[axis].pop_back();
    }
    return b;
}

// Status and button characters at window scales, uneven places, both paths: the ink folds to the
// glyph, a device pixel at least per font pixel, and a glyph the font mirrors mirrored.
TEST_F(DrawText, AtWindowScalesEveryLitFontPixelShowsAndEqualStrokesAreEqual)
{
    auto even = [](const auto& v) { return std::equal(v.begin(), v.end(), v.rbegin()); };
    for (auto [w, h, pixel] : {std::tuple{946, 600, 1.4f}, {946, 600, 1.6f}, {1280, 1100, 1.4f}, {1280, 1100, 1.6f}})
        for (int path = 0; path < 2; ++path)
            for (const char* c = "0123456789MONITRVEDUBCLAXPSK@.H"; *c; ++c) {
                SCOPED_TRACE(::testing::Message() << w << "x" << h << " " << pixel << " '" << *c << "'");
                draw_frame_layout(&kit, w, h);
                draw_fixture_clear(&fx, bg.r, bg.g, bg.b);
                float x = (6 + 0.37f * (*c % 7) - kit.offset_x) / kit.scale;   // device pixel 6 and a part
                float y = (6 + 0.29f * (*c % 5) - kit.offset_y) / kit.scale;
                const char s[2] = {*c, 0};
                path ? draw_text_glow(&kit, s, x, y, pixel, ~0u, ~0u, 0, 0) : draw_text(&kit, s, x, y, pixel, ~0u);
                read();
                std::vector<std::string> ink(22, std::string(20, '.')), font(7, std::string(5, '.'));
                for (int k = 0; k < 22 * 20; ++k)
                    ink[k / 20][k % 20] = draw_probe(&fx, k % 20, k / 20, bg) ? '.' : '#';
                for (int k = 0; k < 35; ++k)
                    font[k % 7][k / 7] = pixel_font_glyph((unsigned char)*c)[k / 7] >> k % 7 & 1 ? '#' : '.';
                std::vector<int> got[2], want[2];
                std::vector<std::string> folded = fold(font, want);
                ASSERT_EQ(fold(ink, got), folded);
                bool mirrored[2] = {std::all_of(folded.begin(), folded.end(), even), even(folded)};
                for (int a = 0; a < 2; ++a) {
                    EXPECT_TRUE(std::equal(want[a].begin(), want[a].end(), got[a].begin(), std::less_equal{}));
                    EXPECT_TRUE(!mirrored[a] || !even(want[a]) || even(got[a])) << "mirrored strokes unequal";
                }
            }
}
