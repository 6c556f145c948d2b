// bench_frame.cpp - what one frame of the main view costs: the program's own frame
// loop (events, update, drawing, present) with the OpenGL renderer (Mesa), a 60 s loop
// playing. Prints the CPU time per frame in microseconds, median and 95th percentile,
// so later panels can be held to it.
//
// With a display (DISPLAY set, as bench/ui_cpu.sh's Xvfb gives) the frames go to a real
// X window, presents included, and the pointer is moved over the window in a slow
// circle every frame: the cursor, its trail and the backdrop's parallax are drawn as a
// user's mouse makes them. Without one it falls back to SDL's offscreen driver, where
// there is no pointer and presents cost nothing; it says which it used.
//
// CPU time is the whole process's (CLOCK_PROCESS_CPUTIME_ID): a software GL driver
// draws on threads of its own, and that work is part of what a frame costs; the UI
// thread's own share is printed beside it. The window has its own size, 620 x 1010
// (the offscreen display is smaller, and the shell fits its first window to it). The audio
// callback that moves the loop on runs between the timed frames, on this thread, and
// is not counted. The clock the shell sees moves 1/60 s per frame, as under vsync.
#include <SDL.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "app/app_state.h"
#include "app/shell.h"
#include "audio/engine.h"
#include "audio/looper.h"
#include "engine_bench_setup.h"

namespace {

constexpr double kRate = 48000.0;
constexpr int kLoopSeconds = 60;
constexpr int kWarmFrames = 120;
constexpr int kFrames = 1800;                     // 30 s of frames at 60 per second
constexpr int kBlock = 800;                       // audio frames per video frame

double g_now = 1000.0;
double bench_clock()
{
    return g_now;
}

double cpu_seconds(clockid_t which)
{
    timespec ts{};
    clock_gettime(which, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

// A 60 s loop of a slowly swelling two-tone chord, so the overview and the meters
// have something to show.
void fill_loop(Engine* e)
{
    const int32_t n = (int32_t)(kLoopSeconds * kRate);
    for (int32_t i = 0; i < n; i++) {
        double t = i / kRate;
        float swell = 0.3f + 0.25f * (float)std::sin(2.0 * M_PI * 0.25 * t);
        e->loop_left[i] = swell * (float)std::sin(2.0 * M_PI * 220.0 * t);
        e->loop_right[i] = swell * (float)std::sin(2.0 * M_PI * 330.0 * t);
    }
    e->sample_rate = kRate;
    e->length.store(n);
    e->position.store(0);
    e->playing.store(1);
    e->content_generation.fetch_add(1);
}

// One block through the callback: the play head moves, meters and wraps follow.
void audio_block(Engine* e)
{
    static std::vector<float> in((size_t)kBlock * 2, 0.0f), out((size_t)kBlock * 2, 0.0f);
    engine_audio_callback(in.data(), out.data(), (unsigned long)kBlock, nullptr, 0, e);
}

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    size_t i = (size_t)std::min<double>((double)v.size() - 1, std::floor(p * (double)(v.size() - 1) + 0.5));
    return v[i];
}

// The pointer on a circle round the window's middle, a turn every 4 s.
void pointer_step(SDL_Window* window, int frame)
{
    int w = 0, h = 0;
    SDL_GetWindowSize(window, &w, &h);
    double a = 2.0 * M_PI * frame / 240.0;
    SDL_WarpMouseInWindow(window, (int)(w * (0.5 + 0.3 * std::cos(a))), (int)(h * (0.5 + 0.3 * std::sin(a))));
}

}  // namespace

int main()
{
    // A home of its own: the shell writes its settings and takes folder there.
    char tmpl[] = "/tmp/tessel-bench-frame-XXXXXX";
    if (!mkdtemp(tmpl)) {
        perror("bench_frame: mkdtemp");
        return 1;
    }
    std::filesystem::path root = tmpl;
    std::filesystem::create_directories(root / "home/.config");
    std::filesystem::create_directories(root / "scratch");
    setenv("HOME", (root / "home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "home/.config").c_str(), 1);
    setenv("TMPDIR", (root / "scratch").c_str(), 1);
    unsetenv("APPDATA");
    const char* display = getenv("DISPLAY");
    bool windowed = display && *display;
    setenv("SDL_VIDEODRIVER", windowed ? "x11" : "offscreen", 1);

    engine_use_backend(&engine_bench::kSilentBackend, nullptr);
    static ShellCtx sh;
    ShellOptions options{bench_clock};
    char name[] = "tessel";
    char* argv[] = {name, nullptr};
    if (shell_start(&sh, 1, argv, &options) != 0) {
        fprintf(stderr, "bench_frame: the shell did not start\n");
        std::filesystem::remove_all(root);
        return 1;
    }
    SDL_SetWindowSize(sh.window, WINDOW_START_WIDTH, WINDOW_START_HEIGHT);
    SDL_RendererInfo info{};
    SDL_GetRendererInfo(sh.renderer, &info);
    fill_loop(sh.engine);

    std::vector<double> us, ui_us;
    us.reserve(kFrames);
    ui_us.reserve(kFrames);
    for (int f = 0; f < kWarmFrames + kFrames; f++) {
        audio_block(sh.engine);
        g_now += 1.0 / 60.0;
        if (windowed)
            pointer_step(sh.window, f);
        double t0 = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID), u0 = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
        shell_frame(&sh);
        double t1 = cpu_seconds(CLOCK_PROCESS_CPUTIME_ID), u1 = cpu_seconds(CLOCK_THREAD_CPUTIME_ID);
        if (f >= kWarmFrames) {
            us.push_back((t1 - t0) * 1e6);
            ui_us.push_back((u1 - u0) * 1e6);
        }
    }
    int w = 0, h = 0;
    SDL_GetRendererOutputSize(sh.renderer, &w, &h);
    double mean = 0.0;
    for (double v : us)
        mean += v / (double)us.size();
    printf("bench_frame: main view, %dx%d, renderer %s, %s, %d s loop playing, %d frames\n", w, h,
           info.name ? info.name : "?", windowed ? "X window, pointer moving over it" : "offscreen, no pointer",
           kLoopSeconds, kFrames);
    printf("bench_frame: CPU per frame: median %.0f us, p95 %.0f us, mean %.0f us\n", percentile(us, 0.5),
           percentile(us, 0.95), mean);
    printf("bench_frame: of which the UI thread: median %.0f us, p95 %.0f us\n", percentile(ui_us, 0.5),
           percentile(ui_us, 0.95));
    shell_stop(&sh);
    engine_use_backend(nullptr, nullptr);
    std::filesystem::remove_all(root);
    return 0;
}
