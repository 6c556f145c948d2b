// draw_probe.h - gtest helpers over the drawing fixture: a test base that opens it,
// colour probes with a tolerance, expected blend results, pictures for a person and
// whole-image goldens.
// Threads: the test's thread.
// Depends on: support/draw_fixture.h, gtest.
//
// Probe rules: look at least 2 px inside filled shapes and away from outlines; work
// out the expected colour from the known background with draw_expect_blend /
// draw_expect_add; allow +-2 per channel (GL rounds).
//
// Goldens are few (use probes and properties first): 24-bit BMPs under the source
// tree, compared per RGB channel with a tolerance and a budget of pixels beyond it.
// On a mismatch the actual picture and a diff (red where beyond the tolerance) are
// written beside the test binary. To refresh after an intended change, run the test
// with UPDATE_GOLDENS=1 in the environment, look at the new picture, and commit it.
// Goldens are read from TESSEL_SOURCE_DIR (ctest sets it), else the source tree the
// test was built from.
#pragma once
#include <vector>
#include <gtest/gtest.h>

#include "support/draw_fixture.h"

// Opens a fixture of width x height before each test and closes it after.
class DrawTest : public ::testing::Test {
protected:
    explicit DrawTest(int32_t w = 640, int32_t h = 1080) : width(w), height(h) {}
    int32_t width;
    int32_t height;
    DrawFixture fx{};
    void SetUp() override;
    void TearDown() override;
    // Reads the target back (fails the test when it cannot).
    void read();
    // Writes the last read to <build>/shots/<Suite>.<Test>[-suffix].bmp.
    void shot(const char* suffix = nullptr);
};

// RGB of the pixel at x, y of the last read within tol of expected.
::testing::AssertionResult draw_probe(const DrawFixture* fx, int32_t x, int32_t y, DrawPixel expected,
                                      int tol = 2);
DrawPixel draw_pixel_rgb(uint8_t r, uint8_t g, uint8_t b);
// Whether any pixel of the box (x0..x1, y0..y1) is within 2 of want.
bool draw_box_has(const DrawFixture* fx, int x0, int y0, int x1, int y1, DrawPixel want);
// The x of every pixel of row y in x0..x1 within 2 of want.
std::vector<int> draw_row_hits(const DrawFixture* fx, int x0, int x1, int y, DrawPixel want);
// Normal blending: src * a + dst * (1 - a).
DrawPixel draw_expect_blend(DrawPixel dst, DrawPixel src);
// Additive blending: dst + src * a, saturated at 255.
DrawPixel draw_expect_add(DrawPixel dst, DrawPixel src);

// Compares the last read with the golden at source-relative path (e.g.
// "tests/ui/goldens/sheet.bmp"): each RGB channel within tol, at most max_fraction of
// the pixels beyond it. With UPDATE_GOLDENS=1 writes the golden instead.
::testing::AssertionResult draw_match_golden(const DrawFixture* fx, const char* rel_path, int tol = 2,
                                             double max_fraction = 0.002);
