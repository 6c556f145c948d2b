// particles.h - the main screen's ring of short-lived additive particles.
// Threads: UI thread only.
// Depends on: ui/drawkit.h.
//
// 512 slots reused in ring order: a burst larger than the ring overwrites its own
// oldest particles. Random spread, life and size come from a xorshift32 generator
// kept in the ring, so a ring's sequence is reproducible.
#pragma once
#include <cstdint>

struct DrawKit;

constexpr int32_t PARTICLE_SLOTS = 512;

struct Particle {
    float x, y;          // reference units
    float vx, vy;        // units per second
    float life_left;     // seconds
    float life_total;
    float size;          // side of the square at full life
    uint32_t colour;     // packed (drawkit.h)
    uint8_t active;
};

struct ParticleRing {
    Particle slots[PARTICLE_SLOTS];
    int32_t write_index;   // next slot taken, 0..511
    uint32_t state;        // xorshift32 state; 0 starts from 0x12345
};

// The next generator draw in 0..1 (advances the ring's state).
float particles_random(ParticleRing* ring);
// Starts count particles at x, y: velocity (vx, vy) plus up to +-spread on each axis,
// life and size scaled by 0.5..1.5. Nothing when count < 1, when life is not a
// positive finite number or when size is negative or not a number.
void particles_spawn(ParticleRing* ring, float x, float y, float vx, float vy, float spread,
                     float life, float size, uint32_t colour, int32_t count);
// Ages and moves every active particle: gravity 260 units/s^2 down, drag 1.2/s on vx.
void particles_update(ParticleRing* ring, float dt);
// Every active particle as an additive square that shrinks and fades with its life.
void particles_draw(DrawKit* kit, const ParticleRing* ring);
