// bench_library - the library's frame on the offscreen GL renderer and its reader.
// Prints:
//   library frame cards=2000 median_ms=.. p99_ms=.. worst_ms=..   (FILES, source ALL,
//       scrolling and hovering over 2,000 cards)
//   library frame browse=2000 median_ms=.. p99_ms=.. worst_ms=..  (BROWSE on a folder
//       of 2,000 files, scrolling and hovering)
//   library reader files=2000 summaries_per_s=.. seconds=..       (WAV, FLAC and MP3)
// A frame's time is library_update plus library_draw. Needs sox and ffmpeg for the
// FLAC and MP3 files (WAV only without them).
#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/preview.h"
#include "library/folder_tree.h"
#include "library/library.h"
#include "library/views/library_view.h"
#include "ui/canvas.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static const int kFiles = 2000;
static const int kFrames = 600;

static void report(const char* what, std::vector<double>& ms)
{
    std::sort(ms.begin(), ms.end());
    std::printf("library frame %s=%d median_ms=%.3f p99_ms=%.3f worst_ms=%.3f\n", what, kFiles, ms[ms.size() / 2],
                ms[(size_t)(ms.size() * 0.99)], ms.back());
}

static void motion(Library* lib, float x, float y, double now)
{
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    library_handle_event(lib, &e, x, y, nullptr, now);
}

static std::vector<double> frames(Library* lib, Canvas* c, SDL_Renderer* r)
{
    std::vector<double> ms;
    CanvasRect rect{0, 0, 580, 922};
    double now = 1.0;
    for (int f = 0; f < kFrames; f++) {
        now += 1.0 / 60.0;
        // Scroll down and back, and sweep the pointer over the rows.
        lib->scroll_target = (float)((f % 200) * 40);
        if (lib->tree)
            lib->tree->scroll_target = (float)((f % 200) * 40);
        motion(lib, 300.0f, 100.0f + (float)((f * 37) % 800), now);
        SDL_SetRenderDrawColor(r, 0, 0, 0, 255);
        SDL_RenderClear(r);
        auto t0 = Clock::now();
        library_update(lib, now, 1.0f / 60.0f);
        canvas_begin(c, 0, 0, 1.0f);
        library_draw(c, nullptr, lib, &rect, nullptr, nullptr, now);
        canvas_end(c);
        SDL_RenderFlush(r);
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    }
    return ms;
}

static bool make_sources(const std::string& dir, std::vector<std::string>& out)
{
    std::string wav = dir + "/src.wav", flac = dir + "/src.flac", mp3 = dir + "/src.mp3";
    std::string cmd = "sox -n -r 44100 -c 2 -b 16 '" + wav + "' synth 0.5 sine 440 vol 0.5 2>/dev/null";
    if (std::system(cmd.c_str()) != 0)
        return false;
    out.push_back(wav);
    cmd = "sox -n -r 48000 -c 1 '" + flac + "' synth 0.5 sine 660 vol 0.5 2>/dev/null";
    if (std::system(cmd.c_str()) == 0)
        out.push_back(flac);
    cmd = "ffmpeg -loglevel error -y -f lavfi -i sine=frequency=330:duration=0.5:sample_rate=44100 -c:a libmp3lame '" +
          mp3 + "' 2>/dev/null";
    if (std::system(cmd.c_str()) == 0)
        out.push_back(mp3);
    return true;
}

int main()
{
    std::string dir = (fs::temp_directory_path() / ("tessel-library-bench-" + std::to_string(getpid()))).string();
    fs::create_directories(dir + "/files");
    setenv("APPDATA", (dir + "/data").c_str(), 1);
    std::vector<std::string> sources;
    if (!make_sources(dir, sources)) {
        std::fprintf(stderr, "bench_library: sox is needed\n");
        return 1;
    }
    std::vector<std::string> files;
    for (int i = 0; i < kFiles; i++) {
        const std::string& src = sources[(size_t)i % sources.size()];
        std::string ext = src.substr(src.rfind('.'));
        char name[64];
        std::snprintf(name, sizeof name, "/files/take%04d%s", i, ext.c_str());
        fs::copy_file(src, dir + name);
        files.push_back(dir + name);
    }

    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return 1;
    SDL_Window* w = SDL_CreateWindow("bench", 0, 0, 640, 1080, SDL_WINDOW_HIDDEN);
    SDL_Renderer* r = w ? SDL_CreateRenderer(w, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_TARGETTEXTURE) : nullptr;
    SDL_Texture* target = r ? SDL_CreateTexture(r, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, 640, 1080)
                            : nullptr;
    Canvas* c = target ? canvas_create(r) : nullptr;
    if (!c) {
        std::fprintf(stderr, "bench_library: no offscreen GL renderer\n");
        return 1;
    }
    SDL_SetRenderTarget(r, target);

    PreviewPlayer player;
    preview_init(&player);
    Library* lib = library_create();
    library_set_player(lib, &player);

    // The reader: every summary of the 2,000 files.
    auto t0 = Clock::now();
    for (const std::string& f : files)
        library_add_file(lib, f.c_str(), false);
    double now = 1.0;
    auto settled = [&] {
        for (int i = 0; i < lib->count; i++)
            if (!lib->items[i].ready && !lib->items[i].failed)
                return false;
        return true;
    };
    while (!settled() && std::chrono::duration<double>(Clock::now() - t0).count() < 300.0) {
        now += 1.0 / 60.0;
        library_update(lib, now, 1.0f / 60.0f);
        SDL_Delay(1);
    }
    double secs = std::chrono::duration<double>(Clock::now() - t0).count();

    LibraryViewState view = library_get_view_state(lib);
    view.source = LIBRARY_SOURCE_ALL;
    library_set_view_state(lib, &view);
    std::vector<double> cards = frames(lib, c, r);
    report("cards", cards);

    library_enable_browse(lib, true);
    foldertree_set_root(lib->tree, (dir + "/files").c_str());
    view.source = LIBRARY_SOURCE_BROWSE;
    library_set_view_state(lib, &view);
    std::vector<double> browse = frames(lib, c, r);
    report("browse", browse);

    std::printf("library reader files=%d summaries_per_s=%.0f seconds=%.2f kinds=%zu\n", kFiles, kFiles / secs, secs,
                sources.size());

    library_destroy(lib);
    SampleBuffer *cur = nullptr, *ret = nullptr;
    preview_detach_buffers(&player, &cur, &ret);
    canvas_destroy(c);
    SDL_DestroyTexture(target);
    SDL_DestroyRenderer(r);
    SDL_DestroyWindow(w);
    SDL_Quit();
    fs::remove_all(dir);
    return 0;
}
