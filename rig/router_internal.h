// router_internal.h - the RigRouter record and the steps its files share; no
// compatibility promise: only router*.cpp and the router's tests include it.
// Threads: the published block: UI writes under the sequence counter, audio reads.
//          The meters: audio writes (atomic maximum, atomic OR), UI reads by exchange.
//          The audio-side state: audio thread only, and rigroute_prepare while no
//          stream runs.
// Depends on: router.h, rig_device.h (RigMix).
#pragma once
#include <atomic>
#include <bit>
#include <cstdint>

#include "rig/router.h"

static_assert(std::atomic<float>::is_always_lock_free);
static_assert(std::atomic<uint32_t>::is_always_lock_free);
static_assert(std::atomic<uint64_t>::is_always_lock_free);

enum { RIGROUTE_MAX_RAMP = 16777216 };   // frames; every position stays exact in a float

// One gain glide: left and right move together from start to target.
struct RigRamp {
    float cur_l, cur_r;
    float target_l, target_r;
    float start_l, start_r;
    float step_l, step_r;
    int32_t pos;
    int32_t len;                         // 0 = not ramping
};

struct alignas(64) RigRouter {
    // Published block: the session writes it under the sequence counter (odd while a
    // write is in progress); the callback copies it and checks the counter again.
    std::atomic<uint64_t> seq{0};
    std::atomic<uint32_t> tag{0};          // key hash of the mix's device, 0 for none
    std::atomic<uint32_t> off{0};
    std::atomic<float> master{0.0f};
    std::atomic<float> ramp_seconds{0.0f};
    std::atomic<float> pair[RIG_MAX_INPUTS][2]{};   // left, right

    // Meters, on a cache line of their own: the callback raises them, the session
    // reads and resets the peaks and masks.
    alignas(64) std::atomic<float> input_peak[RIG_MAX_INPUTS]{};
    std::atomic<float> post_peak[RIG_MAX_INPUTS]{};
    std::atomic<uint64_t> clip_mask{0};
    std::atomic<uint64_t> bad_mask{0};
    std::atomic<uint64_t> blocks{0};
    std::atomic<uint64_t> bad_samples{0};
    std::atomic<float> bus_peak_left{0.0f};
    std::atomic<float> bus_peak_right{0.0f};
    std::atomic<uint32_t> bus_clip{0};
    std::atomic<uint32_t> silent_state{0};
    std::atomic<uint32_t> fallback_state{0};
    std::atomic<uint32_t> meter_channels{0};   // as last prepared
    std::atomic<uint32_t> meter_tag{0};

    // Audio-side state.
    RigRamp ramp[RIG_MAX_INPUTS];
    RigRamp master_ramp;
    float fallback_left[RIG_MAX_INPUTS];
    float fallback_right[RIG_MAX_INPUTS];
    float fallback_master;
    float taken[RIG_MAX_INPUTS][2];      // the pairs of the last copy
    uint64_t last_taken;                 // UINT64_MAX when none
    double sample_rate;
    uint32_t stream_tag;
    int32_t channels;                    // 1..64 once prepared
    int32_t initial_ramp;                // frames
    int32_t one_second;                  // frames
    uint32_t fallback_timer;             // frames played silent
    uint8_t has_fallback;
    uint8_t silent;
    uint8_t fallback_in_use;
    uint8_t not_off;
    uint8_t first_ramp_pending;
    uint8_t prev_silent;
    uint8_t prev_fallback;
};

// Infinity or NaN: the exponent bits are all ones. Tested on the bits so that no
// floating-point mode can fold the check away.
static inline bool rigroute_non_finite(float x)
{
    return (std::bit_cast<uint32_t>(x) & 0x7f800000u) == 0x7f800000u;
}

// Ramp length in frames for a ramp time: 0.02 s when not above 0, at most 10 s.
int32_t rigroute_ramp_frames(double seconds, double sample_rate);

// [RT] Takes a complete publication made since the last one; a torn copy is dropped
// and tried again at the next block.
void rigroute_take_published(RigRouter* r);
// [RT] Points a ramp at (left, right), reached after frames.
void rigroute_set_ramp(RigRamp* ramp, float left, float right, int32_t frames);
// [RT] Moves a ramp on by frames without applying it.
void rigroute_advance_ramp(RigRamp* ramp, int32_t frames);
// [RT] Adds one channel's frames [first, end) into the bus under its ramp; non-finite
// samples count as bad and play as 0. Raises *peak (raw) and *largest (gain applied).
void rigroute_mix_input(RigRamp* ramp, const float* samples, int stride, float* out_left,
                        float* out_right, int first, int end, float* peak, float* largest,
                        uint32_t* bad);
// [RT] Scales the bus frames [first, end) by the master ramp; raises the bus peaks.
void rigroute_apply_master(RigRamp* ramp, float* left, float* right, int first, int end,
                           uint32_t* bad, float* peak_left, float* peak_right);

// Test hook: called by rigroute_publish halfway through the pairs, with the counter
// odd. Null (the default) in the program.
typedef void (*RigPublishHook)(RigRouter* r, void* ctx);
void rigroute_set_publish_hook(RigPublishHook hook, void* ctx);
