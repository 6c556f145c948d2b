// backdrop_internal.h - what the backdrop's source files share: the process-wide
// scene state and the two shapes both scenes draw (soft ellipse, faceted polygon).
// Threads: UI thread only.
// Depends on: ui/backdrop.h.
#pragma once
#include <cstdint>

#include "ui/backdrop.h"

struct BackdropComet {
    uint8_t live;
    float x, y, vx, vy;
    float trail_x[BACKDROP_TRAIL], trail_y[BACKDROP_TRAIL];   // [0] newest
    int32_t trail_count;
    float trail_timer;
};

struct BackdropShard {
    uint8_t live;
    float x, y, vx, vy;
    float size, spin, life, age;
    float shade;            // the lane's draw r: the rock's colours
    uint32_t key;
};

struct BackdropFlash {
    uint8_t live;
    float x, y, age;
};

struct BackdropState {
    float origin_x, origin_y;             // the rectangle's corner of the last draw
    float target_x, target_y;             // tilt target, -1..1
    float tilt_x, tilt_y;                 // eased tilt
    double last_clock_a;
    uint8_t paused;
    double last_clock_b;
    int64_t generation[BACKDROP_LANES];   // the crossing each lane showed last
    uint8_t hidden[BACKDROP_LANES];       // struck out for the rest of its crossing
    BackdropComet comets[BACKDROP_COMETS];
    float spawn_countdown;
    uint32_t spawn_counter;
    uint32_t draw_counter;                // feeds the run-time draws
    BackdropShard shards[BACKDROP_SHARDS];
    BackdropFlash flashes[BACKDROP_FLASHES];
    int32_t strikes;
};

BackdropState* backdrop_state(void);
// A run-time draw in 0..1 from the next value of the draw counter.
float backdrop_next_draw(uint32_t salt);
// Unit draw number n of a key.
inline float backdrop_draw_of(uint32_t key, uint32_t n)
{
    return backdrop_unit(key + n * 0x632BE5ABu);
}

// A fan of 16 quadrilaterals from the centre (full colour) to the rim (alpha 0);
// nothing when alpha <= 0.002 or a radius <= 0.3.
void backdrop_soft_ellipse(Canvas* c, float cx, float cy, float rx, float ry, float angle, const float* colour);
// A faceted polygon of 3..14 sides, each face shaded between dark and light by the
// direction of its edge; nothing below 3 sides, radius <= 0.4 or alpha <= 0.003.
void backdrop_faceted(Canvas* c, uint32_t key, float cx, float cy, float radius, int32_t sides, float rotation,
                      float jag, const float* dark, const float* light, float alpha);
inline float backdrop_clampf(float v, float lo, float hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}
// Objects of scene A (backdrop_objects.cpp).
void backdrop_draw_objects(Canvas* c, float w, float h, float s, float t, float scroll_x, float scroll_y,
                           float par_x, float par_y);
