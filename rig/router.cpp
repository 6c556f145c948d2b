// router.cpp - the router's life, its preparation for a stream, the meter snapshot and
// the callback's entry (with the straight copy used when there is no router).
// Threads: rigroute_new/free/take_meters: UI thread; rigroute_prepare: UI thread while
//          no stream runs; rigroute_process_block: audio thread [RT].
#include <cstddef>
#include <cstring>
#include <new>

#include "platform/plat_mem.h"
#include "rig/router_internal.h"

static_assert(offsetof(RigRouter, input_peak) % 64 == 0, "meters start a cache line");

// ---------------------------------------------------------------------------
// Life
// ---------------------------------------------------------------------------

RigRouter* rigroute_new(void)
{
    void* mem = plat_aligned_alloc(alignof(RigRouter), sizeof(RigRouter));
    if (!mem)
        return nullptr;
    RigRouter* r = new (mem) RigRouter();
    r->sample_rate = 48000.0;
    r->initial_ramp = 960;
    r->one_second = 48000;
    r->last_taken = UINT64_MAX;
    r->silent = 1;
    r->prev_silent = 1;
    r->silent_state.store(1, std::memory_order_relaxed);
    return r;
}

void rigroute_free(RigRouter* r)
{
    if (!r)
        return;
    r->~RigRouter();
    plat_aligned_free(r);
}

int32_t rigroute_ramp_frames(double seconds, double sample_rate)
{
    if (!(seconds > 0.0))
        seconds = 0.02;
    if (seconds > 10.0)
        seconds = 10.0;
    double frames = seconds * sample_rate + 0.5;
    if (!(frames >= 1.0))
        return 1;
    if (frames >= (double)RIGROUTE_MAX_RAMP)
        return RIGROUTE_MAX_RAMP;
    return (int32_t)frames;
}

// ---------------------------------------------------------------------------
// Preparing for a stream
// ---------------------------------------------------------------------------

void rigroute_prepare(RigRouter* r, double sample_rate, int channels, uint32_t stream_tag,
                      const RigMix* fallback)
{
    if (!r)
        return;
    if (!(sample_rate > 0.0) || sample_rate > 1e7)
        sample_rate = 48000.0;
    r->sample_rate = sample_rate;
    r->stream_tag = stream_tag;
    r->channels = channels < 1 ? 1 : channels > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : channels;

    double initial = sample_rate * 0.02 + 0.5;
    r->initial_ramp = initial < 1.0 ? 1 : initial > (double)RIGROUTE_MAX_RAMP ? RIGROUTE_MAX_RAMP : (int32_t)initial;
    double second = sample_rate + 0.5;
    r->one_second = second > 2147483647.0 ? 2147483647 : (int32_t)second;

    std::memset(r->ramp, 0, sizeof r->ramp);
    std::memset(&r->master_ramp, 0, sizeof r->master_ramp);
    std::memset(r->fallback_left, 0, sizeof r->fallback_left);
    std::memset(r->fallback_right, 0, sizeof r->fallback_right);
    r->fallback_master = 0.0f;
    r->has_fallback = 0;
    if (fallback) {
        int count = fallback->channels < 0 ? 0 : fallback->channels > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : fallback->channels;
        for (int c = 0; c < count; c++) {
            float gl = fallback->left[c], gr = fallback->right[c];
            r->fallback_left[c] = rigroute_non_finite(gl) ? 0.0f : gl;
            r->fallback_right[c] = rigroute_non_finite(gr) ? 0.0f : gr;
        }
        r->fallback_master = rigroute_non_finite(fallback->master) ? 0.0f : fallback->master;
        r->has_fallback = 1;
    }

    r->last_taken = UINT64_MAX;
    r->silent = 1;
    r->fallback_in_use = 0;
    r->not_off = 1;
    r->first_ramp_pending = 1;
    r->prev_silent = 1;
    r->prev_fallback = 0;
    r->fallback_timer = 0;
    const auto rl = std::memory_order_relaxed;
    r->meter_channels.store((uint32_t)r->channels, rl);
    r->meter_tag.store(stream_tag, rl);
    r->silent_state.store(1, rl);
    r->fallback_state.store(0, rl);
}

// ---------------------------------------------------------------------------
// Meters
// ---------------------------------------------------------------------------

void rigroute_take_meters(RigRouter* r, RigMeters* out)
{
    if (!out)
        return;
    std::memset(out, 0, sizeof *out);
    if (!r)
        return;
    const auto ar = std::memory_order_acq_rel;
    const auto rl = std::memory_order_relaxed;
    out->channels = (int32_t)r->meter_channels.load(rl);
    out->stream_tag = r->meter_tag.load(rl);
    for (int c = 0; c < RIG_MAX_INPUTS; c++) {
        out->input_peak[c] = r->input_peak[c].exchange(0.0f, ar);
        out->post_peak[c] = r->post_peak[c].exchange(0.0f, ar);
    }
    out->clip_mask = r->clip_mask.exchange(0, ar);
    out->bad_mask = r->bad_mask.exchange(0, ar);
    out->bus_peak_left = r->bus_peak_left.exchange(0.0f, ar);
    out->bus_peak_right = r->bus_peak_right.exchange(0.0f, ar);
    out->bus_clip = r->bus_clip.exchange(0, ar) ? 1 : 0;
    out->silent = r->silent_state.load(rl) ? 1 : 0;
    out->fallback_in_use = r->fallback_state.load(rl) ? 1 : 0;
    out->blocks = r->blocks.load(rl);
    out->bad_samples = r->bad_samples.load(rl);
}

// ---------------------------------------------------------------------------
// The callback's entry
// ---------------------------------------------------------------------------

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
