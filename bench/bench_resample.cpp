// resample_bench - what each road from a 96 kHz take to a 48 kHz loop costs, per second
// of 96 kHz stereo: the decoded take (decoding a float WAV and resampling it, the
// loader's run), the WAV import (loop_load_wav, read and resampled straight into the
// loop) and bars (the take player's decoded take resampled from a grid start between
// frames). Prints one line per road:
//   resample ROAD ms_per_s=MS before=MS ratio=R thread=T
// MS the median of 5 runs over a 30 s take (8 s of bars, four at 120 BPM); before: the
// same road's figure before a take became the loop's cycle and bars moved off the UI
// thread (the median of three runs on the development machine, 2 cores, load average
// 2.5 to 3.3); T the thread the road's resampling runs on (bars: the UI thread before).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "app/takes.h"
#include "audio/loop_file.h"
#include "audio/resampler.h"
#include "audio/wav_write.h"
#include "engine_bench_setup.h"

static const int kRuns = 5;
static const double kFrom = 96000.0, kTo = 48000.0;
static const int kSeconds = 30;
static const double kBarSeconds = 8.0, kBarStart = 1.0003;

static double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

int main()
{
    // 30 s of two independent noises at 96 kHz, in memory and as a float WAV.
    const int64_t frames = (int64_t)(kSeconds * kFrom);
    std::vector<float> take((size_t)frames * 2);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> noise(-0.5f, 0.5f);
    for (float& x : take)
        x = noise(rng);
    std::random_device rd;
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("tessel-bench-" + std::to_string(rd()));
    std::filesystem::create_directories(dir);
    std::string path = (dir / "take.wav").string();
    if (!wav_write_float(path.c_str(), take.data(), 2, frames, kFrom)) {
        std::fprintf(stderr, "resample_bench: cannot write %s\n", path.c_str());
        return 1;
    }
    Engine* e = engine_bench::engine_ready();
    e->sample_rate = kTo;

    struct Road {
        const char* name;
        double before;      // ms per second of 96 kHz stereo before the change
        double seconds;     // of the take each run resamples
        const char* thread;
    } roads[] = {{"decoded_take", 3.892, (double)kSeconds, "loader"},
                 {"wav_import", 3.708, (double)kSeconds, "ui"},
                 {"bars", 3.678, kBarSeconds, "loader"}};
    int status = 0;
    int32_t bar_frames = (int32_t)std::llround(kBarSeconds * kTo);
    std::vector<float> left((size_t)bar_frames), right((size_t)bar_frames);
    for (int k = 0; k < 3; k++) {
        std::vector<double> runs;
        for (int i = 0; i < kRuns; i++) {
            auto t0 = std::chrono::steady_clock::now();
            bool ok = false;
            if (k == 0) {
                float *l = nullptr, *r = nullptr;
                int32_t n = 0;
                ok = take_decode(path.c_str(), kTo, 1.0f, &l, &r, &n);
                std::free(l);
                std::free(r);
            } else if (k == 1) {
                ok = loop_load_wav(e, path.c_str());
            } else {
                ok = resample_interleaved(take.data(), 2, frames, kFrom, kTo, kBarStart * kFrom, 1.0f, left.data(),
                                          right.data(), bar_frames);
            }
            runs.push_back(seconds_since(t0));
            if (!ok) {
                std::fprintf(stderr, "resample_bench: %s failed\n", roads[k].name);
                status = 1;
                break;
            }
        }
        if (runs.size() != (size_t)kRuns)
            continue;
        double ms = median(runs) * 1000.0 / roads[k].seconds;
        std::printf("resample %s ms_per_s=%.3f before=%.3f ratio=%.2f thread=%s\n", roads[k].name, ms,
                    roads[k].before, ms / roads[k].before, roads[k].thread);
        std::fflush(stdout);
    }
    std::filesystem::remove_all(dir);
    engine_shutdown(e);
    return status;
}
