// router.h - RigRouter: the active scene's mix carried from the rig session to the
// audio callback without a lock, applied there with gain ramps and per-input meters.
// Threads: rigroute_new/free/publish*/take_meters: UI thread.
//          rigroute_prepare: UI thread while no stream runs.
//          rigroute_process_block/mix_block: audio thread [RT].
// Depends on: rig_device.h (RigMix).
#pragma once
#include <cstdint>

#include "rig/rig_device.h"

struct RigRouter;

// What the session takes from the router's meters (read and reset).
struct RigMeters {
    int32_t channels;
    uint32_t stream_tag;
    float input_peak[RIG_MAX_INPUTS];      // raw peaks
    float post_peak[RIG_MAX_INPUTS];       // peaks after the channel gains
    uint64_t clip_mask;
    uint64_t bad_mask;
    float bus_peak_left, bus_peak_right;
    uint8_t bus_clip;
    uint8_t silent;
    uint8_t fallback_in_use;
    uint64_t blocks;
    uint64_t bad_samples;
};

RigRouter* rigroute_new(void);
void rigroute_free(RigRouter* r);

void rigroute_publish(RigRouter* r, uint32_t tag, int off, float master, float ramp_seconds,
                      const RigMix* mix);
void rigroute_publish_mix(RigRouter* r, const RigMix* mix, uint32_t tag, float ramp_seconds);
void rigroute_publish_off(RigRouter* r);
void rigroute_take_meters(RigRouter* r, RigMeters* out);

void rigroute_prepare(RigRouter* r, double sample_rate, int channels, uint32_t stream_tag,
                      const RigMix* fallback);

// [RT] Fills the stereo bus from interleaved input; a null router copies channel 1 to
// the left and channel 2 to the right (channel 1 to both for a one-channel device).
// Only engine tests and benches run without a router: the program always routes
// through its rig session's.
void rigroute_process_block(RigRouter* r, const float* input, int input_channels,
                            float* out_left, float* out_right, int frames);
// [RT] The work: either one pointer per channel, or one interleaved buffer.
void rigroute_mix_block(RigRouter* r, const float* const* channel_ptrs, const float* interleaved,
                        int input_channels, float* out_left, float* out_right, int frames);
