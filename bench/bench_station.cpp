// bench_station.cpp - what the broadcast tap costs inside the audio callback: one
// block of 48 kHz stereo pushed into the station's ring, per block size, and a block
// dropped because the ring is full. The station is marked on air without its thread
// or sockets; the bench empties the ring itself after each block, as a station thread
// that keeps up would.
// Reports Time per block and per_frame (time per frame).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "broadcast/tcstream.h"
#include "broadcast/tcstream_internal.h"

namespace {

Station g_station;

bool station_ready()
{
    static bool ready = tcstream_init(&g_station, "tessel", "Tessel", "output", "out", 0, "") == 0;
    if (ready)
        g_station.running.store(1);
    return ready;
}

void tap_push(benchmark::State& state)
{
    if (!station_ready()) {
        state.SkipWithError("station init failed");
        return;
    }
    int frames = (int)state.range(0);
    std::vector<float> block((size_t)frames * 2, 0.25f);
    for (auto _ : state) {
        tcstream_feed(&g_station, block.data(), frames, 48000.0);
        g_station.consumed.store(g_station.written.load(std::memory_order_relaxed), std::memory_order_relaxed);
    }
    state.counters["per_frame"] =
        benchmark::Counter((double)state.iterations() * frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// A 1 kHz sine at the device's rate, so the conversion works on real signal. The rate
// tracker is shown a clock that moves one block's duration per block, as a device's
// would: the real clock, racing, would make it lock onto a rate far above any device's.
void tap_resample(benchmark::State& state)
{
    if (!station_ready()) {
        state.SkipWithError("station init failed");
        return;
    }
    int frames = (int)state.range(0);
    double rate = (double)state.range(1);
    std::vector<float> block((size_t)frames * 2);
    for (int n = 0; n < frames; n++)
        block[2 * n] = block[2 * n + 1] = 0.5f * (float)std::sin(6.283185307179586 * 1000.0 * n / rate);
    double clock_ns = 1.0;
    for (auto _ : state) {
        clock_ns += frames * 1e9 / rate;
        tcstream_feed_at(&g_station, block.data(), frames, rate, (int64_t)clock_ns);
        g_station.consumed.store(g_station.written.load(std::memory_order_relaxed), std::memory_order_relaxed);
    }
    state.counters["per_frame"] =
        benchmark::Counter((double)state.iterations() * frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void tap_drop(benchmark::State& state)
{
    if (!station_ready()) {
        state.SkipWithError("station init failed");
        return;
    }
    std::vector<float> block(128 * 2, 0.25f);
    // Leave the ring full: every block is dropped.
    g_station.consumed.store(g_station.written.load() - TCSTREAM_RING_FRAMES + 64);
    for (auto _ : state)
        tcstream_feed(&g_station, block.data(), 128, 48000.0);
    g_station.consumed.store(g_station.written.load());
}

}  // namespace

BENCHMARK(tap_push)->Name("station/tap_push")->Arg(64)->Arg(128)->Arg(512)->Arg(4096);
BENCHMARK(tap_resample)
    ->Name("station/tap_resample")
    ->ArgNames({"frames", "rate"})
    ->ArgsProduct({{128, 512, 4096}, {44100, 96000}});
BENCHMARK(tap_drop)->Name("station/tap_drop/frames:128");

BENCHMARK_MAIN();
