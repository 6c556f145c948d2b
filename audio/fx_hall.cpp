// fx_hall.cpp - HALL: four damped comb lines in parallel, then two all-passes.
// Threads: audio thread [RT].
#include "audio/fx_dsp.h"

static const float kAllpassGain = 0.5f;

// [RT] Comb feedback 0.3..0.95 (size), damping 0.1..0.9; fully wet.
void fx_hall(FxSlot* s, float p1, float p2)
{
    float g = p1 * 0.65f + 0.3f;
    float d = p2 * 0.8f + 0.1f;
    float in[2] = {s->in_l, s->in_r};
    float sum[2] = {0.0f, 0.0f};
    for (int c = 0; c < FX_COMBS; c++) {
        float* frame = s->reverb_buf + 2 * (s->comb_start[c] + s->comb_pos[c]);
        for (int side = 0; side < 2; side++) {
            float y = frame[side];
            float* damp = &s->comb_damp[2 * c + side];
            *damp = d * *damp + (1.0f - d) * y;
            frame[side] = *damp * g + in[side];
            sum[side] += y;
        }
        if (++s->comb_pos[c] >= s->comb_len[c])
            s->comb_pos[c] = 0;
    }
    float x[2] = {sum[0] * 0.25f, sum[1] * 0.25f};
    for (int a = 0; a < FX_ALLPASSES; a++) {
        float* frame = s->allpass_buf + 2 * (s->ap_start[a] + s->ap_pos[a]);
        for (int side = 0; side < 2; side++) {
            float y = frame[side] - kAllpassGain * x[side];
            frame[side] = x[side] + kAllpassGain * y;
            x[side] = y;
        }
        if (++s->ap_pos[a] >= s->ap_len[a])
            s->ap_pos[a] = 0;
    }
    s->out_l = 2.0f * x[0];
    s->out_r = 2.0f * x[1];
}
