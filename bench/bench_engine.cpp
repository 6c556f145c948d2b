// bench_engine.cpp - what the audio callback costs at 48 kHz, per scenario and block
// size, and what the UI's loop operations and the engine's start-up cost.
// Every callback case is named engine/<scenario>/<input>/frames:<block> and reports:
//   Time          mean time per block (each block timed on its own)
//   ns_per_frame  mean time per frame
//   dsp_load      mean time per block over the block's duration (1.0 = a whole core)
//   p99_us, max_us, dsp_load_max   the slow tail of the per-block times
// Inputs: "noise" is pink-ish noise at about -12 dBFS RMS; "burst" is half a second
// of that noise every 5.5 s and silence in between (decays into denormals).
// Each block is timed on its own with the monotonic clock, which adds about 25 ns
// to every block's figure. Also timed: loop_waveform on a 360 s loop, loop_resize to full
// capacity, engine_init, and the first second recorded after it, which must take no
// page fault (the program exits 1 if it does).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "audio/audio_backend.h"
#include "audio/engine.h"
#include "audio/looper.h"
#include "platform/plat_rt.h"
#include "platform/plat_time.h"

namespace {

// ---------------------------------------------------------------------------
// Set-up: a silent audio library, the input signals, the engine
// ---------------------------------------------------------------------------

const double kRate = 48000.0;
const int kInputFrames = 1 << 18;              // 5.46 s of input, cycled
const int kBurstFrames = 24000;                // the burst variant's noise
const int32_t kOverdubLoop = 300 * 48000;      // 300 s
const size_t kMaxSamples = size_t(1) << 23;    // per-block times kept per case

// engine_init needs an audio library; the benchmarks never open a stream.
PaError silent_ok(void) { return paNoError; }
PaDeviceIndex silent_no_device(void) { return paNoDevice; }
PaDeviceIndex silent_count(void) { return 0; }
const PaDeviceInfo* silent_device(PaDeviceIndex) { return nullptr; }
const PaHostApiInfo* silent_api(PaHostApiIndex) { return nullptr; }
PaHostApiIndex silent_api_index(PaHostApiTypeId) { return paHostApiNotFound; }
PaError silent_open(PaStream**, const PaStreamParameters*, const PaStreamParameters*, double, unsigned long,
                    PaStreamFlags, PaStreamCallback*, void*, int)
{
    return paInvalidDevice;
}
PaError silent_stream(PaStream*) { return paNoError; }
const PaStreamInfo* silent_info(PaStream*) { return nullptr; }

const EngineBackend kSilentBackend = {
    silent_ok,    silent_ok,       silent_count,  silent_device, silent_api, silent_api_index,
    silent_no_device, silent_no_device, silent_open, silent_stream, silent_stream, silent_stream,
    silent_info,
};

std::vector<float> g_noise;     // interleaved stereo, kInputFrames + 1024 frames
std::vector<float> g_burst;
std::vector<uint32_t> g_samples;
std::vector<std::string> g_failures;   // broken rules found while measuring

// Pink-ish noise (Paul Kellet's economy filter over white noise) at -12 dBFS RMS.
void make_inputs(void)
{
    size_t n = (size_t)(kInputFrames + 1024) * 2;
    g_noise.assign(n, 0.0f);
    uint32_t seed = 22222;
    float b0 = 0, b1 = 0, b2 = 0;
    double sum = 0.0;
    for (size_t i = 0; i < n; i++) {
        seed = seed * 1664525u + 1013904223u;
        float white = (float)(seed >> 8) / 8388608.0f - 1.0f;
        b0 = 0.99765f * b0 + white * 0.0990460f;
        b1 = 0.96300f * b1 + white * 0.2965164f;
        b2 = 0.57000f * b2 + white * 1.0526913f;
        g_noise[i] = b0 + b1 + b2 + white * 0.1848f;
        sum += (double)g_noise[i] * g_noise[i];
    }
    float scale = (float)(0.25 / std::sqrt(sum / (double)n));
    for (float& s : g_noise)
        s *= scale;
    g_burst.assign(n, 0.0f);
    std::copy(g_noise.begin(), g_noise.begin() + kBurstFrames * 2, g_burst.begin());
    // The tail past kInputFrames repeats the start, so any block read from an offset
    // below kInputFrames is contiguous.
    std::copy(g_burst.begin(), g_burst.begin() + 2048, g_burst.begin() + (size_t)kInputFrames * 2);
    std::copy(g_noise.begin(), g_noise.begin() + 2048, g_noise.begin() + (size_t)kInputFrames * 2);
}

Engine* engine_ready(void)
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
void fill_loop(Engine* e, int32_t frames = ENGINE_LOOP_CAPACITY)
{
    for (int32_t f = 0; f < frames; f++) {
        size_t at = (size_t)(f % kInputFrames) * 2;
        e->loop_left[f] = g_noise[at];
        e->loop_right[f] = g_noise[at + 1];
    }
}

// The state every scenario starts from: monitoring, no loop, no hooks.
void reset_engine(Engine* e)
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
    engine_set_render_hook(e, nullptr, nullptr);
    engine_set_output_tap(e, nullptr, nullptr);
}

// ---------------------------------------------------------------------------
// Scenarios
// ---------------------------------------------------------------------------

struct PreviewState {
    size_t pos = 0;
};
PreviewState g_preview;

// A file preview as the player will render it: decoded samples added into both
// sides (here the burst input stands in for the decoded file).
void preview_hook(void* ctx, float* l, float* r, int32_t n, double)
{
    PreviewState* p = (PreviewState*)ctx;
    for (int32_t i = 0; i < n; i++) {
        l[i] += g_burst[p->pos];
        r[i] += g_burst[p->pos + 1];
        p->pos = p->pos + 2 < (size_t)kInputFrames * 2 ? p->pos + 2 : 0;
    }
}

// A recorder as the broadcast and session take will use it: a copy into a ring.
struct TapRing {
    float data[1 << 16];
    size_t pos = 0;
};
TapRing g_ring;

void recorder_tap(void* ctx, const float* out, int32_t n, int32_t)
{
    TapRing* t = (TapRing*)ctx;
    size_t count = (size_t)n * 2, cap = sizeof t->data / sizeof t->data[0];
    size_t first = std::min(count, cap - t->pos);
    std::memcpy(t->data + t->pos, out, first * sizeof(float));
    std::memcpy(t->data, out + first, (count - first) * sizeof(float));
    t->pos = (t->pos + count) % cap;
}

struct BenchScenario {
    const char* name;
    void (*setup)(Engine* e);                  // untimed: puts the engine in the state
    void (*upkeep)(Engine* e, int frames);     // untimed, between blocks; may be null
};

const BenchScenario kScenarios[] = {
    // Input monitored to the output, no loop.
    {"idle", [](Engine*) {}, nullptr},
    // Recording the first pass; restarted before the loop's capacity closes it.
    {"first_pass", [](Engine* e) { e->record = 1; },
     [](Engine* e, int frames) {
         if (e->position.load() > ENGINE_LOOP_CAPACITY - 2 * frames)
             e->position = 0;
     }},
    // Overdub on a 300 s loop played in reverse: the whole 2 x 58 MB walked backwards.
    {"overdub_reverse_300s",
     [](Engine* e) {
         fill_loop(e, kOverdubLoop);
         e->length = kOverdubLoop;
         e->position = kOverdubLoop - 1;
         e->reversed = 1;
         e->record = 1;
     },
     nullptr},
    // A 60 s loop playing, with a preview player on the render hook and a recorder on
    // the output tap.
    {"hook_tap",
     [](Engine* e) {
         fill_loop(e, 60 * 48000);
         e->length = 60 * 48000;
         engine_set_render_hook(e, preview_hook, &g_preview);
         engine_set_output_tap(e, recorder_tap, &g_ring);
     },
     nullptr},

    // ---- Scenarios still to come, added by the modules' owners -----------------
    // "router64": a 64-input device (e->input_channels = 64, 64-channel input) through
    //             the input router with a published scene mix.
    // "instrument": a mock plug-in published as e->instrument.
    // "effects": the built-in effects in all four slots, patch A against patch B.
    // Add a row here (and a wider input for router64); the block sizes, inputs,
    // timing and counters below apply to every row.
};

void bench_callback(benchmark::State& state, const BenchScenario* sc, const std::vector<float>* input)
{
    Engine* e = engine_ready();
    reset_engine(e);
    sc->setup(e);
    const int frames = (int)state.range(0);
    std::vector<float> out((size_t)frames * 2);
    g_samples.clear();
    int offset = 0;
    double total_ns = 0.0;
    uint64_t blocks = 0;
    for (auto _ : state) {
        const float* in = input->data() + (size_t)offset * 2;
        uint64_t t0 = plat_time_ns();
        engine_audio_callback(in, out.data(), (unsigned long)frames, nullptr, 0, e);
        uint64_t t1 = plat_time_ns();
        double ns = (double)(t1 - t0);
        state.SetIterationTime(ns * 1e-9);
        total_ns += ns;
        blocks++;
        if (g_samples.size() < kMaxSamples)
            g_samples.push_back((uint32_t)std::min<uint64_t>(t1 - t0, UINT32_MAX));
        offset += frames;
        if (offset >= kInputFrames)
            offset -= kInputFrames;
        if (sc->upkeep)
            sc->upkeep(e, frames);
    }
    benchmark::DoNotOptimize(out.data());
    if (!blocks)
        return;
    std::sort(g_samples.begin(), g_samples.end());
    double block_ns = frames / kRate * 1e9;
    double mean = total_ns / (double)blocks;
    double p99 = g_samples[std::min(g_samples.size() - 1, g_samples.size() * 99 / 100)];
    double max = g_samples.back();
    state.counters["ns_per_frame"] = mean / frames;
    state.counters["dsp_load"] = mean / block_ns;
    state.counters["p99_us"] = p99 / 1000.0;
    state.counters["max_us"] = max / 1000.0;
    state.counters["dsp_load_max"] = max / block_ns;
}

// ---------------------------------------------------------------------------
// The UI's loop operations and start-up
// ---------------------------------------------------------------------------

// The overview of a full 360 s loop: 180 columns, as the loop strip draws it.
void bench_waveform(benchmark::State& state)
{
    Engine* e = engine_ready();
    reset_engine(e);
    e->length = ENGINE_LOOP_CAPACITY;
    float l[180], r[180];
    for (auto _ : state) {
        loop_waveform(e, l, r, 180);
        benchmark::DoNotOptimize(l);
        benchmark::DoNotOptimize(r);
    }
}

// Growing the loop from nothing to full capacity: zero-fills both arrays.
void bench_resize(benchmark::State& state)
{
    Engine* e = engine_ready();
    reset_engine(e);
    for (auto _ : state) {
        e->length = 0;
        e->position = 0;
        uint64_t t0 = plat_time_ns();
        loop_resize(e, ENGINE_LOOP_CAPACITY);
        state.SetIterationTime((double)(plat_time_ns() - t0) * 1e-9);
        e->length_request = 0;
    }
    fill_loop(e);
}

// engine_init with a silent audio library: the arrays allocated and written once.
void bench_init(benchmark::State& state)
{
    Engine* e = engine_ready();
    for (auto _ : state) {
        engine_shutdown(e);
        uint64_t t0 = plat_time_ns();
        bool ok = engine_init(e);
        state.SetIterationTime((double)(plat_time_ns() - t0) * 1e-9);
        if (!ok)
            state.SkipWithError("engine_init failed");
    }
    fill_loop(e);
}

// The first second of recording right after engine_init, at 128 frames: every loop
// page should already be mapped, so the audio thread takes no page fault.
void bench_first_second(benchmark::State& state)
{
    Engine* e = engine_ready();
    const int frames = 128;
    std::vector<float> out((size_t)frames * 2);
    uint64_t faults = 0;
    double worst = 0.0;
    for (auto _ : state) {
        engine_shutdown(e);
        if (!engine_init(e)) {
            state.SkipWithError("engine_init failed");
            break;
        }
        reset_engine(e);
        e->record = 1;
        uint64_t f0 = plat_rt_page_faults();
        uint64_t t0 = plat_time_ns();
        for (int b = 0; b < 375; b++) {
            uint64_t b0 = plat_time_ns();
            engine_audio_callback(g_noise.data() + (size_t)b * frames * 2, out.data(), frames, nullptr, 0, e);
            worst = std::max(worst, (double)(plat_time_ns() - b0));
        }
        state.SetIterationTime((double)(plat_time_ns() - t0) * 1e-9);
        faults += plat_rt_page_faults() - f0;
    }
    state.counters["page_faults"] = benchmark::Counter((double)faults, benchmark::Counter::kAvgIterations);
    if (faults)
        g_failures.push_back("the audio thread took page faults in the first second after engine_init");
    state.counters["max_us"] = worst / 1000.0;
    fill_loop(e);
}

void register_benchmarks(void)
{
    static const struct {
        const char* name;
        const std::vector<float>* data;
    } inputs[] = {{"noise", &g_noise}, {"burst", &g_burst}};
    for (const BenchScenario& sc : kScenarios)
        for (const auto& in : inputs) {
            std::string name = std::string("engine/") + sc.name + "/" + in.name;
            benchmark::RegisterBenchmark(name.c_str(), bench_callback, &sc, in.data)
                ->ArgName("frames")
                ->Arg(64)->Arg(128)->Arg(256)->Arg(512)->Arg(1024)
                ->UseManualTime()
                ->Unit(benchmark::kMicrosecond);
        }
    benchmark::RegisterBenchmark("loop_waveform/360s/columns:180", bench_waveform)->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("loop_resize/full", bench_resize)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
    benchmark::RegisterBenchmark("engine_init/arrays", bench_init)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
    benchmark::RegisterBenchmark("engine_init/then_first_second_recorded", bench_first_second)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
}

}  // namespace

int main(int argc, char** argv)
{
    make_inputs();
    g_samples.reserve(kMaxSamples);
    fill_loop(engine_ready());
    register_benchmarks();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    engine_shutdown(engine_instance());
    for (const std::string& f : g_failures)
        std::fprintf(stderr, "bench_engine: %s\n", f.c_str());
    return g_failures.empty() ? 0 : 1;
}
