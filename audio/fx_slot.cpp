// fx_slot.cpp - the insert slot's life cycle, names, block update, frame exchange,
// knob smoothing and the dispatch to the effect bodies.
// Threads: fx_init/fx_free/fx_set_type/fx_warm_up: UI thread (fx_init and fx_set_type
//          are the only code here that logs);
//          fx_update/fx_mix/fx_process_frame: audio thread [RT].
#include "audio/fx.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "audio/fx_dsp.h"
#include "platform/plat_mem.h"

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

static const float kSmoothCoef = 0.005f;
static const float kFadeStep = 1.0f / (float)FX_FADE_FRAMES;
static const int32_t kCombLengths[FX_COMBS] = {1557, 1617, 1491, 1422};
static const int32_t kAllpassLengths[FX_ALLPASSES] = {225, 556};
static const uint32_t kNoiseSeed = 12345;
// Enough for every body to reach all its maths, after the fades of each type change.
static const int kWarmUpFrames = 64 + 2 * FX_FADE_FRAMES;

static const char* const kNames[FX_TYPE_COUNT] = {
    "OFF", "DELAY", "CHORUS", "PHASER", "FLANGER", "GRIT", "BITCRUSH", "CHOPPER",
    "RADIO", "HIPASS", "LOPASS", "WOBBLE", "RING", "HALL", "GHOST"};

static const char* const kKnobLabels[FX_TYPE_COUNT][2] = {
    {"---", "---"},         {"Del Time", "Feedback"}, {"Rate", "Depth"},
    {"Rate", "Depth"},      {"Rate", "Feedback"},     {"Drive", "Tone"},
    {"Bits", "Downsample"}, {"Rate", "Duty"},         {"Tuning", "Bandwidth"},
    {"Cutoff", "Resonance"}, {"Cutoff", "Resonance"}, {"Rate", "Depth"},
    {"Frequency", "Shape"}, {"Size", "Damping"},      {"Grain Sz", "Density"}};

// The audio-thread fields run from active_type up to the plug-in pointer; fx_init
// clears them as one block.
static_assert(std::is_standard_layout_v<FxSlot>, "FxSlot is cleared by offset");
static const size_t kStateBegin = offsetof(FxSlot, active_type);
static const size_t kStateEnd = offsetof(FxSlot, plugin);

// ---------------------------------------------------------------------------
// Life cycle and names
// ---------------------------------------------------------------------------

// Stereo frames, zeroed by writing every page now: calloc would leave large buffers
// to be faulted in by the audio thread the first time an effect runs.
static float* fx_alloc_frames(int32_t frames)
{
    return (float*)plat_aligned_alloc(64, (size_t)frames * 2 * sizeof(float));
}

// Clears the slot and allocates its buffers (fx_init without the log line).
static int fx_setup(FxSlot* slot)
{
    fx_free(slot);
    slot->effect_type.store(FX_OFF, std::memory_order_relaxed);
    slot->knob1.store(0.0f, std::memory_order_relaxed);
    slot->knob2.store(0.0f, std::memory_order_relaxed);
    std::memset((char*)slot + kStateBegin, 0, kStateEnd - kStateBegin);

    slot->last_type = -1;
    slot->noise_seed = kNoiseSeed;
    slot->delay_len = FX_DELAY_FRAMES;
    slot->mod_len = FX_MOD_FRAMES;
    slot->grain_len = FX_GRAIN_FRAMES;
    slot->grain_countdown = 1;
    int32_t start = 0;
    for (int c = 0; c < FX_COMBS; c++) {
        slot->comb_start[c] = start;
        slot->comb_len[c] = kCombLengths[c];
        start += kCombLengths[c];
    }
    start = 0;
    for (int a = 0; a < FX_ALLPASSES; a++) {
        slot->ap_start[a] = start;
        slot->ap_len[a] = kAllpassLengths[a];
        start += kAllpassLengths[a];
    }

    slot->delay_buf = fx_alloc_frames(FX_DELAY_FRAMES);
    slot->mod_buf = fx_alloc_frames(FX_MOD_FRAMES);
    slot->reverb_buf = fx_alloc_frames(FX_REVERB_FRAMES);
    slot->allpass_buf = fx_alloc_frames(FX_ALLPASS_FRAMES);
    slot->grain_buf = fx_alloc_frames(FX_GRAIN_FRAMES);
    if (!slot->delay_buf || !slot->mod_buf || !slot->reverb_buf || !slot->allpass_buf ||
        !slot->grain_buf) {
        fx_free(slot);
        return -1;
    }
    return 0;
}

int fx_init(FxSlot* slot)
{
    if (!slot || fx_setup(slot) != 0)
        return -1;
    size_t bytes = (size_t)(FX_MOD_FRAMES + FX_DELAY_FRAMES + FX_GRAIN_FRAMES + FX_REVERB_FRAMES +
                            FX_ALLPASS_FRAMES) * 2 * sizeof(float);
    std::fprintf(stderr, "Effects: 14 fx + gate + comp (%zu KB buffers)\n", bytes >> 10);
    return 0;
}

void fx_warm_up(void)
{
    FxSlot s{};
    if (fx_setup(&s) != 0)
        return;
    for (int type = FX_OFF + 1; type < FX_TYPE_COUNT; type++) {
        s.effect_type.store(type, std::memory_order_relaxed);
        s.knob1.store(0.5f, std::memory_order_relaxed);
        s.knob2.store(0.5f, std::memory_order_relaxed);
        fx_update(&s);
        for (int i = 0; i < kWarmUpFrames; i++) {
            float l = 0.1f, r = -0.1f;
            fx_mix(&s, &l, &r, 1.0f);
            fx_process_frame(&s);
        }
    }
    fx_free(&s);
}

void fx_free(FxSlot* slot)
{
    if (!slot)
        return;
    float** bufs[5] = {&slot->delay_buf, &slot->mod_buf, &slot->reverb_buf, &slot->allpass_buf,
                       &slot->grain_buf};
    for (float** b : bufs) {
        plat_aligned_free(*b);
        *b = nullptr;
    }
}

const char* fx_name(int type)
{
    return type >= 0 && type < FX_TYPE_COUNT ? kNames[type] : "???";
}

const char* fx_param_name(int type, int knob)
{
    if (type < 0 || type >= FX_TYPE_COUNT || knob < 0 || knob > 1)
        return "???";
    return kKnobLabels[type][knob];
}

void fx_set_type(FxSlot* slot, int type)
{
    if (!slot)
        return;
    int old = slot->effect_type.exchange(type, std::memory_order_relaxed);
    if (old != type)
        std::fprintf(stderr, "FX: → %s\n", fx_name(type));
}

// ---------------------------------------------------------------------------
// Block update and frame exchange
// ---------------------------------------------------------------------------

static float fx_knob(float v)
{
    if (!(v >= 0.0f))          // also NaN
        return 0.0f;
    return v > 1.0f ? 1.0f : v;
}

// What a type change resets. The lines with their indexes, the comb damping states,
// the noise seed and the smoothed knobs stay, so an effect switched away and back
// resumes its old tail.
static void fx_reset_effect(FxSlot* s)
{
    std::memset(s->lfo_phase, 0, sizeof s->lfo_phase);
    s->in_l = s->in_r = s->out_l = s->out_r = 0.0f;
    std::memset(s->phaser, 0, sizeof s->phaser);
    std::memset(s->biquad, 0, sizeof s->biquad);
    s->crush_l = s->crush_r = s->crush_count = 0.0f;
    s->chopper_phase = s->radio_phase = s->ring_phase = 0.0f;
    std::memset(s->radio_state, 0, sizeof s->radio_state);
    for (FxGrainVoice& v : s->grains)
        v = FxGrainVoice{};
    s->last_cutoff = s->last_res = s->radio_last_bw = -1.0f;
    s->grain_countdown = 1;
}

static bool fx_reads_mod_line(int32_t type)
{
    return type == FX_CHORUS || type == FX_FLANGER || type == FX_WOBBLE;
}

// Makes type the running effect. An effect other than the one whose state is loaded
// starts from a reset state; OFF keeps that state for a return to the same effect.
// The effects sharing the modulation line start it silent: what another one left
// there (a flanger's feedback does not fade with its input) would be read at full
// level until the new input reached the read's delay, and then end at once. This
// runs at the dry moment between the two effects, once per change.
static void fx_start(FxSlot* s, int32_t type)
{
    if (type != FX_OFF && type != s->last_type) {
        fx_reset_effect(s);
        if (fx_reads_mod_line(type))
            std::memset(s->mod_buf, 0, sizeof(float) * 2 * FX_MOD_FRAMES);
        s->last_type = type;
    }
    s->active_type = type;
}

bool fx_update(FxSlot* s, bool bypassed)
{
    int32_t type = s->effect_type.load(std::memory_order_relaxed);
    s->targets[0] = fx_knob(s->knob1.load(std::memory_order_relaxed));
    s->targets[1] = fx_knob(s->knob2.load(std::memory_order_relaxed));
    // OFF (or a type the slot does not know) passes the signal and keeps the state of
    // the effect that ran last, so switching back to it resets nothing.
    if (type <= FX_OFF || type >= FX_TYPE_COUNT || bypassed)
        type = FX_OFF;
    s->next_type = type;
    // From the dry signal, or from an effect not heard yet, the switch is at once;
    // otherwise fx_mix fades the running effect out first.
    if (type != s->active_type && (s->active_type == FX_OFF || s->fade <= 0.0f))
        fx_start(s, type);
    return s->active_type != FX_OFF;
}

// The frame exchange while the slot fades: the fade moves one step (at 0 the next
// effect takes over), then the effect hears g x the frame and is heard at g against
// the dry frame. Kept out of line, so the steady exchange stays a leaf call.
__attribute__((noinline)) static void fx_mix_fading(FxSlot* s, float* left, float* right,
                                                    float mix)
{
    if (s->next_type == s->active_type) {
        s->fade = std::fmin(s->fade + kFadeStep, 1.0f);
    } else {
        s->fade -= kFadeStep;
        if (s->fade <= 0.0f) {
            s->fade = 0.0f;
            fx_start(s, s->next_type);
            if (s->active_type == FX_OFF)
                return;
        }
    }
    float g = s->fade;
    float dry_l = *left, dry_r = *right;
    s->in_l += dry_l * g;
    s->in_r += dry_r * g;
    float wet_l = s->out_l * g + dry_l * (1.0f - g);
    float wet_r = s->out_r * g + dry_r * (1.0f - g);
    *left = mix * wet_l + (1.0f - mix) * dry_l;
    *right = mix * wet_r + (1.0f - mix) * dry_r;
}

void fx_mix(FxSlot* s, float* left, float* right, float mix)
{
    if (s->active_type == FX_OFF || mix < 0.001f)
        return;
    if (s->fade < 1.0f || s->next_type != s->active_type) {
        fx_mix_fading(s, left, right, mix);
        return;
    }
    s->in_l += *left;
    s->in_r += *right;
    *left = mix * s->out_l + (1.0f - mix) * *left;
    *right = mix * s->out_r + (1.0f - mix) * *right;
}

// ---------------------------------------------------------------------------
// Frame processing
// ---------------------------------------------------------------------------

// A filter or feedback line whose output went non-finite is set back to silence,
// so nothing but finite samples ever leaves the slot.
static void fx_silence(FxSlot* s)
{
    s->out_l = s->out_r = 0.0f;
    switch (s->active_type) {
    case FX_DELAY:
        std::memset(s->delay_buf, 0, sizeof(float) * 2 * FX_DELAY_FRAMES);
        break;
    case FX_CHORUS:
    case FX_FLANGER:
    case FX_WOBBLE:
        std::memset(s->mod_buf, 0, sizeof(float) * 2 * FX_MOD_FRAMES);
        break;
    case FX_PHASER:
        std::memset(s->phaser, 0, sizeof s->phaser);
        break;
    case FX_RADIO:
        std::memset(s->radio_state, 0, sizeof s->radio_state);
        break;
    case FX_HIPASS:
    case FX_LOPASS:
        std::memset(s->biquad, 0, sizeof s->biquad);
        break;
    case FX_HALL:
        std::memset(s->reverb_buf, 0, sizeof(float) * 2 * FX_REVERB_FRAMES);
        std::memset(s->allpass_buf, 0, sizeof(float) * 2 * FX_ALLPASS_FRAMES);
        std::memset(s->comb_damp, 0, sizeof s->comb_damp);
        break;
    case FX_GHOST:
        std::memset(s->grain_buf, 0, sizeof(float) * 2 * FX_GRAIN_FRAMES);
        break;
    default:
        s->crush_l = s->crush_r = 0.0f;
        break;
    }
}

void fx_process_frame(FxSlot* s)
{
    if (s->active_type == FX_OFF)
        return;
    if (s->smoothing) {
        s->smoothed[0] += (s->targets[0] - s->smoothed[0]) * kSmoothCoef;
        s->smoothed[1] += (s->targets[1] - s->smoothed[1]) * kSmoothCoef;
    } else {
        s->smoothed[0] = s->targets[0];
        s->smoothed[1] = s->targets[1];
    }
    // A non-finite sample handed in is taken as silence; it would otherwise sit in a
    // line until it came round again.
    if (!std::isfinite(s->in_l))
        s->in_l = 0.0f;
    if (!std::isfinite(s->in_r))
        s->in_r = 0.0f;

    float p1 = s->smoothed[0], p2 = s->smoothed[1];
    switch (s->active_type) {
    case FX_DELAY: fx_delay(s, p1, p2); break;
    case FX_CHORUS: fx_chorus(s, p1, p2); break;
    case FX_PHASER: fx_phaser(s, p1, p2); break;
    case FX_FLANGER: fx_flanger(s, p1, p2); break;
    case FX_GRIT: fx_grit(s, p1, p2); break;
    case FX_BITCRUSH: fx_crush(s, p1, p2); break;
    case FX_CHOPPER: fx_chopper(s, p1, p2); break;
    case FX_RADIO: fx_radio(s, p1, p2); break;
    case FX_HIPASS: fx_filter(s, true, p1, p2); break;
    // Smoothed as HIPASS is: taken straight from the knobs, a jump of cutoff or resonance
    // rings the filter with a burst of up to full scale.
    case FX_LOPASS: fx_filter(s, false, p1, p2); break;
    case FX_WOBBLE: fx_wobble(s, p1, p2); break;
    case FX_RING: fx_ring(s, p1, p2); break;
    case FX_HALL: fx_hall(s, p1, p2); break;
    case FX_GHOST: fx_ghost(s, p1, p2); break;
    default: break;
    }
    if (!std::isfinite(s->out_l) || !std::isfinite(s->out_r))
        fx_silence(s);
    s->in_l = s->in_r = 0.0f;
}
