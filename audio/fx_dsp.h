// fx_dsp.h - the per-frame bodies of the built-in effects and their shared helpers
// (internal to the fx module: only fx_*.cpp include it).
// Threads: audio thread [RT], all of it.
// Each body reads the slot's input frame (in_l, in_r) and the smoothed knobs p1, p2
// and writes the slot's output frame (out_l, out_r). Arithmetic is 32-bit float
// throughout, at the design rate of 48 kHz.
// Depends on: fx.h.
#pragma once
#include <cstdint>

#include "audio/fx.h"

constexpr float FX_RATE = 48000.0f;
constexpr float FX_PI = 3.14159265358979f;
constexpr float FX_TWO_PI = 6.28318530717959f;

// Advances a phase in cycles, wrapping by one once it reaches 1.
static inline void fx_phase_step(float* phase, float step)
{
    *phase += step;
    if (*phase >= 1.0f)
        *phase -= 1.0f;
}

// Reads an interleaved stereo line at a fractional delay d (1 <= d < len) behind
// the write index, interpolating linearly between the two neighbouring frames.
static inline void fx_read_frac(const float* line, int32_t len, int32_t w, float d, float* l,
                                float* r)
{
    int32_t k = (int32_t)d;
    float f = d - (float)k;
    int32_t a = w - k;
    if (a < 0)
        a += len;
    int32_t b = a - 1;
    if (b < 0)
        b += len;
    *l = (1.0f - f) * line[2 * a] + f * line[2 * b];
    *r = (1.0f - f) * line[2 * a + 1] + f * line[2 * b + 1];
}

// fx_filters.cpp
float fx_biquad(const float c[5], float state[4], float x);   // direct form I, one side
void fx_filter(FxSlot* s, bool high, float p1, float p2);    // HIPASS / LOPASS
void fx_phaser(FxSlot* s, float p1, float p2);
void fx_radio(FxSlot* s, float p1, float p2);

// fx_time.cpp
void fx_delay(FxSlot* s, float p1, float p2);
void fx_chorus(FxSlot* s, float p1, float p2);
void fx_flanger(FxSlot* s, float p1, float p2);
void fx_wobble(FxSlot* s, float p1, float p2);

// fx_misc.cpp
void fx_grit(FxSlot* s, float p1, float p2);
void fx_crush(FxSlot* s, float p1, float p2);
void fx_chopper(FxSlot* s, float p1, float p2);
void fx_ring(FxSlot* s, float p1, float p2);

// fx_hall.cpp
void fx_hall(FxSlot* s, float p1, float p2);

// fx_ghost.cpp
void fx_ghost(FxSlot* s, float p1, float p2);
