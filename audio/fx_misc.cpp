// fx_misc.cpp - the memoryless and gating effects: GRIT, BITCRUSH, CHOPPER and RING.
// Threads: audio thread [RT].
#include <cmath>

#include "audio/fx_dsp.h"

// [RT] tanh drive of 1..30, level-compensated, into a one-pole low-pass of
// 2..20 kHz. The output frame is the low-pass state.
void fx_grit(FxSlot* s, float p1, float p2)
{
    float drive = p1 * 29.0f + 1.0f;
    float w = (p2 * 18000.0f + 2000.0f) * FX_TWO_PI;
    float a = 1.0f / (FX_RATE / w + 1.0f);
    float norm = 1.0f / std::sqrt(drive);
    s->out_l += (std::tanh(drive * s->in_l) * norm - s->out_l) * a;
    s->out_r += (std::tanh(drive * s->in_r) * norm - s->out_r) * a;
}

// [RT] Quantises to 1..16 bits and holds each value for 1..50 frames.
void fx_crush(FxSlot* s, float p1, float p2)
{
    float hold = p2 * 49.0f + 1.0f;
    s->crush_count += 1.0f;
    if (s->crush_count >= hold) {
        s->crush_count -= hold;
        float q = std::exp2(p1 * 15.0f + 1.0f);
        s->crush_l = std::round(q * s->in_l) / q;
        s->crush_r = std::round(q * s->in_r) / q;
    }
    s->out_l = s->crush_l;
    s->out_r = s->crush_r;
}

// [RT] A hard gate at 0.5..20 Hz, open for 10..90 % of each cycle.
void fx_chopper(FxSlot* s, float p1, float p2)
{
    float rate = p1 * 19.5f + 0.5f;
    float duty = p2 * 0.8f + 0.1f;
    bool open = duty > s->chopper_phase;
    s->out_l = open ? s->in_l : 0.0f;
    s->out_r = open ? s->in_r : 0.0f;
    fx_phase_step(&s->chopper_phase, rate / FX_RATE);
}

// [RT] Ring modulation by a 20 Hz..2 kHz carrier that morphs from sine to square.
void fx_ring(FxSlot* s, float p1, float p2)
{
    float f = p1 * 1980.0f + 20.0f;
    float x = std::sin(FX_TWO_PI * s->ring_phase);
    float carrier = (1.0f - p2) * x + p2 * (x >= 0.0f ? 1.0f : -1.0f);
    s->out_l = carrier * s->in_l;
    s->out_r = carrier * s->in_r;
    fx_phase_step(&s->ring_phase, f / FX_RATE);
}
