// backdrop.h - the animated scene behind the main view, in device pixels: a noise
// colour field with a few galaxy-like objects (scene A), drifting faceted rocks with
// large bodies, ships, comets and shards (scene B), and 173 drifting star points, all
// shifted by a parallax that follows the mouse.
// Threads: UI thread only (the tilt, clocks and scene B's bodies are process-wide).
// Depends on: ui/canvas.h, ui/hitregion.h.
//
// Every draw goes through the canvas batch (begin/end are the caller's) and allocates
// nothing. All randomness is seeded or hashed, so the same clock gives the same scene
// at every run. The rectangle is the window in device pixels; nothing is drawn unless
// its width and height exceed 1. The clock is in seconds; a clock not above 0 pauses
// the parallax (reduced motion) and snaps the tilt to the middle.
#pragma once
#include <cstdint>

#include "ui/canvas.h"

constexpr int32_t BACKDROP_STAR_COUNT = 173;
constexpr int32_t BACKDROP_GRID_MAX = 96;
constexpr int32_t BACKDROP_COMETS = 3;
constexpr int32_t BACKDROP_TRAIL = 30;
constexpr int32_t BACKDROP_SHARDS = 28;
constexpr int32_t BACKDROP_FLASHES = 4;
constexpr int32_t BACKDROP_LANES = 16;

// Star record: x, y (0..1 of the window), brightness, size (half extent, device
// pixels), depth (drift factor).
using BackdropStar = float[5];

// The hash and noise every layer shares.
uint32_t backdrop_hash32(uint32_t v);
float backdrop_unit(uint32_t v);                                   // (hash32(v) & 0xFFFFFF) / 2^24
float backdrop_noise(float x, float y, uint32_t seed);             // gradient noise, about -1..1
float backdrop_fractal(float x, float y, uint32_t seed, int32_t octaves);

// Seeds the 173 star points in three depth groups (90, 55, 28).
void backdrop_init(BackdropStar* stars);
// Colour A (0.3, 0.76, 0.72, 1) and colour B (0.31, 0.76, 0.97, 1).
void backdrop_default_colors(float colours[2][4]);
// The tilt target, each axis clamped to -1..1; a value that is not a number counts as
// 0 (a NaN would otherwise stick in the eased tilt and blank every parallax for good).
void backdrop_set_tilt(float x, float y);
// The tilt target and the eased tilt (outputs may be null).
void backdrop_tilt(float* target_x, float* target_y, float* current_x, float* current_y);

// The field's grid for a w x h rectangle and the scene scale min(w, h) / 720 within
// 0.6..1.7.
void backdrop_grid(float w, float h, int32_t* cols, int32_t* rows, float* scale);
// Scene A's field colour (RGBA) at sample point (x, y) of the rectangle, drawing
// clock t (seconds, already wrapped), scroll (ox, oy) and colours (null: defaults).
void backdrop_field_color(float x, float y, float ox, float oy, float t, const float (*colours)[4], float out[4]);

// Scene A: the colour field (one small image stretched over the rectangle) and eight
// objects; registers the rectangle as a coloured
// hit region (kind 1, colour B). Eases the tilt.
void backdrop_draw(Canvas* c, const float (*colours)[4], CanvasRect r, float scroll_x, float scroll_y,
                   double clock);
// Eases the tilt toward its target for this clock (a clock not above 0 snaps it to the
// middle and pauses the parallax), as backdrop_draw does first; again with the same
// clock it does nothing. For a frame that shows scene A from a kept picture.
void backdrop_ease(double clock);
// The rectangle as scene A's coloured hit region, as backdrop_draw registers it: for a
// frame that shows scene A from a kept picture instead of drawing it.
void backdrop_register(const float (*colours)[4], CanvasRect r);
// Scene B: two large bodies, six ships, 16 lanes of rocks, and, while the clock runs,
// comets that bend round the rocks and shatter them. Reads the eased tilt.
void backdrop_draw_variant(Canvas* c, const float (*colours)[4], CanvasRect r, float scroll_x, float scroll_y,
                           double clock);
// The star points as white diamonds (normal blending).
void backdrop_draw_particles(Canvas* c, const BackdropStar* stars, CanvasRect r, float drift_x, float drift_y,
                             float opacity);

// What scene B holds now, for tests and the soak.
struct BackdropVariantStats {
    int32_t comets;
    int32_t shards;
    int32_t flashes;
    int32_t longest_trail;
    int32_t spawned;        // spawn attempts so far
    int32_t strikes;        // rocks struck out so far
};
void backdrop_variant_stats(BackdropVariantStats* out);
// Forgets the tilt, the clocks and scene B's moving bodies (a fresh start).
void backdrop_reset(void);
