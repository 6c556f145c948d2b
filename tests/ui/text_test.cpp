// The text renderer on the GL renderer: lines measured and drawn in the font chains,
// size and weight limits, malformed UTF-8, the bounded line cache, fitting with an
// ellipsis, missing display fonts and scale changes.
#include <cstdio>

#include "support/draw_probe.h"
#include "ui/canvas.h"
#include "ui/text.h"

namespace {
const float WHITE[4] = {1, 1, 1, 1};
}

class TextTest : public DrawTest {
protected:
    TextTest() : DrawTest(480, 200) {}
    Canvas* c = nullptr;
    TextRenderer* tr = nullptr;
    void SetUp() override
    {
        DrawTest::SetUp();
        if (HasFatalFailure())
            return;
        c = canvas_create(fx.renderer);
        tr = text_renderer_create_in(fx.renderer, TESSEL_FONT_FOLDER);
        ASSERT_NE(c, nullptr);
        ASSERT_NE(tr, nullptr);
    }
    void TearDown() override
    {
        text_renderer_destroy(tr);
        canvas_destroy(c);
        DrawTest::TearDown();
    }
    float width(int32_t font, const char* s, float size = 20, int32_t weight = 400)
    {
        float w = -1, h = -1;
        text_measure(tr, nullptr, font, s, size, weight, &w, &h);
        return w;
    }
};

TEST_F(TextTest, DrawsEveryChainWhereItsInkSays)
{
    canvas_begin(c, 0, 0, 1);
    float widths[4];
    for (int32_t font = 0; font < 4; font++)
        widths[font] = text_draw(tr, c, font, "Tessel 42 loops", 10, 10 + 45.0f * font, 32, 400, WHITE, 0);
    canvas_end(c);
    read();
    shot();
    float x0, y0, x1, y1;
    for (int32_t font = 0; font < 4; font++) {
        EXPECT_GT(widths[font], 100) << font;
        ASSERT_TRUE(text_ink_bounds(tr, c, font, "Tessel 42 loops", 32, 400, &x0, &y0, &x1, &y1));
        EXPECT_GE(x0, -2);
        EXPECT_LE(x1, widths[font] + 2);
        EXPECT_GE(y0, 0);
        // Some pixel inside the ink box is lit, and nothing is drawn left of the box.
        int lit = 0;
        for (int y = (int)y0; y < (int)y1; y++)
            for (int x = (int)x0; x < (int)x1; x++)
                lit += draw_fixture_pixel(&fx, 10 + x, 10 + 45 * font + y).r > 128;
        EXPECT_GT(lit, 20) << font;
        EXPECT_TRUE(draw_probe(&fx, 10 + (int)x0 - 3, 10 + 45 * font + 16, draw_pixel_rgb(0, 0, 0)));
    }
    // The display fonts load, and differ from the monospace chain they would fall back to.
    EXPECT_TRUE(text_renderer_has_display_font(tr, 2));
    EXPECT_TRUE(text_renderer_has_display_font(tr, 3));
    EXPECT_NE(widths[2], widths[1]);
    EXPECT_NE(widths[0], widths[1]);
}

TEST_F(TextTest, CentredAndRightAlignedLinesEndWhereAsked)
{
    canvas_begin(c, 0, 0, 1);
    float w = text_draw(tr, c, 0, "MMMM", 240, 20, 30, 400, WHITE, 1);
    text_draw(tr, c, 0, "MMMM", 470, 100, 30, 400, WHITE, 2);
    canvas_end(c);
    read();
    float x0, x1;
    ASSERT_TRUE(text_ink_bounds(tr, c, 0, "MMMM", 30, 400, &x0, nullptr, &x1, nullptr));
    auto lit_x = [&](int y, bool from_right) {
        for (int i = 0; i < 480; i++) {
            int x = from_right ? 479 - i : i;
            if (draw_fixture_pixel(&fx, x, y).r > 128)
                return x;
        }
        return -1;
    };
    EXPECT_NEAR(lit_x(40, false), 240 - w / 2 + x0, 2);
    EXPECT_NEAR(lit_x(120, true), 470 - w + x1 - 1, 2);
}

TEST_F(TextTest, SizesWeightsAndFontNumbersAreClamped)
{
    EXPECT_EQ(width(0, "Wide", 5000), width(0, "Wide", 400));
    EXPECT_GT(width(0, "Wide", 400), 300);
    EXPECT_EQ(width(0, "Wide", 0), width(0, "Wide", 1));
    EXPECT_EQ(width(0, "Wide", NAN), width(0, "Wide", 1));
    EXPECT_EQ(width(0, "Bold text", 30, 50), width(0, "Bold text", 30, 400));
    EXPECT_EQ(width(0, "Bold text", 30, 1000), width(0, "Bold text", 30, 900));
    EXPECT_GT(width(0, "Bold text", 30, 900), width(0, "Bold text", 30, 400));
    EXPECT_EQ(width(7, "chain", 30), width(0, "chain", 30));
    EXPECT_EQ(width(-1, "chain", 30), width(0, "chain", 30));
    // The largest size still draws: the line fits the bitmap limits.
    canvas_begin(c, 0, 0, 1);
    EXPECT_GT(text_draw(tr, c, 0, "Wg", 0, 0, 400, 400, WHITE, 0), 100);
    canvas_end(c);
    EXPECT_TRUE(text_ink_bounds(tr, c, 0, "Wg", 400, 400, nullptr, nullptr, nullptr, nullptr));
}

TEST_F(TextTest, MalformedUtf8ReadsAsReplacementAndInvisiblesTakeNoRoom)
{
    const float rep = width(0, "\xEF\xBF\xBD");
    ASSERT_GT(rep, 0);
    EXPECT_EQ(width(0, "\xFF"), rep);                          // not a lead byte
    EXPECT_EQ(width(0, "\xE2\x82"), 2 * rep);                   // cut short: one each
    EXPECT_EQ(width(0, "a\xC3(b"), width(0, "a\xEF\xBF\xBD(b"));   // bad continuation
    EXPECT_EQ(width(0, "a\xE2\x80\x8D" "b\xEF\xB8\x8F"), width(0, "ab"));   // ZWJ, VS16
    // A code point outside the BMP is drawn as a diamond, never as nothing.
    EXPECT_GT(width(0, "\xF0\x9F\x8E\xB8"), 0);
    canvas_begin(c, 0, 0, 1);
    EXPECT_GT(text_draw(tr, c, 0, "\xF0\x9F\x8E\xB8\xFF", 10, 10, 40, 400, WHITE, 0), 0);
    canvas_end(c);
    EXPECT_TRUE(text_ink_bounds(tr, c, 0, "\xF0\x9F\x8E\xB8", 40, 400, nullptr, nullptr, nullptr, nullptr));
    EXPECT_FALSE(text_font_covers(tr, "\xEF\xB8\x8F"));
    EXPECT_TRUE(text_font_covers(tr, "abc"));
}

TEST_F(TextTest, LineCacheStaysBoundedAndForgetsUnusedLines)
{
    char s[32];
    for (int i = 0; i < 300; i++) {
        snprintf(s, sizeof s, "label %d", i);
        width(0, s);
    }
    EXPECT_EQ(text_renderer_line_count(tr), TEXT_MAX_LINES);
    for (int i = 0; i < TEXT_TRIM_AGE; i++)
        text_renderer_trim(tr);
    EXPECT_EQ(text_renderer_line_count(tr), TEXT_MAX_LINES);
    text_renderer_trim(tr);
    EXPECT_EQ(text_renderer_line_count(tr), 0);
    // A forgotten line is made again when drawn.
    canvas_begin(c, 0, 0, 1);
    EXPECT_GT(text_draw(tr, c, 0, "label 1", 10, 10, 20, 400, WHITE, 0), 0);
    canvas_end(c);
    EXPECT_EQ(text_renderer_line_count(tr), 1);
    text_renderer_clear(tr);
    EXPECT_EQ(text_renderer_line_count(tr), 0);
}

TEST_F(TextTest, FittingCutsWithAnEllipsis)
{
    const char* text = "A rather long take name that cannot fit";
    const float ell = width(0, "\xE2\x80\xA6");
    canvas_begin(c, 0, 0, 1);
    EXPECT_EQ(text_draw_fit(tr, c, 0, "short", 0, 0, 400, 20, 400, WHITE), width(0, "short"));
    float w = text_draw_fit(tr, c, 0, text, 10, 50, 150, 20, 400, WHITE);
    EXPECT_GT(w, ell);
    EXPECT_LE(w, 150);
    EXPECT_EQ(text_draw_fit(tr, c, 0, text, 10, 100, 1, 20, 400, WHITE), ell);
    canvas_end(c);
    read();
    shot();
}

TEST_F(TextTest, MissingDisplayFontsFallBackToTheMonospaceChain)
{
    TextRenderer* bare = text_renderer_create_in(fx.renderer, "/nonexistent/tessel");
    ASSERT_NE(bare, nullptr);
    EXPECT_FALSE(text_renderer_has_display_font(bare, 2));
    EXPECT_FALSE(text_renderer_has_display_font(bare, 3));
    float w1, w2, w3, h;
    text_measure(bare, nullptr, 1, "Fallback", 24, 400, &w1, &h);
    text_measure(bare, nullptr, 2, "Fallback", 24, 400, &w2, &h);
    text_measure(bare, nullptr, 3, "Fallback", 24, 400, &w3, &h);
    EXPECT_GT(w1, 0);
    EXPECT_EQ(w2, w1);
    EXPECT_EQ(w3, w1);
    text_renderer_destroy(bare);
    EXPECT_EQ(text_renderer_create(nullptr), nullptr);
}

TEST_F(TextTest, ScaleChangesRebuildTheCache)
{
    canvas_begin(c, 0, 0, 2);
    float w2 = text_draw(tr, c, 0, "Scaled", 10, 10, 20, 400, WHITE, 0);
    canvas_end(c);
    EXPECT_EQ(text_renderer_line_count(tr), 1);
    float w1 = width(0, "Scaled");   // no canvas: scale 1 empties the cache
    EXPECT_EQ(text_renderer_line_count(tr), 1);
    EXPECT_NEAR(w2, w1, 2);
}
