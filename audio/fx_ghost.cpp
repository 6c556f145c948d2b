// fx_ghost.cpp - GHOST: up to eight Hann-windowed grains that play the recent input
// backwards from the moment each starts.
// Threads: audio thread [RT].
#include <cmath>

#include "audio/fx_dsp.h"

static const int32_t kShortestGrain = 48;
static const int32_t kLongestGrain = FX_GRAIN_FRAMES / 2;

// [RT] Grain size 10..500 ms, density 1..8 grains per grain length.
void fx_ghost(FxSlot* s, float p1, float p2)
{
    int32_t len = (int32_t)((p1 * 0.49f + 0.01f) * FX_RATE);
    len = len < kShortestGrain ? kShortestGrain : len > kLongestGrain ? kLongestGrain : len;
    float density = p2 * 7.0f + 1.0f;
    float* line = s->grain_buf;
    line[2 * s->grain_w] = s->in_l;
    line[2 * s->grain_w + 1] = s->in_r;

    // When all eight voices play, this grain is skipped and the countdown starts over,
    // so grains keep their spacing instead of bunching up as voices free.
    if (--s->grain_countdown < 1) {
        for (FxGrainVoice& v : s->grains) {
            if (!v.active) {
                v = FxGrainVoice{s->grain_w, len, 0, 1};
                break;
            }
        }
        int32_t every = len / (int32_t)density;
        s->grain_countdown = every > 1 ? every : 1;
    }

    float l = 0.0f, r = 0.0f;
    int sounding = 0;
    for (FxGrainVoice& v : s->grains) {
        if (!v.active)
            continue;
        int32_t at = v.start - v.age;
        if (at < 0)
            at += s->grain_len;
        float w = (1.0f - std::cos(FX_TWO_PI * (float)v.age / (float)v.length)) * 0.5f;
        l += w * line[2 * at];
        r += w * line[2 * at + 1];
        sounding++;
        if (++v.age >= v.length)
            v.active = 0;
    }
    if (sounding >= 2) {
        l /= (float)sounding;
        r /= (float)sounding;
    }
    s->out_l = l;
    s->out_r = r;
    if (++s->grain_w >= s->grain_len)
        s->grain_w = 0;
}
