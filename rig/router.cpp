// router.cpp - the input router (placeholder: the stream runs without a rig).
#include "rig/router.h"

#include <cstring>

RigRouter* rigroute_new(void) { return nullptr; }
void rigroute_free(RigRouter*) {}
void rigroute_publish(RigRouter*, uint32_t, int, float, float, const RigMix*) {}
void rigroute_publish_mix(RigRouter*, const RigMix*, uint32_t, float) {}
void rigroute_publish_off(RigRouter*) {}
void rigroute_take_meters(RigRouter*, RigMeters* out) { if (out) std::memset(out, 0, sizeof *out); }
void rigroute_prepare(RigRouter*, double, int, uint32_t, const RigMix*) {}

void rigroute_mix_block(RigRouter*, const float* const*, const float*, int, float*, float*, int) {}

void rigroute_process_block(RigRouter* r, const float* input, int input_channels,
                            float* out_left, float* out_right, int frames)
{
    if (!out_left || !out_right || frames <= 0)
        return;
    if (r) {
        rigroute_mix_block(r, nullptr, input, input_channels, out_left, out_right, frames);
        return;
    }
    if (!input || input_channels < 1) {
        std::memset(out_left, 0, sizeof(float) * (size_t)frames);
        std::memset(out_right, 0, sizeof(float) * (size_t)frames);
        return;
    }
    int second = input_channels >= 2 ? 1 : 0;
    for (int i = 0; i < frames; i++) {
        out_left[i] = input[(size_t)i * input_channels];
        out_right[i] = input[(size_t)i * input_channels + second];
    }
}
