// engine_bench_setup.h - what bench_engine measures on: a silent audio library behind
// the engine, the input signals, and the neutral engine state every case starts from.
// Threads: the benchmark's one thread (it calls the audio callback itself).
// Included by bench_engine.cpp (and by bench_frame.cpp for the silent audio
// library); everything here is inline.
// Depends on: audio/engine.h, audio/engine_retire.h, audio/audio_backend.h.
#pragma once
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "audio/audio_backend.h"
#include "audio/engine.h"
#include "audio/engine_retire.h"

namespace engine_bench {

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

inline constexpr double kRate = 48000.0;
inline constexpr int kInputFrames = 1 << 18;             // 5.46 s of input, cycled
inline constexpr int kInputTail = 1024;                  // frames past the cycle: its start again
inline constexpr int kBurstFrames = 24000;               // the burst variant's noise
inline constexpr int kWideChannels = RIG_MAX_INPUTS;     // the many-input device
inline constexpr int kWideSpacing = 4099;                // frames between neighbouring channels

// ---------------------------------------------------------------------------
// A silent audio library: engine_init needs one; the benchmarks never open a stream
// ---------------------------------------------------------------------------

inline PaError silent_ok(void) { return paNoError; }
inline PaDeviceIndex silent_no_device(void) { return paNoDevice; }
inline PaDeviceIndex silent_count(void) { return 0; }
inline const PaDeviceInfo* silent_device(PaDeviceIndex) { return nullptr; }
inline const PaHostApiInfo* silent_api(PaHostApiIndex) { return nullptr; }
inline PaHostApiIndex silent_api_index(PaHostApiTypeId) { return paHostApiNotFound; }
inline PaError silent_open(PaStream**, const PaStreamParameters*, const PaStreamParameters*, double,
                           unsigned long, PaStreamFlags, PaStreamCallback*, void*, int)
{
    return paInvalidDevice;
}
inline PaError silent_stream(PaStream*) { return paNoError; }
inline const PaStreamInfo* silent_info(PaStream*) { return nullptr; }

inline const EngineBackend kSilentBackend = {
    silent_ok,    silent_ok,       silent_count,  silent_device, silent_api, silent_api_index,
    silent_no_device, silent_no_device, silent_open, silent_stream, silent_stream, silent_stream,
    silent_info,
};

// ---------------------------------------------------------------------------
// Inputs
// ---------------------------------------------------------------------------

// An interleaved input of kInputFrames + kInputTail frames; the tail repeats the
// start, so any block read from an offset below kInputFrames is contiguous.
struct BenchInput {
    const char* name;
    int channels;
    std::vector<float> data;
};

// "noise": pink-ish noise at about -12 dBFS RMS. "burst": half a second of it every
// 5.5 s and silence in between (effects decay into denormals). "noise64": 64 channels,
// each the noise from a point of its own in the cycle.
inline BenchInput g_noise = {"noise", 2, {}};
inline BenchInput g_burst = {"burst", 2, {}};
inline BenchInput g_noise64 = {"noise64", kWideChannels, {}};

// Pink-ish noise (Paul Kellet's economy filter over white noise) at -12 dBFS RMS.
inline void make_inputs(void)
{
    const size_t frames = (size_t)(kInputFrames + kInputTail);
    std::vector<float>& noise = g_noise.data;
    noise.assign(frames * 2, 0.0f);
    uint32_t seed = 22222;
    float b0 = 0, b1 = 0, b2 = 0;
    double sum = 0.0;
    for (float& x : noise) {
        seed = seed * 1664525u + 1013904223u;
        float white = (float)(seed >> 8) / 8388608.0f - 1.0f;
        b0 = 0.99765f * b0 + white * 0.0990460f;
        b1 = 0.96300f * b1 + white * 0.2965164f;
        b2 = 0.57000f * b2 + white * 1.0526913f;
        x = b0 + b1 + b2 + white * 0.1848f;
        sum += (double)x * x;
    }
    float scale = (float)(0.25 / std::sqrt(sum / (double)noise.size()));
    for (float& x : noise)
        x *= scale;
    g_burst.data.assign(frames * 2, 0.0f);
    std::copy(noise.begin(), noise.begin() + kBurstFrames * 2, g_burst.data.begin());
    std::copy(g_burst.data.begin(), g_burst.data.begin() + kInputTail * 2,
              g_burst.data.begin() + (size_t)kInputFrames * 2);
    std::copy(noise.begin(), noise.begin() + kInputTail * 2, noise.begin() + (size_t)kInputFrames * 2);

    std::vector<float>& wide = g_noise64.data;
    wide.resize(frames * kWideChannels);
    for (size_t f = 0; f < frames; f++)
        for (int c = 0; c < kWideChannels; c++) {
            size_t at = (f + (size_t)c * kWideSpacing) % (size_t)kInputFrames;
            wide[f * kWideChannels + (size_t)c] = noise[at * 2 + (size_t)(c & 1)];
        }
}

// ---------------------------------------------------------------------------
// The engine
// ---------------------------------------------------------------------------

inline Engine* engine_ready(void)
{
    Engine* e = engine_instance();
    if (!e->loop_left) {
        engine_use_backend(&kSilentBackend, nullptr);
        if (!engine_init(e)) {
            std::fprintf(stderr, "bench_engine: engine_init failed: %s\n", e->error_text);
            std::exit(1);
        }
    }
    return e;
}

// Fills the first frames of the loop with the noise, so playback and overdub read
// real data, the same for every case whatever the cases before it recorded.
inline void fill_loop(Engine* e, int32_t frames = ENGINE_LOOP_CAPACITY)
{
    const std::vector<float>& noise = g_noise.data;
    for (int32_t f = 0; f < frames; f++) {
        size_t at = (size_t)(f % kInputFrames) * 2;
        e->loop_left[f] = noise[at];
        e->loop_right[f] = noise[at + 1];
    }
}

// The state every scenario starts from: a stereo input monitored, no loop, no hooks,
// no router, no instrument (a published one is retired and unloaded), effects at
// full wet on patch A with both knobs at the middle and the gate off. Slot types are
// left as they are: each case sets its own.
inline void reset_engine(Engine* e)
{
    e->input_channels = 2;
    e->sample_rate = kRate;
    e->monitor = 1;
    e->record = 0;
    e->hold_dub = 0;
    e->playing = 1;
    e->reversed = 0;
    e->gain = 1.0f;
    e->pan = 0.0f;
    e->gate_threshold = 0.0f;
    e->length = 0;
    e->position = 0;
    e->record_ramp = 0.0f;
    e->first_pass_was_recording = 0;
    e->loop_hold = 0;
    e->player_to_input = 0;
    e->router = nullptr;
    engine_retire_plugin(e, &e->instrument);
    for (FxSlot& s : e->slots) {
        s.knob1 = 0.5f;
        s.knob2 = 0.5f;
        s.bypass = 0;
    }
    e->wet_dry = 1.0f;
    e->crossfade = 1.0f;
    e->fx_bypass = 0;
    engine_set_render_hook(e, nullptr, nullptr);
    engine_set_output_tap(e, nullptr, nullptr);
}

}  // namespace engine_bench
