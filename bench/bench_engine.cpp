// bench_engine.cpp - what the audio callback costs at 48 kHz, per scenario and block
// size, and what the UI's loop operations and the engine's start-up cost.
// Every callback case is named engine/<scenario>/<input>/frames:<block> and reports:
//   Time          mean time per block (each block timed on its own)
//   ns_per_frame  mean time per frame
//   dsp_load      mean time per block over the block's duration (1.0 = a whole core)
//   p99_us, max_us, dsp_load_max   the slow tail of the per-block times
//   and a counter of the scenario's own where it has one (see the table).
// Scenarios: the looper's own (idle, first_pass, overdub_reverse_300s, hook_tap), the
// preview player (preview), the
// input router with 64 inputs (router64), an instrument plug-in fed MIDI (instrument),
// the effect patches at their most expensive (worst_chain), and each built-in effect
// alone in slot 0 (fx/<NAME>, 128 frames only).
// Inputs (engine_bench_setup.h): "noise", "burst" (decays into denormals), and
// "noise64" for the 64-input device.
// Each block is timed on its own with the monotonic clock, which adds about 25 ns
// to every block's figure. Also timed: loop_waveform on a 360 s loop, loop_resize to full
// capacity, engine_init, and the first second recorded after it.
// Checks (the program prints them last and exits 1 when one fails): a scenario's
// budget of one core at 128 frames; no page fault in the first second after
// engine_init; worst_chain fed 1 s of noise then 20 s of digital silence keeps every
// second of the silence within 2x of its time per block in the noise (denormals would
// slow it down).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "audio/engine.h"
#include "audio/engine_retire.h"
#include "audio/fx.h"
#include "audio/looper.h"
#include "audio/preview.h"
#include "audio/vst.h"
#include "bench/engine_bench_setup.h"
#include "platform/plat_rt.h"
#include "platform/plat_time.h"
#include "rig/rig_device.h"
#include "rig/router.h"
// The host's MIDI-counting mock plug-in, compiled into this program and loaded
// through vst_load_entry.
#include "tests/audio/vst_mock_impl.h"

using namespace engine_bench;

namespace {

// ---------------------------------------------------------------------------
// Constants and results
// ---------------------------------------------------------------------------

const int32_t kOverdubLoop = 300 * 48000;      // 300 s
const size_t kMaxSamples = size_t(1) << 23;    // per-block times kept per case
const int kBudgetFrames = 128;                 // block size the budgets hold at

std::vector<uint32_t> g_samples;
std::vector<std::string> g_summary;    // figures the checks looked at, printed last
std::vector<std::string> g_failures;   // broken rules found while measuring

// ---------------------------------------------------------------------------
// Scenarios: the looper's own
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
    const std::vector<float>& burst = g_burst.data;
    for (int32_t i = 0; i < n; i++) {
        l[i] += burst[p->pos];
        r[i] += burst[p->pos + 1];
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

// The preview player itself: the noise as a 44.1 kHz take looping on the render hook,
// converted to 48 kHz, beside a 60 s loop playing. Each run loads a new take; the
// next load frees the one it replaced.
PreviewPlayer g_player;

void preview_setup(Engine* e)
{
    fill_loop(e, 60 * 48000);
    e->length = 60 * 48000;
    size_t bytes = (size_t)kInputFrames * 2 * sizeof(float);
    SampleBuffer* take = sample_buffer_create();
    float* samples = (float*)std::malloc(bytes);
    if (!take || !samples) {
        std::fprintf(stderr, "bench_engine: no memory for the preview take\n");
        std::exit(1);
    }
    std::memcpy(samples, g_noise.data.data(), bytes);
    take->samples = samples;
    take->channels = 2;
    take->sample_rate = 44100.0;
    take->frames = kInputFrames;
    preview_load(&g_player, take, true);
    preview_set_looping(&g_player, true);
    engine_set_render_hook(
        e, [](void* p, float* l, float* r, int32_t n, double rate) { preview_render((PreviewPlayer*)p, l, r, n, rate); },
        &g_player);
}

// ---------------------------------------------------------------------------
// Scenarios: the input router
// ---------------------------------------------------------------------------

// A 64-input interface whose scene mix is published again before every block, with
// every channel's gains moved each time. The ramp outlasts the longest block, so all
// 64 ramps run through every block and the meters see every input.
const float kRouterRampSeconds = 0.05f;   // 2,400 frames

struct Router64State {
    RigRouter* router = nullptr;
    uint32_t tag = 0;
    RigMix mix = {};
};
Router64State g_router64;

void router64_publish(Engine* e, int)
{
    uint32_t k = e->callback_count.load(std::memory_order_relaxed);
    RigMix* mix = &g_router64.mix;
    mix->channels = kWideChannels;
    mix->master = 1.0f;
    for (int c = 0; c < kWideChannels; c++) {
        float g = 0.02f + 0.01f * (float)((k + (uint32_t)c) % 8);
        mix->left[c] = g;
        mix->right[c] = 0.11f - g;
    }
    rigroute_publish_mix(g_router64.router, mix, g_router64.tag, kRouterRampSeconds);
}

void router64_setup(Engine* e)
{
    if (!g_router64.router)
        g_router64.router = rigroute_new();
    if (!g_router64.router) {
        std::fprintf(stderr, "bench_engine: no memory for the router\n");
        std::exit(1);
    }
    // As the engine prepares the router when it opens a 64-input stream.
    RigMix fallback;
    rig_default_input_mix("jack", kWideChannels, &fallback);
    g_router64.tag = rig_fnv1a32("jack:Bench 64-input interface");
    rigroute_prepare(g_router64.router, kRate, kWideChannels, g_router64.tag, &fallback);
    RigMeters meters;
    rigroute_take_meters(g_router64.router, &meters);
    e->input_channels = kWideChannels;
    e->router = g_router64.router;
    router64_publish(e, 0);
}

// inputs_mixed: inputs whose post-gain peak the router metered (64 when the published
// mixes were applied to every input).
void router64_report(Engine*, benchmark::State& state, uint64_t)
{
    RigMeters meters;
    rigroute_take_meters(g_router64.router, &meters);
    int mixed = 0;
    for (int c = 0; c < kWideChannels; c++)
        mixed += meters.post_peak[c] > 0.0f;
    state.counters["inputs_mixed"] = mixed;
}

// ---------------------------------------------------------------------------
// Scenarios: an instrument plug-in
// ---------------------------------------------------------------------------

// The mock instrument (no inputs, two outputs) gets 64 MIDI messages per block, as
// many as the host hands over: 32 notes switched on and off again.
const int kNotesPerBlock = VST_MIDI_PER_BLOCK / 2;

void instrument_push_midi(Engine* e, int)
{
    VstPlugin* p = e->instrument.load(std::memory_order_relaxed);
    for (int n = 0; n < kNotesPerBlock; n++) {
        vst_midi_push(p, 0x90, (uint8_t)(36 + n), 100);
        vst_midi_push(p, 0x80, (uint8_t)(36 + n), 0);
    }
}

void instrument_setup(Engine* e)
{
    vst_mock_reset();
    VstMockConfig& cfg = g_vst_mock.config;
    cfg.inputs = 0;
    cfg.outputs = 2;
    cfg.flags = VST_FLAG_CAN_REPLACE | VST_FLAG_IS_SYNTH;
    std::snprintf(cfg.name, sizeof cfg.name, "%s", "Mock Instrument");
    char err[128];
    VstPlugin* p = vst_load_entry("mock instrument", vst_mock_entry, (float)kRate, ENGINE_MAX_BLOCK, err, sizeof err);
    if (!p) {
        std::fprintf(stderr, "bench_engine: the mock instrument did not load: %s\n", err);
        std::exit(1);
    }
    engine_publish_plugin(e, &e->instrument, p);
    instrument_push_midi(e, 0);
}

// midi_per_block: MIDI messages the plug-in received per block (64 expected).
void instrument_report(Engine*, benchmark::State& state, uint64_t blocks)
{
    state.counters["midi_per_block"] = (double)g_vst_mock.stats.midi_events.load() / (double)blocks;
}

// ---------------------------------------------------------------------------
// Scenarios: the effect patches
// ---------------------------------------------------------------------------

// Gate on; patch A runs HALL then GHOST at full density, patch B PHASER then RADIO,
// mixed half and half and half wet. RADIO's bandwidth knob sweeps up and down every
// 32 blocks, so its band-pass is recomputed on every frame.
const float kWorstGate = 0.05f;
const uint32_t kSweepBlocks = 32;

void worst_chain_setup(Engine* e)
{
    e->gate_threshold = kWorstGate;
    e->slots[0].knob1 = 0.8f;    // HALL size
    e->slots[1].knob2 = 1.0f;    // GHOST density: eight grains at once
    e->wet_dry = 0.5f;
    e->crossfade = 0.5f;
}

void worst_chain_move_knob(Engine* e, int)
{
    uint32_t k = e->callback_count.load(std::memory_order_relaxed) % kSweepBlocks;
    float half = (float)(kSweepBlocks / 2);
    float t = (float)k / half;
    e->slots[3].knob2 = t <= 1.0f ? t : 2.0f - t;
}

// ghost_voices: GHOST's grains sounding after the last block. With the density knob at
// its top the smoothed knob stays a hair below 1, so the density rounds down to 7
// grains per grain length: 7 sound, now and then 8 for a few frames.
void worst_chain_report(Engine* e, benchmark::State& state, uint64_t)
{
    int voices = 0;
    for (const FxGrainVoice& v : e->slots[1].grains)
        voices += v.active;
    state.counters["ghost_voices"] = voices;
}

// ---------------------------------------------------------------------------
// The table
// ---------------------------------------------------------------------------

struct BenchScenario {
    const char* name = nullptr;
    void (*setup)(Engine* e) = nullptr;              // untimed: puts the engine in the state
    void (*upkeep)(Engine* e, int frames) = nullptr; // untimed, between blocks
    // Untimed, after the last block: counters of the scenario's own.
    void (*report)(Engine* e, benchmark::State& state, uint64_t blocks) = nullptr;
    int fx[ENGINE_SLOTS] = {};                       // slot types, set with fx_set_type
    const BenchInput* inputs[2] = {&g_noise, &g_burst};
    double budget = 0.0;                             // largest dsp_load at 128 frames; 0: none
};

const BenchScenario kWorstChain = {
    .name = "worst_chain",
    .setup = worst_chain_setup,
    .upkeep = worst_chain_move_knob,
    .report = worst_chain_report,
    .fx = {FX_HALL, FX_GHOST, FX_PHASER, FX_RADIO},
    .budget = 0.10,
};

const BenchScenario kScenarios[] = {
    // Input monitored to the output, no loop.
    {.name = "idle"},
    // Recording the first pass; restarted before the loop's capacity closes it.
    {.name = "first_pass",
     .setup = [](Engine* e) { e->record = 1; },
     .upkeep =
         [](Engine* e, int frames) {
             if (e->position.load() > ENGINE_LOOP_CAPACITY - 2 * frames)
                 e->position = 0;
         }},
    // Overdub on a 300 s loop played in reverse: the whole 2 x 58 MB walked backwards.
    {.name = "overdub_reverse_300s",
     .setup =
         [](Engine* e) {
             fill_loop(e, kOverdubLoop);
             e->length = kOverdubLoop;
             e->position = kOverdubLoop - 1;
             e->reversed = 1;
             e->record = 1;
         }},
    // A 60 s loop playing, with a preview player on the render hook and a recorder on
    // the output tap.
    {.name = "hook_tap",
     .setup =
         [](Engine* e) {
             fill_loop(e, 60 * 48000);
             e->length = 60 * 48000;
             engine_set_render_hook(e, preview_hook, &g_preview);
             engine_set_output_tap(e, recorder_tap, &g_ring);
         }},
    // A take looping through the preview player beside a 60 s loop.
    {.name = "preview", .setup = preview_setup},
    // 64 inputs through the router, a new mix every block.
    {.name = "router64",
     .setup = router64_setup,
     .upkeep = router64_publish,
     .report = router64_report,
     .inputs = {&g_noise64, nullptr},
     .budget = 0.02},
    // The mock instrument with 64 MIDI messages per block.
    {.name = "instrument",
     .setup = instrument_setup,
     .upkeep = instrument_push_midi,
     .report = instrument_report},
    // Both effect patches at their most expensive, a knob moving.
    kWorstChain,
};

// fx/<NAME>: one built-in effect alone in slot 0, knobs at the middle, fully wet.
BenchScenario g_fx_alone[FX_TYPE_COUNT - 1];
std::string g_fx_alone_names[FX_TYPE_COUNT - 1];

void make_fx_alone(void)
{
    for (int t = FX_OFF + 1; t < FX_TYPE_COUNT; t++) {
        g_fx_alone_names[t - 1] = std::string("fx/") + fx_name(t);
        BenchScenario& sc = g_fx_alone[t - 1];
        sc.name = g_fx_alone_names[t - 1].c_str();
        sc.fx[0] = t;
    }
}

// ---------------------------------------------------------------------------
// Timing the callback
// ---------------------------------------------------------------------------

// Puts the engine in the scenario's state. Types are set only where they change, so
// a case run again writes no new "FX:" line.
void start_scenario(Engine* e, const BenchScenario* sc)
{
    reset_engine(e);
    for (int s = 0; s < ENGINE_SLOTS; s++)
        fx_set_type(&e->slots[s], sc->fx[s]);
    if (sc->setup)
        sc->setup(e);
}

// The dsp_load of each budgeted case at 128 frames, by case name. Google Benchmark
// runs a case several times while it settles the block count; the last run, the one
// it reports, overwrites the others.
struct BudgetResult {
    double load, budget;
};
std::map<std::string, BudgetResult> g_budgets;

void note_budget(const BenchScenario* sc, const BenchInput* input, int frames, double load)
{
    if (sc->budget > 0.0 && frames == kBudgetFrames)
        g_budgets[std::string(sc->name) + "/" + input->name] = {load, sc->budget};
}

void check_budgets(void)
{
    for (const auto& [name, r] : g_budgets) {
        char line[160];
        std::snprintf(line, sizeof line, "%s at %d frames: %.2f %% of one core (budget %.0f %%)", name.c_str(),
                      kBudgetFrames, r.load * 100.0, r.budget * 100.0);
        g_summary.push_back(line);
        if (r.load > r.budget)
            g_failures.push_back(std::string(line) + ": over budget");
    }
}

void bench_callback(benchmark::State& state, const BenchScenario* sc, const BenchInput* input)
{
    Engine* e = engine_ready();
    start_scenario(e, sc);
    const int frames = (int)state.range(0);
    std::vector<float> out((size_t)frames * 2);
    g_samples.clear();
    int offset = 0;
    double total_ns = 0.0;
    uint64_t blocks = 0;
    for (auto _ : state) {
        const float* in = input->data.data() + (size_t)offset * (size_t)input->channels;
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
    if (blocks) {
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
        if (sc->report)
            sc->report(e, state, blocks);
        note_budget(sc, input, frames, mean / block_ns);
    }
    reset_engine(e);
}

// ---------------------------------------------------------------------------
// Denormals: the worst chain through a long silence
// ---------------------------------------------------------------------------

// worst_chain at 128 frames fed 1 s of noise, then 20 s of digital silence: the lines,
// filters and the gate decay towards zero, and without flush-to-zero their subnormal
// values slow the operations on them down, more the longer the silence lasts. Every
// second of the silence must stay within 2x of the noise, each taken as its typical
// (median) block, which a preempted block does not move; the means are reported too.
const double kDenormalLimit = 2.0;
const int kSilenceSeconds = 20;

double mean_of(const uint32_t* v, size_t n)
{
    double sum = 0.0;
    for (size_t i = 0; i < n; i++)
        sum += v[i];
    return n ? sum / (double)n : 0.0;
}

double median_of(const uint32_t* v, size_t n)
{
    if (!n)
        return 0.0;
    std::vector<uint32_t> sorted(v, v + n);
    std::nth_element(sorted.begin(), sorted.begin() + (ptrdiff_t)(n / 2), sorted.end());
    return sorted[n / 2];
}

void bench_denormals(benchmark::State& state)
{
    Engine* e = engine_ready();
    const int frames = kBudgetFrames;
    const int second = (int)kRate / frames;    // blocks in one second
    std::vector<float> out((size_t)frames * 2), silence((size_t)frames * 2, 0.0f);
    std::vector<uint32_t> times((size_t)second * (1 + kSilenceSeconds));
    for (auto _ : state) {
        start_scenario(e, &kWorstChain);
        uint64_t total = 0;
        for (size_t b = 0; b < times.size(); b++) {
            bool noise = b < (size_t)second;
            const float* in = noise ? g_noise.data.data() + b * (size_t)frames * 2 : silence.data();
            uint64_t t0 = plat_time_ns();
            engine_audio_callback(in, out.data(), (unsigned long)frames, nullptr, 0, e);
            uint64_t ns = plat_time_ns() - t0;
            total += ns;
            times[b] = (uint32_t)std::min<uint64_t>(ns, UINT32_MAX);
            kWorstChain.upkeep(e, frames);
        }
        state.SetIterationTime((double)total * 1e-9);
    }
    benchmark::DoNotOptimize(out.data());
    const uint32_t* quiet = times.data() + second;
    const size_t quiet_blocks = (size_t)second * kSilenceSeconds;
    double noise_mean = mean_of(times.data(), (size_t)second);
    double noise_median = median_of(times.data(), (size_t)second);
    double silence_mean = mean_of(quiet, quiet_blocks);
    double slowest = 0.0;
    int slowest_at = 0;
    for (int s = 0; s < kSilenceSeconds; s++) {
        double m = median_of(quiet + (size_t)s * second, (size_t)second);
        if (m > slowest) {
            slowest = m;
            slowest_at = s + 1;
        }
    }
    double mean_ratio = noise_mean > 0.0 ? silence_mean / noise_mean : 0.0;
    double ratio = noise_median > 0.0 ? slowest / noise_median : 0.0;
    state.counters["noise_us"] = noise_mean / 1000.0;
    state.counters["silence_us"] = silence_mean / 1000.0;
    state.counters["mean_ratio"] = mean_ratio;
    state.counters["slowest_second_ratio"] = ratio;
    char line[256];
    std::snprintf(line, sizeof line,
                  "worst_chain, 1 s of noise then %d s of silence at %d frames: noise %.2f us/block, "
                  "silence %.2f us/block, ratio %.2f; typical block: noise %.2f us, slowest second "
                  "of silence (second %d) %.2f us, ratio %.2f (limit %.0f)",
                  kSilenceSeconds, frames, noise_mean / 1000.0, silence_mean / 1000.0, mean_ratio,
                  noise_median / 1000.0, slowest_at, slowest / 1000.0, ratio, kDenormalLimit);
    g_summary.push_back(line);
    if (ratio > kDenormalLimit)
        g_failures.push_back(std::string(line) + ": the silence runs too slow (denormals?)");
    reset_engine(e);
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
            engine_audio_callback(g_noise.data.data() + (size_t)b * frames * 2, out.data(), frames, nullptr, 0, e);
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

// ---------------------------------------------------------------------------
// Registration and main
// ---------------------------------------------------------------------------

void register_callback_cases(const BenchScenario* sc, const std::vector<int64_t>& sizes)
{
    for (const BenchInput* in : sc->inputs) {
        if (!in)
            continue;
        std::string name = std::string("engine/") + sc->name + "/" + in->name;
        benchmark::RegisterBenchmark(name.c_str(), bench_callback, sc, in)
            ->ArgName("frames")
            ->ArgsProduct({sizes})
            ->UseManualTime()
            ->Unit(benchmark::kMicrosecond);
    }
}

void register_benchmarks(void)
{
    for (const BenchScenario& sc : kScenarios)
        register_callback_cases(&sc, {64, 128, 256, 512, 1024});
    benchmark::RegisterBenchmark("engine/worst_chain/noise_then_silence/frames:128", bench_denormals)
        ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
    make_fx_alone();
    for (const BenchScenario& sc : g_fx_alone)
        register_callback_cases(&sc, {kBudgetFrames});
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
    reset_engine(engine_instance());
    engine_shutdown(engine_instance());
    rigroute_free(g_router64.router);
    check_budgets();
    for (const std::string& s : g_summary)
        std::printf("bench_engine: %s\n", s.c_str());
    for (const std::string& f : g_failures)
        std::fprintf(stderr, "bench_engine: %s\n", f.c_str());
    return g_failures.empty() ? 0 : 1;
}
