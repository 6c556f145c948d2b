// draw_probe.cpp - gtest helpers over the drawing fixture.
#include "support/draw_probe.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#ifndef TESSEL_SHOTS_DIR
#define TESSEL_SHOTS_DIR "shots"
#endif
#ifndef TESSEL_SOURCE_ROOT
#define TESSEL_SOURCE_ROOT "."
#endif

void DrawTest::SetUp()
{
    char err[256] = "";
    ASSERT_TRUE(draw_fixture_open(&fx, width, height, err, sizeof err)) << err;
}

void DrawTest::TearDown()
{
    draw_fixture_close(&fx);
}

void DrawTest::read()
{
    ASSERT_TRUE(draw_fixture_read(&fx)) << SDL_GetError();
}

void DrawTest::shot(const char* suffix)
{
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    if (suffix)
        name += std::string("-") + suffix;
    std::error_code ec;
    std::filesystem::create_directories(TESSEL_SHOTS_DIR, ec);
    std::string path = std::string(TESSEL_SHOTS_DIR) + "/" + name + ".bmp";
    EXPECT_TRUE(draw_fixture_save_bmp(&fx, path.c_str())) << path << ": " << SDL_GetError();
}

// The largest difference of the R, G and B channels.
static int draw_rgb_distance(DrawPixel a, DrawPixel b)
{
    return std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
}

::testing::AssertionResult draw_probe(const DrawFixture* fx, int32_t x, int32_t y, DrawPixel expected, int tol)
{
    DrawPixel p = draw_fixture_pixel(fx, x, y);
    if (draw_rgb_distance(p, expected) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is (" << (int)p.r << ", "
                                         << (int)p.g << ", " << (int)p.b << "), expected (" << (int)expected.r
                                         << ", " << (int)expected.g << ", " << (int)expected.b << ") +-" << tol;
}

DrawPixel draw_pixel_rgb(uint8_t r, uint8_t g, uint8_t b)
{
    return DrawPixel{r, g, b, 255};
}

static uint8_t draw_channel(float v)
{
    return (uint8_t)std::lround(std::clamp(v, 0.0f, 255.0f));
}

DrawPixel draw_expect_blend(DrawPixel dst, DrawPixel src)
{
    float a = src.a / 255.0f;
    return DrawPixel{draw_channel(src.r * a + dst.r * (1 - a)), draw_channel(src.g * a + dst.g * (1 - a)),
                     draw_channel(src.b * a + dst.b * (1 - a)), 255};
}

DrawPixel draw_expect_add(DrawPixel dst, DrawPixel src)
{
    float a = src.a / 255.0f;
    return DrawPixel{draw_channel(dst.r + src.r * a), draw_channel(dst.g + src.g * a),
                     draw_channel(dst.b + src.b * a), 255};
}

// The actual picture and a diff beside the test binary.
static void draw_write_mismatch(const DrawFixture* fx, SDL_Surface* golden, int tol, const std::string& stem)
{
    char* base = SDL_GetBasePath();
    std::string dir = base ? base : "";
    SDL_free(base);
    draw_fixture_save_bmp(fx, (dir + stem + ".actual.bmp").c_str());
    SDL_Surface* diff = SDL_CreateRGBSurfaceWithFormat(0, fx->width, fx->height, 24, SDL_PIXELFORMAT_RGB24);
    if (!diff)
        return;
    for (int32_t y = 0; y < fx->height; ++y) {
        for (int32_t x = 0; x < fx->width; ++x) {
            DrawPixel a = draw_fixture_pixel(fx, x, y);
            bool bad = draw_rgb_distance(a, draw_surface_pixel(golden, x, y)) > tol;
            uint8_t* d = (uint8_t*)diff->pixels + (size_t)y * diff->pitch + (size_t)x * 3;
            uint8_t grey = (uint8_t)((a.r + a.g + a.b) / 12);
            d[0] = bad ? 255 : grey;
            d[1] = bad ? 0 : grey;
            d[2] = bad ? 0 : grey;
        }
    }
    SDL_SaveBMP(diff, (dir + stem + ".diff.bmp").c_str());
    SDL_FreeSurface(diff);
}

::testing::AssertionResult draw_match_golden(const DrawFixture* fx, const char* rel_path, int tol,
                                             double max_fraction)
{
    const char* src = getenv("TESSEL_SOURCE_DIR");
    if (!src || !*src)
        src = TESSEL_SOURCE_ROOT;
    std::string path = std::string(src) + "/" + rel_path;
    const char* update = getenv("UPDATE_GOLDENS");
    if (update && strcmp(update, "1") == 0) {
        if (!draw_fixture_save_bmp(fx, path.c_str()))
            return ::testing::AssertionFailure() << "cannot write golden " << path << ": " << SDL_GetError();
        printf("golden written: %s\n", path.c_str());
        return ::testing::AssertionSuccess();
    }
    SDL_Surface* loaded = SDL_LoadBMP(path.c_str());
    if (!loaded)
        return ::testing::AssertionFailure() << "no golden " << path << " (make it with UPDATE_GOLDENS=1)";
    SDL_Surface* golden = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(loaded);
    if (!golden)
        return ::testing::AssertionFailure() << "cannot convert golden " << path;
    if (golden->w != fx->width || golden->h != fx->height) {
        ::testing::AssertionResult r = ::testing::AssertionFailure()
                                       << "golden " << path << " is " << golden->w << " x " << golden->h
                                       << ", picture is " << fx->width << " x " << fx->height;
        SDL_FreeSurface(golden);
        return r;
    }
    int64_t beyond = 0;
    int worst = 0;
    for (int32_t y = 0; y < fx->height; ++y) {
        for (int32_t x = 0; x < fx->width; ++x) {
            int d = draw_rgb_distance(draw_fixture_pixel(fx, x, y), draw_surface_pixel(golden, x, y));
            worst = std::max(worst, d);
            if (d > tol)
                ++beyond;
        }
    }
    double fraction = (double)beyond / ((double)fx->width * fx->height);
    if (fraction <= max_fraction) {
        SDL_FreeSurface(golden);
        return ::testing::AssertionSuccess();
    }
    std::string stem = std::filesystem::path(rel_path).stem().string();
    draw_write_mismatch(fx, golden, tol, stem);
    SDL_FreeSurface(golden);
    return ::testing::AssertionFailure() << beyond << " pixels (" << fraction * 100 << " %) differ from " << path
                                         << " by more than " << tol << " (worst " << worst << "); wrote " << stem
                                         << ".actual.bmp and " << stem << ".diff.bmp beside the test binary";
}

bool draw_box_has(const DrawFixture* fx, int x0, int y0, int x1, int y1, DrawPixel want)
{
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++)
            if (draw_probe(fx, x, y, want))
                return true;
    return false;
}

std::vector<int> draw_row_hits(const DrawFixture* fx, int x0, int x1, int y, DrawPixel want)
{
    std::vector<int> xs;
    for (int x = x0; x <= x1; x++)
        if (draw_probe(fx, x, y, want))
            xs.push_back(x);
    return xs;
}
