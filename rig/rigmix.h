// rigmix.h - the arithmetic from a scene to the gains the router applies: the fader
// curve between position, decibels and linear gain, gain steps in decibels, the pan
// law of single inputs, the balance law of linked pairs, and the scene mix.
// Threads: any (plain functions on values).
// Depends on: rig_device.h (RigMix), rigdoc.h (RigScene, RIG_GAIN_MAX).
//
// Every gain in a mix made here is finite and not negative, whatever the scene holds.
#pragma once
#include <cstdint>

#include "rig/rig_device.h"
#include "rig/rigdoc.h"

// One input as the scene mix sees it.
struct RigMixInput {
    float gain;       // linear
    float pan;        // -1 left .. +1 right
    uint8_t muted;
    uint8_t link;     // on an even input: drives it and the next as a stereo pair
    uint8_t present;  // absent inputs stay silent
};

// Fader curve: position 0.02 -> -72 dB, 0.25 -> -30, 0.5 -> -12, 0.75 -> 0, 1 -> +12,
// linear in dB between; below 0.02 is silence.
float rig_db_to_gain(float db);          // 0 for NaN and -144 dB or less; 0 dB is exactly 1
float rig_gain_to_db(float gain);        // -infinity for gains not above 0; 1 is exactly 0 dB
float rig_fader_to_gain(float position);
float rig_db_to_fader(float db);
float rig_gain_to_fader(float gain);
// The gain after a step of step_db on the fader's dB scale: crossing 0 dB stops at
// exactly unity, the top is +12 dB, below -72 dB is silence.
float rig_gain_nudge(float gain, float step_db);
// Near-side factor of the pan law: max(0, sqrt2 * cos((p + 1) * pi / 4)).
float rig_pan_gain(double p);

// The left and right gain of each input; count clamped to 0..64, inputs may be null
// (nothing present).
void rig_scene_mix(const RigMixInput* inputs, int count, float master, RigMix* out);
// The mix of a scene for a device with channels inputs; a null scene is silent.
void rig_scene_to_mix(const RigScene* scene, int channels, RigMix* out);
bool rig_mix_equal(const RigMix* a, const RigMix* b);
