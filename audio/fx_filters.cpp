// fx_filters.cpp - the filter effects: HIPASS and LOPASS biquads, the RADIO band-pass
// with its carrier and noise, and the six-stage PHASER.
// Threads: audio thread [RT].
#include <cmath>

#include "audio/biquad.h"
#include "audio/fx_dsp.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

static const float kRadioCentreW0 = 0.19634955f;   // 2 pi x 1500 Hz / 48 kHz
static const float kRadioNoise = 0.05f;
static const int kPhaserStages = 6;

// ---------------------------------------------------------------------------
// Biquads
// ---------------------------------------------------------------------------

// [RT] state: x1, x2, y1, y2.
float fx_biquad(const float c[5], float st[4], float x)
{
    return biquad_step(c, st, x);
}

// [RT] HIPASS (high) or LOPASS: cutoff 20 Hz..20 kHz, Q 0.5..10. The coefficients are
// remade only when the cutoff moves by more than 1 Hz or Q by more than 0.01.
void fx_filter(FxSlot* s, bool high, float p1, float p2)
{
    float fc = p1 * 19980.0f + 20.0f;
    float q = p2 * 9.5f + 0.5f;
    if (std::fabs(fc - s->last_cutoff) > 1.0f || std::fabs(q - s->last_res) > 0.01f) {
        biquad_pass(FX_TWO_PI * fc / FX_RATE, q, high, s->biquad_c);
        s->last_cutoff = fc;
        s->last_res = q;
    }
    s->out_l = fx_biquad(s->biquad_c, &s->biquad[0], s->in_l);
    s->out_r = fx_biquad(s->biquad_c, &s->biquad[4], s->in_r);
}

// ---------------------------------------------------------------------------
// RADIO
// ---------------------------------------------------------------------------

// [RT] Ring modulation by a 50 Hz..5 kHz carrier, a band-pass at 1.5 kHz of
// 200 Hz..5 kHz bandwidth, and a noise floor that falls as the band widens.
void fx_radio(FxSlot* s, float p1, float p2)
{
    float carrier = std::sin(FX_TWO_PI * s->radio_phase);
    fx_phase_step(&s->radio_phase, (p1 * 4950.0f + 50.0f) / FX_RATE);

    float bw = p2 * 4800.0f + 200.0f;
    if (std::fabs(bw - s->radio_last_bw) > 1.0f) {
        float q = std::fmax(0.1f, 1500.0f / bw);
        float alpha = std::sin(kRadioCentreW0) / (2.0f * q);
        float a0 = 1.0f + alpha;
        float* c = s->radio_c;
        c[0] = alpha / a0;
        c[1] = 0.0f;
        c[2] = -alpha / a0;
        c[3] = -2.0f * std::cos(kRadioCentreW0) / a0;
        c[4] = (1.0f - alpha) / a0;
        s->radio_last_bw = bw;
    }
    float l = fx_biquad(s->radio_c, &s->radio_state[0], s->in_l * carrier);
    float r = fx_biquad(s->radio_c, &s->radio_state[4], s->in_r * carrier);

    s->noise_seed = s->noise_seed * 1664525u + 1013904223u;
    float n = (float)(s->noise_seed >> 16) / 32768.0f - 1.0f;
    float floor = (1.0f - 0.8f * p2) * kRadioNoise * n;
    s->out_l = l + floor;
    s->out_r = r + floor;
}

// ---------------------------------------------------------------------------
// PHASER
// ---------------------------------------------------------------------------

// [RT] Six first-order all-passes per side whose corner sweeps 200 Hz..5 kHz; fully
// wet, no feedback.
void fx_phaser(FxSlot* s, float p1, float p2)
{
    float lfo = std::sin(FX_TWO_PI * s->lfo_phase[0]);
    float depth = p2 * 0.75f + 0.2f;
    float fc = (lfo * 0.5f * depth + 0.5f) * 4800.0f + 200.0f;
    float t = std::tan(FX_PI * fc / FX_RATE);
    float a = (1.0f - t) / (1.0f + t);
    float x = s->in_l;
    for (int i = 0; i < kPhaserStages; i++) {
        float y = s->phaser[i] - a * x;
        s->phaser[i] = a * y + x;
        x = y;
    }
    s->out_l = x;
    x = s->in_r;
    for (int i = kPhaserStages; i < 2 * kPhaserStages; i++) {
        float y = s->phaser[i] - a * x;
        s->phaser[i] = a * y + x;
        x = y;
    }
    s->out_r = x;
    fx_phase_step(&s->lfo_phase[0], (2.0f * p1 + 0.05f) / FX_RATE);
}
