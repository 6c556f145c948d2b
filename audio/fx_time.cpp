// fx_time.cpp - the line-based effects: DELAY, CHORUS, FLANGER and WOBBLE.
// Threads: audio thread [RT].
#include <cmath>

#include "audio/fx_dsp.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

static const float kLineLimit = 4.0f;          // the delay line's clamp
static const float kChorusCentre = 720.0f;     // half the modulation line
static const float kWobbleLongest = 1438.0f;

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

static inline float clampf(float x, float lo, float hi)
{
    return x < lo ? lo : x > hi ? hi : x;
}

static inline void mod_write(FxSlot* s, float l, float r)
{
    s->mod_buf[2 * s->mod_w] = l;
    s->mod_buf[2 * s->mod_w + 1] = r;
}

static inline void mod_read_advance(FxSlot* s, float d)
{
    fx_read_frac(s->mod_buf, s->mod_len, s->mod_w, d, &s->out_l, &s->out_r);
    if (++s->mod_w >= s->mod_len)
        s->mod_w = 0;
}

// ---------------------------------------------------------------------------
// Effects
// ---------------------------------------------------------------------------

// [RT] Echoes at 2 ms..1.5 s with feedback up to 0.95; the output holds no direct
// sound. The line is clamped to +-4 so loud input cannot run away.
void fx_delay(FxSlot* s, float p1, float p2)
{
    float time = p1 * 1.498f + 0.002f;
    int32_t d = (int32_t)(time * FX_RATE);
    d = d < 1 ? 1 : d > FX_DELAY_FRAMES ? FX_DELAY_FRAMES : d;
    float g = p2 * 0.95f;
    int32_t r = s->delay_w - d;
    if (r < 0)
        r += s->delay_len;
    float* line = s->delay_buf;
    s->out_l = line[2 * r];
    s->out_r = line[2 * r + 1];
    line[2 * s->delay_w] = clampf(s->out_l * g + s->in_l, -kLineLimit, kLineLimit);
    line[2 * s->delay_w + 1] = clampf(s->out_r * g + s->in_r, -kLineLimit, kLineLimit);
    if (++s->delay_w >= s->delay_len)
        s->delay_w = 0;
}

// [RT] A delay of 15 ms swept by a 0.1..5 Hz sine.
void fx_chorus(FxSlot* s, float p1, float p2)
{
    float rate = p1 * 4.9f + 0.1f;
    float depth = p2 * 0.7f + 0.05f;
    mod_write(s, s->in_l, s->in_r);
    float d = std::fmax(1.0f, std::sin(FX_TWO_PI * s->lfo_phase[0]) * kChorusCentre * depth +
                                  kChorusCentre);
    mod_read_advance(s, d);
    fx_phase_step(&s->lfo_phase[0], rate / FX_RATE);
}

// [RT] A 0.5..7 ms delay swept by a 0.1..3.1 Hz sine, with feedback up to 0.9.
void fx_flanger(FxSlot* s, float p1, float p2)
{
    float rate = p1 * 3.0f + 0.1f;
    float g = p2 * 0.9f;
    mod_write(s, s->in_l + g * s->out_l, s->in_r + g * s->out_r);
    float ms = (std::sin(FX_TWO_PI * s->lfo_phase[0]) * 0.5f + 0.5f) * 6.5f + 0.5f;
    mod_read_advance(s, ms * FX_RATE / 1000.0f);
    fx_phase_step(&s->lfo_phase[0], rate / FX_RATE);
}

// [RT] A slow pitch wobble: a 10-frame delay moved by three unrelated sines.
void fx_wobble(FxSlot* s, float p1, float p2)
{
    float rate = p1 * 14.9f + 0.1f;
    float depth = p2 * 0.02f;
    mod_write(s, s->in_l, s->in_r);
    float m = std::sin(FX_TWO_PI * s->lfo_phase[0]) * 0.5f +
              std::sin(FX_TWO_PI * s->lfo_phase[1]) * 0.3f +
              std::sin(FX_TWO_PI * s->lfo_phase[2]) * 0.2f;
    mod_read_advance(s, clampf(m * depth * 200.0f + 10.0f, 1.0f, kWobbleLongest));
    fx_phase_step(&s->lfo_phase[0], rate / FX_RATE);
    fx_phase_step(&s->lfo_phase[1], rate * FX_PI / FX_RATE);
    fx_phase_step(&s->lfo_phase[2], rate * 0.31831f / FX_RATE);
}
