// draw_fixture.cpp - the offscreen GL renderer for drawing tests and picture tools.
#include <cstdlib>
#include "support/draw_fixture.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

static SDL_Window* draw_window = nullptr;
static SDL_Renderer* draw_renderer = nullptr;

static bool draw_fixture_fail(DrawFixture* fx, char* err, size_t err_cap, const char* what)
{
    if (err && err_cap)
        snprintf(err, err_cap, "%s: %s", what, SDL_GetError());
    draw_fixture_close(fx);
    return false;
}

// The process's window and renderer, made on first use.
static bool draw_fixture_start(char* err, size_t err_cap)
{
    if (draw_renderer)
        return true;
    // Mesa's software rasteriser draws on this thread and keeps no shader cache: no
    // worker threads come and go under the sanitizers, nothing lands in ~/.cache.
    setenv("LP_NUM_THREADS", "0", 0);
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
    SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "offscreen", SDL_HINT_OVERRIDE);
    SDL_SetHintWithPriority(SDL_HINT_RENDER_DRIVER, "opengl", SDL_HINT_OVERRIDE);
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0)
        return draw_fixture_fail(nullptr, err, err_cap, "offscreen video driver");
    if (!draw_window)
        draw_window = SDL_CreateWindow("tessel drawing test", 0, 0, 64, 64, SDL_WINDOW_HIDDEN | SDL_WINDOW_OPENGL);
    if (!draw_window)
        return draw_fixture_fail(nullptr, err, err_cap, "offscreen window");
    SDL_Renderer* r = SDL_CreateRenderer(draw_window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_TARGETTEXTURE);
    if (!r)
        return draw_fixture_fail(nullptr, err, err_cap, "opengl renderer");
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(r, &info) != 0) {
        SDL_DestroyRenderer(r);
        return draw_fixture_fail(nullptr, err, err_cap, "renderer info");
    }
    if (strcmp(info.name, "opengl") != 0 || !(info.flags & SDL_RENDERER_ACCELERATED)) {
        if (err && err_cap)
            snprintf(err, err_cap, "renderer is \"%s\" (flags 0x%x), not the accelerated opengl one",
                     info.name, (unsigned)info.flags);
        SDL_DestroyRenderer(r);
        return false;
    }
    draw_renderer = r;
    return true;
}

bool draw_fixture_open(DrawFixture* fx, int32_t width, int32_t height, char* err, size_t err_cap)
{
    *fx = DrawFixture{};
    if (!draw_fixture_start(err, err_cap))
        return false;
    fx->window = draw_window;
    fx->renderer = draw_renderer;
    fx->width = width;
    fx->height = height;
    SDL_SetWindowSize(draw_window, width, height);
    fx->target = SDL_CreateTexture(fx->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, width, height);
    if (!fx->target)
        return draw_fixture_fail(fx, err, err_cap, "target texture");
    if (SDL_SetRenderTarget(fx->renderer, fx->target) != 0)
        return draw_fixture_fail(fx, err, err_cap, "bind target");
    SDL_RenderSetScale(fx->renderer, 1, 1);
    SDL_RenderSetViewport(fx->renderer, nullptr);
    SDL_RenderSetClipRect(fx->renderer, nullptr);
    fx->pixels = SDL_CreateRGBSurfaceWithFormat(0, width, height, 32, SDL_PIXELFORMAT_ARGB8888);
    if (!fx->pixels)
        return draw_fixture_fail(fx, err, err_cap, "read-back surface");
    draw_fixture_clear(fx, 0, 0, 0);
    return true;
}

void draw_fixture_close(DrawFixture* fx)
{
    if (!fx)
        return;
    if (fx->pixels)
        SDL_FreeSurface(fx->pixels);
    if (fx->target) {
        SDL_SetRenderTarget(fx->renderer, nullptr);
        SDL_DestroyTexture(fx->target);
    }
    *fx = DrawFixture{};
}

void draw_fixture_clear(DrawFixture* fx, uint8_t r, uint8_t g, uint8_t b)
{
    SDL_SetRenderDrawBlendMode(fx->renderer, SDL_BLENDMODE_NONE);
    SDL_SetRenderDrawColor(fx->renderer, r, g, b, 255);
    SDL_RenderClear(fx->renderer);
}

bool draw_fixture_read(DrawFixture* fx)
{
    if (!fx || !fx->renderer || !fx->pixels)
        return false;
    return SDL_RenderReadPixels(fx->renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, fx->pixels->pixels,
                                fx->pixels->pitch) == 0;
}

DrawPixel draw_surface_pixel(const SDL_Surface* s, int32_t x, int32_t y)
{
    if (!s || x < 0 || y < 0 || x >= s->w || y >= s->h)
        return DrawPixel{0, 0, 0, 0};
    uint32_t p;
    memcpy(&p, (const uint8_t*)s->pixels + (size_t)y * s->pitch + (size_t)x * 4, 4);
    return DrawPixel{(uint8_t)(p >> 16), (uint8_t)(p >> 8), (uint8_t)p, (uint8_t)(p >> 24)};
}

DrawPixel draw_fixture_pixel(const DrawFixture* fx, int32_t x, int32_t y)
{
    return draw_surface_pixel(fx ? fx->pixels : nullptr, x, y);
}

bool draw_fixture_save_bmp(const DrawFixture* fx, const char* path)
{
    if (!fx || !fx->pixels || !path)
        return false;
    SDL_Surface* rgb = SDL_ConvertSurfaceFormat(fx->pixels, SDL_PIXELFORMAT_RGB24, 0);
    if (!rgb)
        return false;
    bool ok = SDL_SaveBMP(rgb, path) == 0;
    SDL_FreeSurface(rgb);
    return ok;
}
