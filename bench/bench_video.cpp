// bench_video.cpp - the video panel's cost to the UI thread and how well it keeps time:
// a 1080p H.264 file playing at a loop position that advances in real time, drawn by
// the panel's painter on SDL's offscreen GL renderer at 1160 x 1080, each frame ended
// by a 1 x 1 read-back so the figure includes the rasterising. Prints the frame work
// against the panel closed, the longest wait inside the player's calls, the share of
// frames in step with the loop and the catch-up after wraps, resident memory idle,
// playing and over 20 open-play-close cycles, and how long a destroy takes in the
// middle of a search (the worker cuts it short), each with its budget.
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

#include "app/panels/main/app_draw.h"
#include "app/app_state.h"
#include "app/video_panel.h"
#include "app/video_player.h"
#include "app/panels/main/view.h"
#include "app/window.h"
#include "audio/engine.h"
#include "ui/drawkit.h"

using Clock = std::chrono::steady_clock;

static const double kRate = 48000.0;
static const double kLoopSeconds = 4.0;     // the loop wraps every 4 s of the 10-s file
static const double kFrameSeconds = 1.0 / 60.0;

struct Bench {
    SDL_Renderer* renderer;
    SDL_Texture* target;
    DrawKit kit;
    AppState* app;
    Engine* engine;
    Clock::time_point start;
    double longest_wait_ms;
};

static double ms_since(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

static double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, (size_t)(p * (double)v.size()))];
}

static double resident_mb(void)
{
    long pages = 0, resident = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (f) {
        if (fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        fclose(f);
    }
    return (double)resident * (double)sysconf(_SC_PAGESIZE) / (1024.0 * 1024.0);
}

// The number in the strip of 16 cells across the top of a BGR0 frame; -1 when unclear.
static int32_t frame_number(const uint8_t* px, int32_t w, int32_t h)
{
    int32_t c = w / 16, n = 0;
    if (!px || c < 1 || h < c)
        return -1;
    for (int i = 0; i < 16; i++) {
        const uint8_t* p = px + ((size_t)(c / 2) * w + (size_t)(c * i + c / 2)) * 4;
        int m = (p[0] + p[1] + p[2]) / 3;
        if (m > 170)
            n |= 1 << i;
        else if (m > 85)
            return -1;
    }
    return n;
}

// Times one of the player's calls from the UI thread.
template <typename F>
static void timed(Bench* b, F call)
{
    auto t = Clock::now();
    call();
    b->longest_wait_ms = std::max(b->longest_wait_ms, ms_since(t));
}

// One UI frame: the loop position from the clock, the panel's update, upload and
// drawing, then the read-back. Returns its work in ms; sleeps out the rest of 1/60 s.
static double ui_frame(Bench* b)
{
    auto t = Clock::now();
    double seconds = std::chrono::duration<double>(t - b->start).count();
    b->engine->position.store((int32_t)(std::fmod(seconds, kLoopSeconds) * kRate));
    SDL_SetRenderDrawColor(b->renderer, 13, 17, 17, 255);
    SDL_RenderClear(b->renderer);
    view_video_panel(b->app, &b->kit);
    uint32_t pixel = 0;
    SDL_Rect one{0, 0, 1, 1};
    SDL_RenderReadPixels(b->renderer, &one, SDL_PIXELFORMAT_ARGB8888, &pixel, 4);
    double work = ms_since(t);
    double left = kFrameSeconds * 1000.0 - work;
    if (left > 0)
        std::this_thread::sleep_for(std::chrono::microseconds((int64_t)(left * 1000)));
    return work;
}

static bool wait_ready(Bench* b)
{
    auto until = Clock::now() + std::chrono::seconds(20);
    while (Clock::now() < until) {
        ui_frame(b);
        if (b->app->video_ready)
            return true;
    }
    return false;
}

static void report_frames(const char* what, const std::vector<double>& v)
{
    printf("  ui frame work, %-14s median %6.2f ms  p95 %6.2f ms  max %6.2f ms  (%zu frames)\n", what,
           percentile(v, 0.5), percentile(v, 0.95), percentile(v, 1.0), v.size());
}

int main()
{
    std::string fixtures = std::string(TESSEL_BUILD_ROOT) + "/video-fixtures";
    std::string make = std::string(TESSEL_SOURCE_ROOT) + "/tests/app/make_video_fixtures.sh " + fixtures + " --hd";
    if (std::system(make.c_str()) != 0) {
        printf("bench_video: skipped (the 1080p file could not be made)\n");
        return 0;
    }
    std::string hd = fixtures + "/hd.mp4";

    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        printf("bench_video: skipped (%s)\n", SDL_GetError());
        return 0;
    }
    SDL_Window* window = SDL_CreateWindow("bench", 0, 0, 1160, 1080, SDL_WINDOW_HIDDEN);
    Bench b{};
    b.renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED) : nullptr;
    b.target = b.renderer ? SDL_CreateTexture(b.renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET,
                                              1160, 1080)
                          : nullptr;
    if (!b.target || SDL_SetRenderTarget(b.renderer, b.target) != 0 || !draw_init(&b.kit, b.renderer)) {
        printf("bench_video: skipped (no GL renderer)\n");
        return 0;
    }
    b.kit.right_w = WINDOW_VIDEO_UNITS;
    draw_frame_layout(&b.kit, 1160, 1080);
    b.engine = engine_instance();
    b.engine->sample_rate = kRate;
    b.app = app_instance();
    b.app->engine = b.engine;
    app_layout_write(b.app);
    b.app->video_x = 640.0f;
    b.start = Clock::now();

    printf("bench_video: 1080p H.264 at a loop of %.0f s advancing in real time, 1160 x 1080 offscreen GL\n",
           kLoopSeconds);
    double idle_mb = resident_mb();
    std::vector<double> closed;
    for (int i = 0; i < 240; i++)
        closed.push_back(ui_frame(&b));

    video_panel_open(b.app, hd.c_str(), false);
    b.app->video_open = b.app->video_shown = 1;
    if (!wait_ready(&b)) {
        printf("bench_video: the 1080p file did not open\n");
        return 1;
    }
    // 12 s of playing: three wraps of the loop.
    std::vector<double> open;
    std::vector<double> catch_up;
    int in_step = 0, counted = 0;
    double last_shown = 0.0;
    Clock::time_point wrapped = Clock::now();
    bool caught_up = false;
    b.longest_wait_ms = 0.0;
    auto play_until = Clock::now() + std::chrono::seconds(12);
    while (Clock::now() < play_until) {
        auto frame_start = Clock::now();
        open.push_back(ui_frame(&b));
        double shown = b.app->video_shown_time;
        // Catch-up counts from the start of the frame that first asks for the wrapped time.
        if (shown < last_shown) {
            wrapped = frame_start;
            caught_up = false;
        }
        last_shown = shown;
        int32_t w = 0, h = 0;
        auto t = Clock::now();
        const uint8_t* px = video_player_lock_frame(b.app->video_player, &w, &h, nullptr, nullptr);
        b.longest_wait_ms = std::max(b.longest_wait_ms, ms_since(t));
        int32_t n = frame_number(px, w, h);
        video_player_unlock_frame(b.app->video_player);
        timed(&b, [&] { video_player_state(b.app->video_player); });
        timed(&b, [&] { video_player_seek(b.app->video_player, shown); });
        bool ok = n >= 0 && std::fabs(n - std::floor(shown * 30.0)) <= 1.0;
        double since_wrap = ms_since(wrapped);
        if (!caught_up && ok) {
            caught_up = true;
            if (since_wrap < 3000.0 && open.size() > 30)
                catch_up.push_back(since_wrap);
        }
        if (since_wrap > 500.0) {
            counted++;
            in_step += ok;
        }
    }
    double playing_mb = resident_mb();

    // Open, play half a second, close: 20 times.
    double first_cycle_mb = 0.0;
    for (int cycle = 0; cycle < 20; cycle++) {
        video_panel_open(b.app, hd.c_str(), false);
        wait_ready(&b);
        for (int i = 0; i < 30; i++)
            ui_frame(&b);
        video_player_close(b.app->video_player);
        b.app->video_path[0] = '\0';
        for (int i = 0; i < 10; i++)
            ui_frame(&b);
        if (cycle == 0)
            first_cycle_mb = resident_mb();
    }
    double cycles_mb = resident_mb();

    // A player destroyed just after a seek far into the file: the search is cut short.
    std::vector<double> destroys;
    for (int i = 0; i < 10; i++) {
        VideoPlayer* p = video_player_create();
        video_player_open(p, hd.c_str());
        while (video_player_state(p) == VIDEO_OPENING)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        video_player_seek(p, 7.9 + 0.01 * i);
        std::this_thread::sleep_for(std::chrono::milliseconds(2 * i));
        auto t = Clock::now();
        video_player_destroy(p);
        destroys.push_back(ms_since(t));
    }

    report_frames("panel closed:", closed);
    report_frames("1080p playing:", open);
    printf("  longest wait of the UI thread inside a video_player_* call: %.3f ms (budget 1 ms)%s\n",
           b.longest_wait_ms, b.longest_wait_ms <= 1.0 ? "" : "  OVER BUDGET");
    double share = counted ? 100.0 * in_step / counted : 0.0;
    printf("  frames within one video frame of the loop, outside 0.5 s after a wrap: %.1f %% of %d "
           "(budget 99 %%)%s\n",
           share, counted, share >= 99.0 ? "" : "  UNDER BUDGET");
    printf("  catch-up after a wrap (from the frame that asks): median %.1f ms, max %.1f ms over %zu wraps\n",
           percentile(catch_up, 0.5), percentile(catch_up, 1.0), catch_up.size());
    printf("  resident memory: idle %.1f MB, playing %.1f MB, after the first cycle %.1f MB, after 20 "
           "open-play-close cycles %.1f MB (budget: within 8 MB of the first cycle)%s\n",
           idle_mb, playing_mb, first_cycle_mb, cycles_mb,
           std::fabs(cycles_mb - first_cycle_mb) <= 8.0 ? "" : "  OVER BUDGET");
    printf("  destroy during a search: median %.1f ms, max %.1f ms over %zu (budget 500 ms)%s\n",
           percentile(destroys, 0.5), percentile(destroys, 1.0), destroys.size(),
           percentile(destroys, 1.0) <= 500.0 ? "" : "  OVER BUDGET");

    if (b.app->video_texture)
        SDL_DestroyTexture(b.app->video_texture);
    b.app->video_texture = nullptr;
    video_player_destroy(b.app->video_player);
    b.app->video_player = nullptr;
    draw_shutdown(&b.kit);
    SDL_DestroyTexture(b.target);
    SDL_DestroyRenderer(b.renderer);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
