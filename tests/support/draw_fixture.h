// draw_fixture.h - an offscreen GL renderer for drawing tests and picture tools: a
// hidden window on SDL's "offscreen" video driver (Mesa EGL, no X server), the
// "opengl" renderer with batching, a bound target texture, pixel read-back and BMP
// pictures.
// Threads: the thread that opened it.
// Depends on: SDL2 (offscreen video driver), Mesa's EGL and GL drivers.
//
// SDL's software renderer refuses custom blend modes and turns additive geometry
// into a normal blend, so the fixture refuses to open on anything but "opengl"
// rather than let pixel checks compare against a different rasterizer.
//
// The window and renderer are made by the first open and kept until the process
// ends; each open gets a fresh target. Tearing Mesa's EGL down leaks inside the
// driver (LeakSanitizer reports it against unloaded modules) and reloading it costs
// a driver start per test.
#pragma once
#include <cstddef>
#include <cstdint>

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
struct SDL_Surface;

struct DrawPixel {
    uint8_t r, g, b, a;
};

struct DrawFixture {
    SDL_Window* window;      // shared by every fixture of the process, sized to the target
    SDL_Renderer* renderer;  // shared likewise
    SDL_Texture* target;     // ARGB8888, bound as the render target while open
    SDL_Surface* pixels;     // ARGB8888 copy of the target from the last read
    int32_t width, height;
};

// Starts SDL video on the offscreen driver and the renderer (first call only) and
// makes a width x height target, bound and cleared to opaque black, with render
// scale 1 and no clip. False with a message when any step fails or the renderer is
// not the accelerated "opengl" one.
bool draw_fixture_open(DrawFixture* fx, int32_t width, int32_t height, char* err, size_t err_cap);
void draw_fixture_close(DrawFixture* fx);    // frees the target; null or half-open is fine
void draw_fixture_clear(DrawFixture* fx, uint8_t r, uint8_t g, uint8_t b);
// Flushes the renderer and copies the target into fx->pixels.
bool draw_fixture_read(DrawFixture* fx);
// A pixel of the last read; transparent black outside the target.
DrawPixel draw_fixture_pixel(const DrawFixture* fx, int32_t x, int32_t y);
// A pixel of an ARGB8888 surface; transparent black outside it.
DrawPixel draw_surface_pixel(const SDL_Surface* s, int32_t x, int32_t y);
// The last read as a 24-bit BMP (alpha dropped), for a person to look at.
bool draw_fixture_save_bmp(const DrawFixture* fx, const char* path);
