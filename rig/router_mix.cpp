// router_mix.cpp - the callback's side: taking a publication, gain ramps, the fallback
// to the device's default mix, mixing the channels into the bus and the meters.
// Threads: audio thread only [RT]: nothing here allocates, locks or waits.
#include <cmath>
#include <cstring>

#include "rig/router_internal.h"

// GCC's ThreadSanitizer does not model standalone fences and warns about each. Every
// payload field is an atomic of its own, so the sanitizer has nothing to miss here;
// the fences order the fields for the hardware.
#if defined(__SANITIZE_THREAD__) && defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wtsan"
#endif

// ---------------------------------------------------------------------------
// Helpers
// ---------------------------------------------------------------------------

// Raises an atomic maximum; the UI resets it by exchange.
static inline void meter_max(std::atomic<float>* m, float v)
{
    float cur = m->load(std::memory_order_relaxed);
    while (v > cur && !m->compare_exchange_weak(cur, v, std::memory_order_relaxed))
    {
    }
}

// Plain maxima (the values are finite): they compile to single instructions, where
// std::fmax must handle NaN.
static inline float max2(float a, float b)
{
    return a > b ? a : b;
}

static inline float max3(float a, float b, float c)
{
    float m = a > b ? a : b;
    return m > c ? m : c;
}

// A sample with the exponent bits all ones plays as 0 and is counted.
static inline float scrub_sample(float x, uint32_t* nbad)
{
    bool bad = rigroute_non_finite(x);
    *nbad += bad;
    return bad ? 0.0f : x;
}

// ---------------------------------------------------------------------------
// Taking a publication
// ---------------------------------------------------------------------------

void rigroute_take_published(RigRouter* r)
{
    const auto rl = std::memory_order_relaxed;
    uint64_t s1 = r->seq.load(std::memory_order_acquire);
    if ((s1 & 1) != 0 || s1 == r->last_taken)
        return;
    uint32_t tag = r->tag.load(rl);
    uint32_t off = r->off.load(rl);
    float master = r->master.load(rl);
    float ramp_seconds = r->ramp_seconds.load(rl);
    int channels = r->channels;
    for (int c = 0; c < channels; c++) {
        r->taken[c][0] = r->pair[c][0].load(rl);
        r->taken[c][1] = r->pair[c][1].load(rl);
    }
    std::atomic_thread_fence(std::memory_order_acquire);
    if (r->seq.load(rl) != s1)
        return;

    r->last_taken = s1;
    bool active = off == 0 && tag != 0 && tag == r->stream_tag;
    int32_t frames = rigroute_ramp_frames(ramp_seconds, r->sample_rate);
    if (r->first_ramp_pending) {
        r->first_ramp_pending = 0;
        if (frames > r->initial_ramp)
            frames = r->initial_ramp;
    }
    for (int c = 0; c < channels; c++) {
        if (active)
            rigroute_set_ramp(&r->ramp[c], r->taken[c][0], r->taken[c][1], frames);
        else
            rigroute_set_ramp(&r->ramp[c], 0.0f, 0.0f, frames);
    }
    float m = active ? master : 0.0f;
    rigroute_set_ramp(&r->master_ramp, m, m, frames);
    r->silent = active ? 0 : 1;
    r->fallback_in_use = 0;
    r->fallback_timer = 0;
    r->not_off = off == 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Ramps
// ---------------------------------------------------------------------------

void rigroute_set_ramp(RigRamp* rp, float left, float right, int32_t frames)
{
    if (rp->len == 0 && left == rp->cur_l && right == rp->cur_r) {
        rp->target_l = left;
        rp->target_r = right;
        return;
    }
    if (rp->len > 0 && left == rp->target_l && right == rp->target_r)
        return;
    rp->target_l = left;
    rp->target_r = right;
    if (left == rp->cur_l && right == rp->cur_r) {
        rp->pos = 0;
        rp->len = 0;
        return;
    }
    rp->start_l = rp->cur_l;
    rp->start_r = rp->cur_r;
    rp->pos = 0;
    rp->len = frames > 1 ? frames : 1;
    rp->step_l = (left - rp->cur_l) / (float)rp->len;
    rp->step_r = (right - rp->cur_r) / (float)rp->len;
}

// The gains after one more frame of a running ramp; the last frame lands exactly on
// the target and ends the ramp.
static inline void ramp_step(RigRamp* rp)
{
    int32_t pos = ++rp->pos;
    if (pos >= rp->len) {
        rp->cur_l = rp->target_l;
        rp->cur_r = rp->target_r;
        rp->pos = 0;
        rp->len = 0;
        return;
    }
    rp->cur_l = rp->start_l + (float)pos * rp->step_l;
    rp->cur_r = rp->start_r + (float)pos * rp->step_r;
}

void rigroute_advance_ramp(RigRamp* rp, int32_t frames)
{
    if (rp->len == 0 || frames <= 0)
        return;
    if (frames >= rp->len - rp->pos) {
        rp->cur_l = rp->target_l;
        rp->cur_r = rp->target_r;
        rp->pos = 0;
        rp->len = 0;
        return;
    }
    rp->pos += frames;
    rp->cur_l = rp->start_l + (float)rp->pos * rp->step_l;
    rp->cur_r = rp->start_r + (float)rp->pos * rp->step_r;
}

// ---------------------------------------------------------------------------
// One channel, the master
// ---------------------------------------------------------------------------

void rigroute_mix_input(RigRamp* rp, const float* samples, int stride, float* out_left,
                        float* out_right, int first, int end, float* peak, float* largest,
                        uint32_t* bad)
{
    float pk = *peak, lg = *largest;
    uint32_t nbad = 0;
    int i = first;
    while (i < end && rp->len > 0) {
        // The frames before the ramp's last one, in locals: the bus stores could
        // otherwise alias the ramp's fields and force a reload per sample.
        int32_t pos = rp->pos;
        int k = rp->len - 1 - pos;
        if (k > end - i)
            k = end - i;
        if (k > 0) {
            const float sl = rp->start_l, sr = rp->start_r, dl = rp->step_l, dr = rp->step_r;
            float gl = 0.0f, gr = 0.0f;
            lg = max3(lg, std::fabs(sl + (float)(pos + 1) * dl), std::fabs(sr + (float)(pos + 1) * dr));
            for (int j = 0; j < k; j++, i++) {
                pos++;
                gl = sl + (float)pos * dl;
                gr = sr + (float)pos * dr;
                float x = scrub_sample(samples[(size_t)i * (size_t)stride], &nbad);
                pk = max2(pk, std::fabs(x));
                out_left[i] += x * gl;
                out_right[i] += x * gr;
            }
            // A linear glide is largest at one of its ends.
            lg = max3(lg, std::fabs(gl), std::fabs(gr));
            rp->pos = pos;
            rp->cur_l = gl;
            rp->cur_r = gr;
        }
        if (i < end && rp->pos == rp->len - 1) {
            ramp_step(rp);
            float x = scrub_sample(samples[(size_t)i * (size_t)stride], &nbad);
            pk = max2(pk, std::fabs(x));
            lg = max3(lg, std::fabs(rp->cur_l), std::fabs(rp->cur_r));
            out_left[i] += x * rp->cur_l;
            out_right[i] += x * rp->cur_r;
            i++;
        }
    }
    if (i < end) {
        const float gl = rp->cur_l, gr = rp->cur_r;
        if (gl != 0.0f || gr != 0.0f) {
            lg = max3(lg, std::fabs(gl), std::fabs(gr));
            for (; i < end; i++) {
                float x = scrub_sample(samples[(size_t)i * (size_t)stride], &nbad);
                pk = max2(pk, std::fabs(x));
                out_left[i] += x * gl;
                out_right[i] += x * gr;
            }
        } else {
            // Muted: only scanned for the meters.
            for (; i < end; i++) {
                float x = scrub_sample(samples[(size_t)i * (size_t)stride], &nbad);
                pk = max2(pk, std::fabs(x));
            }
        }
    }
    *peak = pk;
    *largest = lg;
    *bad += nbad;
}

void rigroute_apply_master(RigRamp* rp, float* left, float* right, int first, int end,
                           uint32_t* bad, float* peak_left, float* peak_right)
{
    float pl = *peak_left, pr = *peak_right;
    uint32_t nbad = 0;
    for (int i = first; i < end; i++) {
        if (rp->len > 0)
            ramp_step(rp);
        float g = rp->cur_l;
        float l = g * left[i], r = g * right[i];
        if (rigroute_non_finite(l)) {
            l = 0.0f;
            nbad++;
        }
        if (rigroute_non_finite(r)) {
            r = 0.0f;
            nbad++;
        }
        left[i] = l;
        right[i] = r;
        pl = max2(pl, std::fabs(l));
        pr = max2(pr, std::fabs(r));
    }
    *peak_left = pl;
    *peak_right = pr;
    *bad += nbad;
}

// ---------------------------------------------------------------------------
// One block
// ---------------------------------------------------------------------------

void rigroute_mix_block(RigRouter* r, const float* const* channel_ptrs, const float* interleaved,
                        int input_channels, float* out_left, float* out_right, int frames)
{
    if (!r || !out_left || !out_right || frames <= 0)
        return;
    const auto rl = std::memory_order_relaxed;
    int n = frames;
    rigroute_take_published(r);

    // One second of silence with a fallback mix at hand: from frame f on, the
    // device's default mix ramps in.
    bool split = false;
    int f = n;
    if (r->silent && r->not_off && r->has_fallback &&
        (int64_t)r->fallback_timer + n >= (int64_t)r->one_second) {
        split = true;
        int64_t left = (int64_t)r->one_second - (int64_t)r->fallback_timer;
        f = left < 0 ? 0 : (int)left;
    }

    std::memset(out_left, 0, sizeof(float) * (size_t)n);
    std::memset(out_right, 0, sizeof(float) * (size_t)n);

    uint64_t clip = 0, bad_channels = 0;
    uint32_t bad = 0;
    for (int c = 0; c < r->channels; c++) {
        RigRamp* rp = &r->ramp[c];
        const float* src = nullptr;
        int stride = 1;
        if (c < input_channels) {
            if (channel_ptrs)
                src = channel_ptrs[c];
            else if (interleaved) {
                src = interleaved + c;
                stride = input_channels;
            }
        }
        if (!src) {
            rigroute_advance_ramp(rp, f);
            if (split) {
                rigroute_set_ramp(rp, r->fallback_left[c], r->fallback_right[c], r->initial_ramp);
                rigroute_advance_ramp(rp, n - f);
            }
            continue;
        }
        float p = 0.0f, largest = 0.0f;
        uint32_t nbad = 0;
        rigroute_mix_input(rp, src, stride, out_left, out_right, 0, f, &p, &largest, &nbad);
        if (split) {
            rigroute_set_ramp(rp, r->fallback_left[c], r->fallback_right[c], r->initial_ramp);
            rigroute_mix_input(rp, src, stride, out_left, out_right, f, n, &p, &largest, &nbad);
        }
        if (p > 0.0f) {
            meter_max(&r->input_peak[c], p);
            meter_max(&r->post_peak[c], p * largest);
            if (p >= 0.999f)
                clip |= 1ull << c;
        }
        if (nbad) {
            bad_channels |= 1ull << c;
            bad += nbad;
        }
    }

    float bus_l = 0.0f, bus_r = 0.0f;
    rigroute_apply_master(&r->master_ramp, out_left, out_right, 0, f, &bad, &bus_l, &bus_r);
    if (split) {
        rigroute_set_ramp(&r->master_ramp, r->fallback_master, r->fallback_master, r->initial_ramp);
        rigroute_apply_master(&r->master_ramp, out_left, out_right, f, n, &bad, &bus_l, &bus_r);
        r->silent = 0;
        r->fallback_in_use = 1;
        r->fallback_timer = 0;
    } else if (r->silent && r->not_off && r->has_fallback) {
        r->fallback_timer += (uint32_t)n;
    }

    if (clip)
        r->clip_mask.fetch_or(clip, rl);
    if (bad_channels)
        r->bad_mask.fetch_or(bad_channels, rl);
    if (bad)
        r->bad_samples.fetch_add(bad, rl);
    meter_max(&r->bus_peak_left, bus_l);
    meter_max(&r->bus_peak_right, bus_r);
    if (bus_l >= 1.0f || bus_r >= 1.0f)
        r->bus_clip.store(1, rl);
    if (r->silent != r->prev_silent) {
        r->silent_state.store(r->silent, rl);
        r->prev_silent = r->silent;
    }
    if (r->fallback_in_use != r->prev_fallback) {
        r->fallback_state.store(r->fallback_in_use, rl);
        r->prev_fallback = r->fallback_in_use;
    }
    r->blocks.fetch_add(1, rl);
}
