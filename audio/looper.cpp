// looper.cpp - the real-time looper callback: input bus, gate, instrument, effect
// patches, requests, record and overdub under the ramp, forward and reverse playback,
// monitoring, soft clipper, hooks, meters and counters; the fades that keep the
// transport, the monitor and the pads from clicking; and the UI's loop operations.
// Threads: engine_audio_callback and everything marked [RT]: audio thread; loop_*: UI.
// The callback never allocates, locks, waits, logs or touches files.
#include "audio/looper.h"

#include <cmath>
#include <cstring>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "audio/engine.h"
#include "audio/fx.h"
#include "audio/vst.h"
#include "platform/plat_rt.h"
#include "platform/plat_time.h"
#include "rig/router.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

static const float kGateRise = 0.1f;
static const float kGateFall = 0.0002f;
static const float kGateOpen = 0.05f;
static const float kGateClose = 0.0004f;
static const float kRampCoef = 0.0015f;
static const float kRampWriteLevel = 0.0005f;
static const float kClipLevel = 0.999f;
static const float kMeterDecay = 0.85f;
// Stop, play, clear, the monitor, a turn of direction, a seek, a load and the pads
// reach the output over this time (240 frames at 48 kHz) instead of at once.
static const double kFadeSeconds = 0.005;
static const int kHoldWaitMs = 200;
// Run-outs that fade their whole way; a change beyond them ends the oldest tail early.
static const int kLongRunouts = ENGINE_RUNOUTS / 2;

static inline bool is_finite(float x)
{
    return std::isfinite(x);
}

static inline void scrub(float* buf, int n)
{
    for (int i = 0; i < n; i++)
        if (!is_finite(buf[i]))
            buf[i] = 0.0f;
}

float engine_softclip(float x)
{
    if (!is_finite(x))
        return x != x ? 0.0f : (x > 0 ? 1.0f : -1.0f);
    float a = std::fabs(x);
    if (a <= 2.0f / 3.0f)
        return x;
    if (a >= 4.0f / 3.0f)
        return x > 0 ? 1.0f : -1.0f;
    float t = (4.0f / 3.0f - a) / (2.0f / 3.0f);
    float y = 1.0f - t * t / 3.0f;
    return x > 0 ? y : -y;
}

// ---------------------------------------------------------------------------
// Glides
// ---------------------------------------------------------------------------

// A pad's value moving through one block in a straight line: frame i takes
// from + step * (i + 1), so the block's last frame has reached where it was heading,
// at most rate per frame away from where the block began.
struct Glide {
    float from, step;
};

static inline float glide_at(Glide g, int i)
{
    return g.from + g.step * (float)(i + 1);
}

static Glide glide_plan(float* value, float target, float rate, int n)
{
    float from = *value, limit = rate * (float)n, d = target - from;
    d = d > limit ? limit : d < -limit ? -limit : d;
    *value = from + d;
    return {from, d / (float)n};
}

// A transport share fading toward its target by exactly rate per frame, whatever the
// block size, so that two fades started together stay in step.
struct Fade {
    float to, left, dir, rate;
};

static inline float fade_at(Fade f, int i)
{
    return f.to - f.dir * std::fmax(f.left - f.rate * (float)(i + 1), 0.0f);
}

static Fade fade_plan(float* value, float target, float rate, int n)
{
    float d = target - *value;
    Fade f = {target, std::fabs(d), d < 0.0f ? -1.0f : 1.0f, rate};
    *value = fade_at(f, n - 1);
    return f;
}

// The share of a fading read: an S curve over the linear fade, so that two reads
// crossing (x and 1 - x) add up to one and neither starts or ends with a corner.
static inline float fade_shape(float x)
{
    return x * x * (3.0f - 2.0f * x);
}

// ---------------------------------------------------------------------------
// Effect patches
// ---------------------------------------------------------------------------

bool fxpatch_process(Engine* e, int first_slot, float* left, float* right, int frames)
{
    // The engine's bypass fades each built-in effect out to the dry signal and back in
    // when it ends, as a change of effect type does; plug-ins are left out at once.
    bool bypassed = e->fx_bypass.load(std::memory_order_relaxed) != 0;
    bool ran = false;
    for (int s = first_slot; s < first_slot + 2 && s < ENGINE_SLOTS; s++) {
        FxSlot* slot = &e->slots[s];
        if (slot->bypass.load(std::memory_order_relaxed))
            continue;
        VstPlugin* plugin = slot->plugin.load(std::memory_order_seq_cst);
        if (plugin) {
            if (bypassed)
                continue;
            vst_process(plugin, left, right, frames);
            scrub(left, frames);
            scrub(right, frames);
            ran = true;
            continue;
        }
        if (!fx_update(slot, bypassed))
            continue;
        ran = true;
        for (int i = 0; i < frames; i++) {
            fx_mix(slot, &left[i], &right[i], 1.0f);
            fx_process_frame(slot);
        }
    }
    return ran;
}

// ---------------------------------------------------------------------------
// The callback
// ---------------------------------------------------------------------------

// What the callback reads from the UI once per block.
struct BlockSettings {
    bool monitor, recording, playing, reversed, fx_bypass, player_to_input;
    float gain, pan, gate_threshold, wet_dry, crossfade;
    VstPlugin* instrument;
    EngineRenderHook hook;
    void* hook_ctx;
    EngineOutputTap tap;
    void* tap_ctx;
};

static void read_settings(Engine* e, BlockSettings* s)
{
    const auto rl = std::memory_order_relaxed;
    s->monitor = e->monitor.load(rl) != 0;
    s->recording = e->record.load(rl) != 0 || e->hold_dub.load(rl) != 0;
    s->playing = e->playing.load(rl) != 0;
    s->reversed = e->reversed.load(rl) != 0;
    s->fx_bypass = e->fx_bypass.load(rl) != 0;
    s->player_to_input = e->player_to_input.load(rl) != 0;
    s->gain = e->gain.load(rl);
    s->pan = e->pan.load(rl);
    s->gate_threshold = e->gate_threshold.load(rl);
    s->wet_dry = e->wet_dry.load(rl);
    s->crossfade = e->crossfade.load(rl);
    if (!is_finite(s->gain))
        s->gain = 0.0f;
    if (!is_finite(s->pan))
        s->pan = 0.0f;
    s->pan = s->pan < -1.0f ? -1.0f : s->pan > 1.0f ? 1.0f : s->pan;
    if (!is_finite(s->wet_dry))
        s->wet_dry = 1.0f;
    if (!is_finite(s->crossfade))
        s->crossfade = 1.0f;
    if (!is_finite(s->gate_threshold))
        s->gate_threshold = 0.0f;
    s->instrument = e->instrument.load(std::memory_order_seq_cst);
    // seq_cst pairs with the UI's clearing store (engine_clear_render_hook).
    s->hook = e->render_hook.load(std::memory_order_seq_cst);
    s->hook_ctx = e->render_hook_ctx.load(rl);
    s->tap = e->output_tap.load(std::memory_order_seq_cst);
    s->tap_ctx = e->output_tap_ctx.load(rl);
}

static void run_gate(Engine* e, float threshold, int n)
{
    float env = e->gate_envelope, g = e->gate_gain;
    float* L = e->bus_left;
    float* R = e->bus_right;
    for (int i = 0; i < n; i++) {
        float x = std::fmax(std::fabs(L[i]), std::fabs(R[i]));
        env += (x - env) * (x > env ? kGateRise : kGateFall);
        float target = env > threshold ? 1.0f : 0.0f;
        g += (target - g) * (target > g ? kGateOpen : kGateClose);
        L[i] *= g;
        R[i] *= g;
    }
    e->gate_envelope = env;
    e->gate_gain = g;
}

// The patches' mix into the bus, with crossfade x and wet/dry w.
template <bool kMoving>
static void mix_patches(Engine* e, Glide crossfade, Glide wet_dry, int n)
{
    for (int i = 0; i < n; i++) {
        float x = kMoving ? glide_at(crossfade, i) : crossfade.from;
        float w = kMoving ? glide_at(wet_dry, i) : wet_dry.from;
        float l = e->bus_left[i], r = e->bus_right[i];
        e->bus_left[i] = l + ((e->patch_a_left[i] * x + e->patch_b_left[i] * (1.0f - x)) - l) * w;
        e->bus_right[i] = r + ((e->patch_a_right[i] * x + e->patch_b_right[i] * (1.0f - x)) - r) * w;
    }
}

static void run_patches(Engine* e, bool bypassed, Glide crossfade, Glide wet_dry, int n)
{
    size_t bytes = sizeof(float) * (size_t)n;
    std::memcpy(e->patch_a_left, e->bus_left, bytes);
    std::memcpy(e->patch_a_right, e->bus_right, bytes);
    std::memcpy(e->patch_b_left, e->bus_left, bytes);
    std::memcpy(e->patch_b_right, e->bus_right, bytes);
    bool ran = fxpatch_process(e, 0, e->patch_a_left, e->patch_a_right, n);
    ran = fxpatch_process(e, 2, e->patch_b_left, e->patch_b_right, n) || ran;
    if (bypassed && !ran)
        return;   // every effect has faded out: the bus passes as it is
    if (crossfade.step != 0.0f || wet_dry.step != 0.0f)
        mix_patches<true>(e, crossfade, wet_dry, n);
    else
        mix_patches<false>(e, crossfade, wet_dry, n);
    scrub(e->bus_left, n);
    scrub(e->bus_right, n);
}

void loop_close_first_pass(Engine* e, int32_t* pos, int32_t* len)
{
    if (*pos > (int32_t)(e->sample_rate * 0.1)) {
        *len = *pos;
        e->loop_set_count.fetch_add(1, std::memory_order_relaxed);
    } else {
        // A dropped take leaves nothing behind: no fade-out tail is written.
        e->record_ramp = 0.0f;
    }
    *pos = 0;
}

// One-shot requests, in their fixed order. Returns true when the loop was emptied.
static bool take_requests(Engine* e, int32_t* pos, int32_t* len)
{
    const auto rl = std::memory_order_relaxed;
    bool cleared = false;
    // Each request is taken by one exchange, so one the UI raises meanwhile is kept.
    if (e->clear_request.exchange(0, rl)) {
        cleared = true;
        *pos = 0;
        *len = 0;
        e->first_pass_was_recording = 0;
        e->record_ramp = 0.0f;
        e->content_generation.fetch_add(1, rl);
    }
    int32_t want = e->length_request.exchange(0, std::memory_order_acq_rel);
    if (want > 0) {
        *len = want < ENGINE_LOOP_CAPACITY ? want : ENGINE_LOOP_CAPACITY;
        if (*pos >= *len)
            *pos = 0;
        e->first_pass_was_recording = 0;
        e->loop_set_count.fetch_add(1, rl);
        e->content_generation.fetch_add(1, rl);
    }
    int32_t seek = e->seek_request.exchange(-1, rl);
    if (seek >= 0) {
        int32_t last = (*len > 1 ? *len : 1) - 1;
        *pos = seek > last ? last : seek;
    }
    int32_t shortest = (int32_t)(e->sample_rate * 0.1);
    if (e->close_request.exchange(0, rl)) {
        if (*len == 0 && *pos > shortest) {
            *len = *pos;
            *pos = 0;
            e->loop_set_count.fetch_add(1, rl);
        }
    }
    if (*len == 0 && *pos >= ENGINE_LOOP_CAPACITY) {
        *len = ENGINE_LOOP_CAPACITY;
        *pos = 0;
        e->loop_set_count.fetch_add(1, rl);
    }
    return cleared;
}

// ---------------------------------------------------------------------------
// Fades of the transport
// ---------------------------------------------------------------------------

static inline bool runout_running(const EngineRunout* ro)
{
    return ro->gain > 0.0f || ro->ramp > kRampWriteLevel;
}

static inline float runout_left(const EngineRunout* ro)
{
    return std::fmax(ro->gain, ro->ramp);
}

// Hands a read heard at gain, and a record ramp still writing, to an idle run-out.
// Nothing when neither is heard nor written. Only changes faster than the ramp's tenth
// of a second keep more than kLongRunouts busy: the one of those with least left is
// then taken over, its tail falling to nothing over the fade (rate per frame) where it
// is, so neither the loop nor the output is cut. Changes quicker than blocks of 60
// frames can still use every run-out up; the one nearest its end then stops.
static void runout_start(Engine* e, int32_t pos, int32_t len, int32_t step, float gain, float ramp, float rate)
{
    if (gain <= 0.0f && ramp <= kRampWriteLevel)
        return;
    EngineRunout* idle = nullptr;
    EngineRunout* least = nullptr;    // the long run-out with least left
    EngineRunout* ending = nullptr;   // the ending one with least left
    int longs = 0;
    for (EngineRunout& r : e->runouts) {
        if (!runout_running(&r)) {
            idle = idle ? idle : &r;
            continue;
        }
        bool taken = r.fall > 0.0f;
        EngineRunout** pick = taken ? &ending : &least;
        if (!*pick || runout_left(&r) < runout_left(*pick))
            *pick = &r;
        longs += taken ? 0 : 1;
    }
    if (longs >= kLongRunouts)
        least->fall = std::fmax(least->ramp, kRampWriteLevel) * rate;
    EngineRunout* ro = idle ? idle : ending ? ending : least;
    *ro = EngineRunout{pos < len ? pos : 0, len, step, gain, ramp, 0.0f};
}

static void runouts_end(Engine* e)
{
    for (EngineRunout& ro : e->runouts)
        ro.gain = ro.ramp = 0.0f;
}

static bool runouts_heard(const EngineRunout* ro)
{
    for (int i = 0; i < ENGINE_RUNOUTS; i++)
        if (ro[i].gain > 0.0f)
            return true;
    return false;
}

// The transport's changes, seen at the block's start (pos0 and len0 are where the
// previous block left the loop, pos and len where the requests put it). A stop, a
// clear, a turn of direction and a jump of the position (a seek, or a length that cut
// the loop short before it) hand the old read to a run-out, which fades it out while
// the new playback fades in; playing again starts where the position stands.
static void transport_changes(Engine* e, const BlockSettings* s, int32_t pos0, int32_t len0, int32_t pos,
                              int32_t len, bool cleared, float rate)
{
    // A first take is written forwards whichever way the transport points.
    int32_t old_step = len0 == 0 || !e->was_reversed ? 1 : -1;
    int32_t new_step = len == 0 || !s->reversed ? 1 : -1;
    float heard = e->glide_play;   // the old read's share of the output
    if (pos0 != e->left_position || len0 != e->left_length) {
        // The UI replaced the loop: nothing runs on in it, playback fades in afresh,
        // and no ramp of the old loop's recording writes into the new one.
        runouts_end(e);
        e->record_ramp = 0.0f;
        e->glide_play = 0.0f;
        heard = 0.0f;
    }

    if (cleared) {
        for (EngineRunout& ro : e->runouts)
            ro.ramp = 0.0f;   // the loop they wrote into is gone
        if (len0 > 0)
            runout_start(e, pos0, len0, old_step, heard, 0.0f, rate);
        e->glide_play = 0.0f;
    } else if (e->was_playing && len > 0 && (!s->playing || new_step != old_step || (len0 > 0 && pos != pos0))) {
        // A stop, a turn, a jump, or a first take closing into reversed playback: the
        // old read fades out, and the record ramp's tail goes on into the loop the old
        // way from where it was (from the start of a first take it closes, which
        // cross-fades the take's seam as recording off would). A layer recorded on
        // after a turn or a jump starts under a rising ramp. Nothing of a first take
        // was heard from the loop yet.
        if (len0 > 0)
            runout_start(e, pos0, len0, old_step, heard, e->record_ramp, rate);
        else
            runout_start(e, pos, len, old_step, 0.0f, e->record_ramp, rate);
        e->record_ramp = 0.0f;
        e->glide_play = 0.0f;
    }
    e->was_playing = s->playing ? 1 : 0;
    e->was_reversed = s->reversed ? 1 : 0;
}

// [RT] One frame of the run-out: reads (and under its ramp writes) the loop at its
// place, adds what it reads to the output under its falling share and moves on.
static inline bool runout_frame(EngineRunout* ro, float* loopL, float* loopR, float inL, float inR, float rate,
                                float* outL, float* outR)
{
    int32_t at = ro->position;
    float oldL = loopL[at], oldR = loopR[at];
    bool wrote = false;
    ro->ramp = ro->fall > 0.0f ? std::fmax(ro->ramp - ro->fall, 0.0f) : ro->ramp - ro->ramp * kRampCoef;
    if (ro->ramp > kRampWriteLevel) {
        loopL[at] = oldL + inL * ro->ramp;
        loopR[at] = oldR + inR * ro->ramp;
        wrote = true;
    }
    ro->gain = std::fmax(ro->gain - rate, 0.0f);
    float share = fade_shape(ro->gain);
    *outL += oldL * share;
    *outR += oldR * share;
    at += ro->step;
    ro->position = at < 0 ? ro->length - 1 : at >= ro->length ? 0 : at;
    return wrote;
}

// What one block's frames work with, and what they gather.
struct FrameWork {
    Glide gain_l, gain_r;   // input gain with the pan's share, per side
    Fade monitor, play;     // shares of the monitored input and of loop playback
    float rate;             // fade per frame
    float target;           // record ramp target
    float ramp;
    int32_t pos, len;
    EngineRunout ro[ENGINE_RUNOUTS];
    int live;               // run-outs from the first up to the last one running
    float in_peak;
    bool in_clip, out_clip, wrote;
    uint32_t wraps;
};

// [RT] The block's frames: input, meters, record and overdub, playback, the run-out and
// the clipper. Without kMoving every gain and share holds still over the block and no
// run-out runs, the common case, which then costs no more than before the fades.
template <bool kMoving>
static void run_frames(Engine* e, const BlockSettings* s, FrameWork* w, float* out, int n, bool held)
{
    const bool hook_to_input = s->hook && s->player_to_input;
    const bool playing = !held && s->playing, reversed = s->reversed;
    float in_peak = 0.0f;
    bool in_clip = false, out_clip = false, wrote = false;
    uint32_t wraps = 0;
    float ramp = w->ramp, target = w->target;
    int32_t pos = w->pos, len = w->len;
    float* loopL = e->loop_left;
    float* loopR = e->loop_right;
    const float still_l = w->gain_l.from, still_r = w->gain_r.from;
    const float still_heard = w->monitor.to, still_share = fade_shape(w->play.to);

    for (int i = 0; i < n; i++) {
        float inL = e->bus_left[i] * (kMoving ? glide_at(w->gain_l, i) : still_l);
        float inR = e->bus_right[i] * (kMoving ? glide_at(w->gain_r, i) : still_r);
        if (hook_to_input) {
            inL += e->hook_left[i];
            inR += e->hook_right[i];
        }
        if (!is_finite(inL))
            inL = 0.0f;
        if (!is_finite(inR))
            inR = 0.0f;
        float peak = std::fmax(std::fabs(inL), std::fabs(inR));
        if (peak > in_peak)
            in_peak = peak;
        if (peak >= kClipLevel)
            in_clip = true;
        float heard = kMoving ? fade_at(w->monitor, i) : still_heard;
        float outL = inL * heard, outR = inR * heard;
        if (!held) {
            ramp += (target - ramp) * kRampCoef;
            for (int r = 0; kMoving && r < w->live; r++)
                if (runout_running(&w->ro[r]))
                    wrote |= runout_frame(&w->ro[r], loopL, loopR, inL, inR, w->rate, &outL, &outR);
        }
        if (playing) {
            if (len > 0) {
                float oldL = loopL[pos], oldR = loopR[pos];
                if (ramp > kRampWriteLevel) {
                    loopL[pos] = oldL + inL * ramp;
                    loopR[pos] = oldR + inR * ramp;
                    wrote = true;
                }
                float share = kMoving ? fade_shape(fade_at(w->play, i)) : still_share;
                outL += oldL * share;
                outR += oldR * share;
                if (reversed) {
                    if (--pos < 0) {
                        pos = len - 1;
                        wraps++;
                    }
                } else if (++pos >= len) {
                    pos = 0;
                    wraps++;
                }
            } else {
                if (ramp > kRampWriteLevel && pos < ENGINE_LOOP_CAPACITY) {
                    loopL[pos] = inL * ramp;
                    loopR[pos] = inR * ramp;
                    pos++;
                    wrote = true;
                }
            }
        }
        outL = engine_softclip(outL);
        outR = engine_softclip(outR);
        if (std::fmax(std::fabs(outL), std::fabs(outR)) >= kClipLevel)
            out_clip = true;
        out[2 * i] = outL;
        out[2 * i + 1] = outR;
    }
    w->ramp = ramp;
    w->pos = pos;
    w->in_peak = in_peak;
    w->in_clip = in_clip;
    w->out_clip = out_clip;
    w->wrote = wrote;
    w->wraps = wraps;
}

// ---------------------------------------------------------------------------
// One block
// ---------------------------------------------------------------------------

// The input gain with the pan's share of one side.
static float input_side_gain(const BlockSettings* s, bool right)
{
    return s->gain * (right ? 1.0f + std::fmin(s->pan, 0.0f) : 1.0f - std::fmax(s->pan, 0.0f));
}

// Processes up to ENGINE_MAX_BLOCK frames. Held: the UI writes the loop. Fading: the UI
// is about to, and the loop's playback fades out meanwhile.
static void process_block(Engine* e, const float* input, float* out, int n, bool held, bool fading)
{
    const auto rl = std::memory_order_relaxed;
    BlockSettings s;
    read_settings(e, &s);
    if (!e->glides_primed) {
        e->glides_primed = 1;
        e->glide_gain_l = input_side_gain(&s, false);
        e->glide_gain_r = input_side_gain(&s, true);
        e->glide_wet_dry = s.wet_dry;
        e->glide_crossfade = s.crossfade;
        e->glide_monitor = s.monitor ? 1.0f : 0.0f;
        e->glide_play = s.playing ? 1.0f : 0.0f;
        e->was_playing = s.playing ? 1 : 0;
        e->was_reversed = s.reversed ? 1 : 0;
        e->left_position = e->position.load(rl);
        e->left_length = e->length.load(rl);
    }
    double fade_frames = e->sample_rate * kFadeSeconds;
    const float rate = fade_frames > 1.0 ? (float)(1.0 / fade_frames) : 1.0f;   // per frame
    Glide crossfade = glide_plan(&e->glide_crossfade, s.crossfade, rate, n);
    Glide wet_dry = glide_plan(&e->glide_wet_dry, s.wet_dry, rate, n);
    Fade monitor = fade_plan(&e->glide_monitor, s.monitor ? 1.0f : 0.0f, rate, n);
    // Each side's gain glides, not gain and pan apart: their product would move twice
    // as fast when both change.
    Glide gain_l = glide_plan(&e->glide_gain_l, input_side_gain(&s, false), rate, n);
    Glide gain_r = glide_plan(&e->glide_gain_r, input_side_gain(&s, true), rate, n);

    // Input bus.
    if (input) {
        rigroute_process_block(e->router, input, e->input_channels, e->bus_left, e->bus_right, n);
        scrub(e->bus_left, n);
        scrub(e->bus_right, n);
    } else {
        std::memset(e->bus_left, 0, sizeof(float) * (size_t)n);
        std::memset(e->bus_right, 0, sizeof(float) * (size_t)n);
    }

    if (s.gate_threshold > 0.0f)
        run_gate(e, s.gate_threshold, n);

    if (s.instrument) {
        std::memset(e->patch_a_left, 0, sizeof(float) * (size_t)n);
        std::memset(e->patch_a_right, 0, sizeof(float) * (size_t)n);
        vst_process(s.instrument, e->patch_a_left, e->patch_a_right, n);
        scrub(e->patch_a_left, n);
        scrub(e->patch_a_right, n);
        for (int i = 0; i < n; i++) {
            e->bus_left[i] += e->patch_a_left[i];
            e->bus_right[i] += e->patch_a_right[i];
        }
    }

    // Always run: under the FX bypass the effects still fade out to the dry bus.
    run_patches(e, s.fx_bypass, crossfade, wet_dry, n);

    int32_t pos = 0, len = 0;
    float target = 0.0f;
    if (!held) {
        pos = e->position.load(rl);
        len = e->length.load(rl);
        int32_t pos0 = pos, len0 = len;
        bool cleared = take_requests(e, &pos, &len);

        bool first_pass = len == 0 && s.recording && s.playing;
        target = s.recording && s.playing ? 1.0f : 0.0f;
        if (len == 0 && e->first_pass_was_recording && !first_pass)
            loop_close_first_pass(e, &pos, &len);
        e->first_pass_was_recording = first_pass ? 1 : 0;
        if (len > 0 && pos >= len)
            pos = 0;
        transport_changes(e, &s, pos0, len0, pos, len, cleared, rate);
    } else {
        // The UI is writing the loop: nothing runs on in it, and playback comes back
        // through its fade.
        runouts_end(e);
        e->glide_play = 0.0f;
    }
    Fade play = fade_plan(&e->glide_play, !held && !fading && s.playing ? 1.0f : 0.0f, rate, n);

    if (s.hook) {
        std::memset(e->hook_left, 0, sizeof(float) * (size_t)n);
        std::memset(e->hook_right, 0, sizeof(float) * (size_t)n);
        s.hook(s.hook_ctx, e->hook_left, e->hook_right, n, e->sample_rate);
        scrub(e->hook_left, n);
        scrub(e->hook_right, n);
    }

    FrameWork w = {gain_l, gain_r, monitor, play, rate, target, held ? 0.0f : e->record_ramp, pos, len};
    std::memcpy(w.ro, e->runouts, sizeof w.ro);
    w.live = 0;
    for (int r = 0; r < ENGINE_RUNOUTS; r++)
        if (runout_running(&w.ro[r]))
            w.live = r + 1;
    bool moving = gain_l.step != 0.0f || gain_r.step != 0.0f || monitor.left != 0.0f || play.left != 0.0f ||
                  w.live > 0;
    if (moving)
        run_frames<true>(e, &s, &w, out, n, held);
    else
        run_frames<false>(e, &s, &w, out, n, held);
    pos = w.pos;
    if (!held) {
        e->record_ramp = w.ramp;
        std::memcpy(e->runouts, w.ro, sizeof w.ro);
    }

    // The preview is heard on the output unless the monitored input already carries
    // it; as the monitor fades, the preview's own share fades the other way.
    bool preview_monitored = s.player_to_input && monitor.to == 1.0f && monitor.left == 0.0f;
    if (s.hook && !preview_monitored) {
        if (s.player_to_input && monitor.left != 0.0f) {
            for (int i = 0; i < n; i++) {
                float share = 1.0f - fade_at(monitor, i);
                out[2 * i] = engine_softclip(out[2 * i] + e->hook_left[i] * share);
                out[2 * i + 1] = engine_softclip(out[2 * i + 1] + e->hook_right[i] * share);
            }
        } else {
            for (int i = 0; i < n; i++) {
                out[2 * i] = engine_softclip(out[2 * i] + e->hook_left[i]);
                out[2 * i + 1] = engine_softclip(out[2 * i + 1] + e->hook_right[i]);
            }
        }
    }

    float out_peak = 0.0f;
    for (int i = 0; i < 2 * n; i++)
        out_peak = std::fmax(out_peak, std::fabs(out[i]));

    if (s.tap)
        s.tap(s.tap_ctx, out, n, (int32_t)e->sample_rate);

    if (!held) {
        e->position.store(pos, rl);
        e->length.store(len, rl);
        e->left_position = pos;
        e->left_length = len;
        if (w.wraps)
            e->wrap_count.fetch_add(w.wraps, rl);
        if (w.wrote)
            e->content_generation.fetch_add(1, rl);
    }
    e->input_peak.store(std::fmax(w.in_peak, e->input_peak.load(rl) * kMeterDecay), rl);
    e->output_peak.store(std::fmax(out_peak, e->output_peak.load(rl) * kMeterDecay), rl);
    if (w.in_clip)
        e->input_clip.store(1, rl);
    if (w.out_clip)
        e->output_clip.store(1, rl);
}

int engine_audio_callback(const void* input, void* output, unsigned long frames,
                          const void* time_info, unsigned long status_flags, void* user)
{
    (void)time_info;
    (void)status_flags;
    Engine* e = (Engine*)user;
    if (!e || !output)
        return 0;
    plat_rt_enter();
#if defined(__SSE__) || defined(__x86_64__)
    // Flush denormals to zero: feedback lines decaying into silence otherwise slow
    // the whole path down many times over.
    _mm_setcsr(_mm_getcsr() | 0x8040);
#endif
    e->blocks_entered.fetch_add(1, std::memory_order_seq_cst);
    e->callback_count.fetch_add(1, std::memory_order_relaxed);
    e->block_frames.store((int32_t)frames, std::memory_order_relaxed);
    bool held = e->loop_hold.load(std::memory_order_seq_cst) != 0;
    bool fading = e->loop_fade_out.load(std::memory_order_seq_cst) != 0;

    const float* in = (const float*)input;
    float* out = (float*)output;
    int channels = e->input_channels;
    unsigned long done = 0;
    // Blocks longer than the working buses are processed in pieces, so no output
    // frame is left unwritten.
    while (done < frames) {
        unsigned long chunk = frames - done;
        if (chunk > ENGINE_MAX_BLOCK)
            chunk = ENGINE_MAX_BLOCK;
        const float* chunk_in = in && channels > 0 ? in + done * (unsigned long)channels : nullptr;
        process_block(e, chunk_in, out + done * 2, (int)chunk, held, fading);
        done += chunk;
    }
    if (fading && e->glide_play == 0.0f && !runouts_heard(e->runouts)) {
        // Nothing of the loop is heard any more: the UI may hold it now.
        uint8_t asked = 1;
        e->loop_fade_out.compare_exchange_strong(asked, 2, std::memory_order_seq_cst);
    }
    e->blocks_left.fetch_add(1, std::memory_order_release);
    plat_rt_leave();
    return 0;
}

// ---------------------------------------------------------------------------
// The UI's loop operations
// ---------------------------------------------------------------------------

bool loop_begin_write(Engine* e)
{
    if (!e)
        return false;
    e->loop_hold.store(1, std::memory_order_seq_cst);
    if (engine_wait_blocks_passed(e, kHoldWaitMs))
        return true;
    e->loop_hold.store(0, std::memory_order_seq_cst);
    return false;
}

void loop_end_write(Engine* e)
{
    if (!e)
        return;
    e->loop_hold.store(0, std::memory_order_seq_cst);
}

bool loop_begin_replace(Engine* e)
{
    if (!e)
        return false;
    e->loop_fade_out.store(1, std::memory_order_seq_cst);
    // The fade takes 5 ms and the block it ends in; a callback that does not answer
    // within the bound is found stalled by the hold below.
    double deadline = plat_time_seconds() + kHoldWaitMs / 1000.0;
    while (e->running && e->loop_fade_out.load(std::memory_order_seq_cst) != 2 && plat_time_seconds() < deadline)
        plat_sleep_ms(1);
    if (loop_begin_write(e))
        return true;
    e->loop_fade_out.store(0, std::memory_order_seq_cst);
    return false;
}

void loop_end_replace(Engine* e)
{
    if (!e)
        return;
    loop_end_write(e);
    e->loop_fade_out.store(0, std::memory_order_seq_cst);
}

bool loop_close_open_pass(Engine* e)
{
    const auto rl = std::memory_order_relaxed;
    if (!e)
        return false;
    if (e->length.load(rl) != 0 || e->position.load(rl) == 0)
        return true;
    if (!loop_begin_write(e))
        return false;
    // The callback may have closed it meanwhile; under the hold its state stands still.
    if (e->length.load(rl) == 0 && e->first_pass_was_recording) {
        e->first_pass_was_recording = 0;
        int32_t pos = e->position.load(rl), len = 0;
        loop_close_first_pass(e, &pos, &len);
        if (len > 0)
            e->content_generation.fetch_add(1, rl);
        e->length.store(len, rl);
        e->position.store(pos, rl);
    }
    loop_end_write(e);
    return true;
}

bool loop_set_buffers(Engine* e, const float* left, const float* right, int32_t frames)
{
    if (!e || !left || !right)
        return false;
    if (frames > ENGINE_LOOP_CAPACITY)
        frames = ENGINE_LOOP_CAPACITY;
    if (frames < 1 || !loop_begin_replace(e))
        return false;
    e->length.store(0, std::memory_order_relaxed);
    e->position.store(0, std::memory_order_relaxed);
    std::memcpy(e->loop_left, left, sizeof(float) * (size_t)frames);
    std::memcpy(e->loop_right, right, sizeof(float) * (size_t)frames);
    e->position.store(0, std::memory_order_relaxed);
    e->length.store(frames, std::memory_order_relaxed);
    e->content_generation.fetch_add(1, std::memory_order_relaxed);
    loop_end_replace(e);
    return true;
}

void loop_seek_fraction(Engine* e, double fraction)
{
    if (!e)
        return;
    int32_t len = e->length.load(std::memory_order_relaxed);
    if (len <= 0 || !std::isfinite(fraction))
        return;
    double f = (double)len * fraction;
    int32_t frame = f <= 0.0 ? 0 : f >= (double)(len - 1) ? len - 1 : (int32_t)f;
    e->seek_request.store(frame, std::memory_order_relaxed);
}

// Takes no hold, so playback and an overdub run on: they touch nothing beyond the
// loop's end until the callback takes the length request, released after the fill. A
// first pass still recording writes on past the position read here meanwhile, and
// what it writes there before the request is taken may be zeroed.
void loop_resize(Engine* e, int32_t frames)
{
    if (!e || frames < 1)
        return;
    int32_t len = e->length.load(std::memory_order_relaxed);
    int32_t pos = e->position.load(std::memory_order_relaxed);
    int32_t extent = len > 0 ? len : (pos > 0 ? pos : 0);
    int32_t want = frames < ENGINE_LOOP_CAPACITY ? frames : ENGINE_LOOP_CAPACITY;
    if (want > extent) {
        std::memset(e->loop_left + extent, 0, sizeof(float) * (size_t)(want - extent));
        std::memset(e->loop_right + extent, 0, sizeof(float) * (size_t)(want - extent));
    }
    e->length_request.store(want, std::memory_order_release);
}

void loop_waveform(Engine* e, float* left_out, float* right_out, int columns)
{
    if (!e || !left_out || !right_out || columns <= 0)
        return;
    std::memset(left_out, 0, sizeof(float) * (size_t)columns);
    std::memset(right_out, 0, sizeof(float) * (size_t)columns);
    int64_t len = e->length.load(std::memory_order_relaxed);
    int64_t pos = e->position.load(std::memory_order_relaxed);
    if (len <= 0 && pos <= 0)
        return;
    int64_t span = len > 0 ? len : (pos > 1 ? pos : 1);
    for (int j = 0; j < columns; j++) {
        int64_t start = (int64_t)j * span / columns;
        int64_t end = (int64_t)(j + 1) * span / columns;
        if (end <= start)
            end = start + 1;
        int64_t stride = (end - start) / 64;
        if (stride < 1)
            stride = 1;
        float ml = 0.0f, mr = 0.0f;
        for (int64_t f = start; f < end && f < ENGINE_LOOP_CAPACITY; f += stride) {
            ml = std::fmax(ml, std::fabs(e->loop_left[f]));
            mr = std::fmax(mr, std::fabs(e->loop_right[f]));
        }
        left_out[j] = ml;
        right_out[j] = mr;
    }
}
