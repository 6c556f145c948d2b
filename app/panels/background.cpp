// background.cpp - view_background: the clear, the backdrop clock with the desktop's
// reduced-motion setting, the tilt, both backdrop scenes with the stars (scene A and
// the stars from a kept layer), the dot field and the glow along the bottom.
#include "app/panels/background.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "audio/engine.h"
#include "platform/plat_motion.h"
#include "ui/backdrop.h"
#include "ui/canvas.h"
#include "ui/drawkit.h"

static const int32_t kDotPitch = 46;
static const int32_t kBucketCapacity = 512;
static const double kSettingPeriod = 2.0;   // seconds of counter between reads

static uint64_t sdl_counter(void)
{
    return SDL_GetPerformanceCounter();
}
static uint64_t sdl_frequency(void)
{
    return SDL_GetPerformanceFrequency();
}

static BackdropClockSource g_source = {sdl_counter, sdl_frequency, plat_animations_enabled};
static uint64_t g_first_stamp;
static uint64_t g_read_stamp;
static bool g_first_taken;
static bool g_read_once;
static bool g_animations = true;

void background_set_clock_source(const BackdropClockSource* source)
{
    g_source = source ? *source : BackdropClockSource{sdl_counter, sdl_frequency, plat_animations_enabled};
    g_first_taken = g_read_once = false;
    g_animations = true;
}

double background_backdrop_clock(AppState* app)
{
    uint64_t now = g_source.counter();
    double freq = (double)g_source.frequency();
    if (!(freq > 0.0))
        freq = 1.0;
    if (!g_first_taken) {
        g_first_stamp = now;
        g_first_taken = true;
    }
    if (!g_read_once || (double)(now - g_read_stamp) / freq > kSettingPeriod) {
        g_animations = g_source.animations_on();
        g_read_stamp = now;
        g_read_once = true;
    }
    if (app)
        app->reduced_motion = g_animations ? 0 : 1;
    return g_animations ? (double)(now - g_first_stamp) / freq + 1.0 : 0.0;
}

int32_t background_draw_dots(SDL_Renderer* r, int32_t w, int32_t h, float level, double t, bool recording)
{
    if (!r)
        return 0;
    static SDL_FRect buckets[4][kBucketCapacity];
    int32_t counts[4] = {0, 0, 0, 0};
    int32_t submitted = 0;
    auto fill = [&](int32_t b) {
        uint8_t v = (uint8_t)(16 * b + 14);
        if (recording)
            SDL_SetRenderDrawColor(r, (uint8_t)(v + 8), (uint8_t)(v / 3), (uint8_t)(v / 2), 255);
        else
            SDL_SetRenderDrawColor(r, v, (uint8_t)(v / 4), (uint8_t)(v / 2 + 4), 255);
        SDL_RenderFillRectsF(r, buckets[b], counts[b]);
        submitted += counts[b];
        counts[b] = 0;
    };
    SDL_SetRenderDrawBlendMode(r, SDL_BLENDMODE_ADD);
    float tf = (float)t;
    for (int32_t y = kDotPitch / 2; y < h; y += kDotPitch) {
        float c = std::cos(0.013f * (float)y - 1.3f * tf);
        for (int32_t x = kDotPitch / 2; x < w; x += kDotPitch) {
            float s = std::sin(0.011f * (float)x + 2.1f * tf);
            float size = (s * c * 0.5f + 0.5f) * (0.9f * level + 0.12f) + 0.14f;
            float d = 3.0f * size + 2.0f;
            int32_t b = std::clamp((int32_t)(4.0f * size), 0, 3);
            buckets[b][counts[b]++] = SDL_FRect{(float)x - d / 2.0f, (float)y - d / 2.0f, d, d};
            // A full bucket is drawn and filled again: in silence nearly every dot
            // lands in one bucket, and a large window holds far more than 512.
            if (counts[b] == kBucketCapacity)
                fill(b);
        }
    }
    for (int32_t b = 0; b < 4; b++)
        if (counts[b] > 0)
            fill(b);
    return submitted;
}

void background_draw_glow(SDL_Renderer* r, int32_t w, int32_t h, float level, bool recording)
{
    if (!r)
        return;
    SDL_SetRenderDrawBlendMode(r, SDL_BLENDMODE_ADD);
    for (int32_t i = 0; i < 3; i++) {
        float band = (0.06f + 0.05f * (float)i) * (float)h * (level + 0.5f);
        uint8_t a = (uint8_t)(10 - 3 * i);
        if (recording)
            SDL_SetRenderDrawColor(r, 235, 66, 77, a);
        else
            SDL_SetRenderDrawColor(r, 255, 0, 128, a);
        SDL_FRect rect{0.0f, (float)h - band, (float)w, band};
        SDL_RenderFillRectF(r, &rect);
    }
}

static void background_clear(SDL_Renderer* r)
{
    SDL_SetRenderDrawBlendMode(r, SDL_BLENDMODE_NONE);
    SDL_SetRenderDrawColor(r, 13, 17, 17, 255);
    SDL_RenderClear(r);
}

static void background_draw_scene(AppState* app, CanvasRect whole, double clock)
{
    backdrop_draw(app->canvas, app->backdrop_colours, whole, 0.0f, 0.0f, clock);
    backdrop_draw_particles(app->canvas, app->backdrop_stars, whole, 0.0f, 0.0f, 1.0f);
}

// Scene A and the stars move slowly: the field drifts about a pixel a second and the
// objects turn slower still, so they are drawn over the clear into a layer the canvas
// keeps and that opaque layer replaces the frame's clear every frame. The layer is
// drawn again when a quarter of a second of clock has passed, the eased tilt has
// moved, the clock stops or starts, or the window's size, the colours or the renderer
// change; with the clock stopped (reduced motion) only the last of these. While the
// tilt moves from frame to frame (the pointer is moving) the layer would be drawn
// every frame and copied as well: the scene is drawn straight into the frame instead,
// and the layer again once the tilt rests. False when the caller is to draw the scene
// itself (no layer can be made, or the tilt is moving).
static const double kKeptScenePeriod = 0.25;   // seconds of clock per redraw
static const float kKeptTiltStep = 0.001f;     // a fiftieth of a pixel of parallax

static bool background_draw_kept(AppState* app, CanvasRect whole, double clock)
{
    static float drawn_colours[2][4];
    static double drawn_clock;
    static float drawn_tilt[2];
    static float last_tilt[2];
    static bool drawn;   // the layer holds a scene (it was not left stale by a moving tilt)
    bool fresh = false;
    CanvasTarget* kept = canvas_kept_layer(app->canvas, 0, (int32_t)whole.w, (int32_t)whole.h, &fresh);
    if (!kept)
        return false;
    backdrop_ease(clock);
    float tilt[2] = {0.0f, 0.0f};
    backdrop_tilt(nullptr, nullptr, &tilt[0], &tilt[1]);
    bool moving =
        std::fabs(tilt[0] - last_tilt[0]) > kKeptTiltStep || std::fabs(tilt[1] - last_tilt[1]) > kKeptTiltStep;
    last_tilt[0] = tilt[0];
    last_tilt[1] = tilt[1];
    if (moving) {
        drawn = false;
        return false;
    }
    bool running = clock > 0.0;
    bool stale = fresh || !drawn || std::memcmp(drawn_colours, app->backdrop_colours, sizeof drawn_colours) != 0 ||
                 running != (drawn_clock > 0.0) || std::fabs(tilt[0] - drawn_tilt[0]) > kKeptTiltStep ||
                 std::fabs(tilt[1] - drawn_tilt[1]) > kKeptTiltStep ||
                 (running && std::fabs(clock - drawn_clock) >= kKeptScenePeriod);
    if (stale) {
        static const float kClear[4] = {13 / 255.0f, 17 / 255.0f, 17 / 255.0f, 1.0f};
        canvas_push_target(app->canvas, kept, kClear);
        background_draw_scene(app, whole, clock);
        canvas_pop_target(app->canvas);
        std::memcpy(drawn_colours, app->backdrop_colours, sizeof drawn_colours);
        drawn_clock = clock;
        drawn_tilt[0] = tilt[0];
        drawn_tilt[1] = tilt[1];
        drawn = true;
    } else {
        backdrop_register(app->backdrop_colours, whole);
    }
    canvas_put_target(app->canvas, kept, 0.0f, 0.0f);
    return true;
}

// The tilt follows the mouse in window pixels while it is over the window.
static void background_tilt(AppState* app, int32_t w, int32_t h)
{
    SDL_Window* focus = SDL_GetMouseFocus();
    if (!app->window || focus != app->window || w <= 0 || h <= 0) {
        backdrop_set_tilt(0.0f, 0.0f);
        return;
    }
    int x = 0, y = 0;
    SDL_GetMouseState(&x, &y);
    backdrop_set_tilt(2.0f * (float)x / (float)w - 1.0f, 2.0f * (float)y / (float)h - 1.0f);
}

void view_background(AppState* app, DrawKit* kit, double t)
{
    if (!app || !kit || !kit->renderer)
        return;
    SDL_Renderer* r = kit->renderer;
    int32_t w = kit->window_w, h = kit->window_h;
    double clock = background_backdrop_clock(app);
    background_tilt(app, w, h);
    CanvasRect whole{0.0f, 0.0f, (float)w, (float)h};
    // The kept layer holds the clear: it covers the whole window.
    if (!app->canvas)
        background_clear(r);
    if (app->canvas) {
        canvas_begin(app->canvas, 0.0f, 0.0f, 1.0f);
        if (!background_draw_kept(app, whole, clock)) {
            background_clear(r);
            background_draw_scene(app, whole, clock);
        }
        canvas_end(app->canvas);
    }
    float level = app->smoothed_level;
    bool recording = app->engine && (app->engine->record.load(std::memory_order_relaxed) ||
                                     app->engine->hold_dub.load(std::memory_order_relaxed));
    background_draw_dots(r, w, h, level, t, recording);
    if (app->canvas) {
        canvas_begin(app->canvas, 0.0f, 0.0f, 1.0f);
        backdrop_draw_variant(app->canvas, app->backdrop_colours, whole, 0.0f, 0.0f, clock);
        canvas_end(app->canvas);
    }
    background_draw_glow(r, w, h, level, recording);
    SDL_SetRenderDrawBlendMode(r, SDL_BLENDMODE_BLEND);
}
