// bench_panels.cpp - what the modal panels cost to draw, per frame, on the GL renderer
// of SDL's offscreen video driver (no X server), into a 640 x 1080 target at scale 1.
//   panels picker_draw    the plug-in picker with 256 entries of mixed kinds, the
//                         pointer over a row
//   panels settings_draw  the settings list with its device list open on 16 devices
//   panels empty_frame    the clear and the read-back alone, for comparison
// Each frame is the painter's own calls plus a one-pixel read-back, so the figure
// holds the GPU's work too. Prints "panels <case> <µs> us/frame (<frames> frames)"
// and exits 1 when the renderer cannot be made.
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "audio/audio_backend.h"
#include "audio/engine.h"
#include "platform/plat_audio_api.h"
#include "ui/canvas.h"
#include "ui/drawkit.h"
#include "ui/text.h"

namespace {

const int kDevices = 16;
const int kWarmup = 30;
const int kFrames = 600;

// A scripted audio library that only lists devices: sixteen JACK inputs.
PaHostApiInfo g_api = {1, paJACK, "JACK Audio Connection Kit", kDevices, 0, 0};
PaDeviceInfo g_devices[kDevices];
char g_names[kDevices][64];

PaDeviceIndex bench_device_count(void)
{
    return kDevices;
}
const PaDeviceInfo* bench_device_info(PaDeviceIndex d)
{
    return d >= 0 && d < kDevices ? &g_devices[d] : nullptr;
}
const PaHostApiInfo* bench_api_info(PaHostApiIndex i)
{
    return i == 0 ? &g_api : nullptr;
}
PaHostApiIndex bench_api_index(PaHostApiTypeId type)
{
    return type == paJACK ? 0 : -1;
}

EngineBackend bench_backend()
{
    EngineBackend b{};
    b.device_count = bench_device_count;
    b.device_info = bench_device_info;
    b.host_api_info = bench_api_info;
    b.host_api_type_to_index = bench_api_index;
    return b;
}

struct Offscreen {
    SDL_Window* window = nullptr;
    SDL_Renderer* renderer = nullptr;
    SDL_Texture* target = nullptr;
};

bool offscreen_open(Offscreen* o)
{
    SDL_SetHint(SDL_HINT_VIDEODRIVER, "offscreen");
    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    if (SDL_Init(SDL_INIT_VIDEO) != 0)
        return false;
    o->window = SDL_CreateWindow("bench", 0, 0, DRAW_REF_WIDTH, DRAW_REF_HEIGHT, SDL_WINDOW_HIDDEN);
    o->renderer = o->window ? SDL_CreateRenderer(o->window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_TARGETTEXTURE)
                            : nullptr;
    o->target = o->renderer ? SDL_CreateTexture(o->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET,
                                                DRAW_REF_WIDTH, DRAW_REF_HEIGHT)
                            : nullptr;
    return o->target && SDL_SetRenderTarget(o->renderer, o->target) == 0;
}

void offscreen_close(Offscreen* o)
{
    if (o->target)
        SDL_DestroyTexture(o->target);
    if (o->renderer)
        SDL_DestroyRenderer(o->renderer);
    if (o->window)
        SDL_DestroyWindow(o->window);
    SDL_Quit();
}

void picker_state(AppState* app)
{
    AppPicker* p = &app->picker;
    p->open = 1;
    p->target = -1;
    p->count = APP_PICKER_MAX;
    for (int i = 0; i < APP_PICKER_MAX; i++) {
        snprintf(p->entries[i].name, sizeof p->entries[i].name, "bench-plugin-%03d-vst", i);
        p->kind[i] = (uint8_t)(i % 4);
        if (p->kind[i] == 1 || p->kind[i] == 2)
            snprintf(p->label[i], sizeof p->label[i], "Bench Plugin %03d", i);
        p->filtered[i] = i;
    }
    p->filtered_count = APP_PICKER_MAX;
    p->selection = 2;
    snprintf(p->search, sizeof p->search, "bench");
    app->mouse_x = 320;
    app->mouse_y = 270 + 34 * 5 + 10;
}

void settings_state(AppState* app, Engine* e)
{
    app->settings_open = 1;
    app->device_list_open = 1;
    app->device_count = kDevices;
    for (int i = 0; i < kDevices; i++)
        app->device_indices[i] = i;
    app->reduced_motion = 1;
    e->running = 1;
    snprintf(e->input_name, sizeof e->input_name, "Bench Device 00");
    snprintf(e->host_label, sizeof e->host_label, "JACK");
    e->asio = 1;
    e->open_input_device = 0;
    e->latency_ms = 5.3;
    app->mouse_x = 320;
    app->mouse_y = 374.5f + 38 * 3 + 10;
}

// Mean microseconds per frame of draw() plus a one-pixel read-back.
template <class Draw>
double time_frames(Offscreen* o, Draw draw)
{
    uint32_t pixel = 0;
    SDL_Rect one{0, 0, 1, 1};
    auto frame = [&] {
        SDL_SetRenderDrawColor(o->renderer, 13, 17, 17, 255);
        SDL_RenderClear(o->renderer);
        draw();
        SDL_RenderReadPixels(o->renderer, &one, SDL_PIXELFORMAT_ARGB8888, &pixel, 4);
    };
    for (int i = 0; i < kWarmup; i++)
        frame();
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < kFrames; i++)
        frame();
    auto t1 = std::chrono::steady_clock::now();
    return std::chrono::duration<double, std::micro>(t1 - t0).count() / kFrames;
}

}  // namespace

int main()
{
    for (int i = 0; i < kDevices; i++) {
        snprintf(g_names[i], sizeof g_names[i], "Bench Device %02d with a name longer than the list shows", i);
        g_devices[i] = PaDeviceInfo{2, g_names[i], 0, 2, 2, 0.005, 0.005, 0.02, 0.02, 48000.0};
    }
    EngineBackend backend = bench_backend();
    engine_use_backend(&backend, plat_host_api_policy());

    Offscreen o;
    if (!offscreen_open(&o)) {
        fprintf(stderr, "bench_panels: no offscreen GL renderer: %s\n", SDL_GetError());
        offscreen_close(&o);
        return 1;
    }
    DrawKit kit{};
    AppState* app = app_instance();
    Engine* e = engine_instance();
    if (!draw_init(&kit, o.renderer)) {
        fprintf(stderr, "bench_panels: draw init failed\n");
        offscreen_close(&o);
        return 1;
    }
    draw_frame_layout(&kit, DRAW_REF_WIDTH, DRAW_REF_HEIGHT);
    app_init(app, e, ".");
    app->canvas = canvas_create(o.renderer);
    app->text = app->canvas ? text_renderer_create(o.renderer) : nullptr;

    double empty_us = time_frames(&o, [] {});
    printf("panels empty_frame %.1f us/frame (%d frames)\n", empty_us, kFrames);
    picker_state(app);
    double picker_us = time_frames(&o, [&] { view_vst_picker(app, &kit); });
    printf("panels picker_draw %.1f us/frame (%d frames)\n", picker_us, kFrames);
    app->picker.open = 0;

    int status = 0;
    if (app->canvas && app->text) {
        settings_state(app, e);
        double settings_us = time_frames(&o, [&] { view_settings(app, &kit, 1.0f / 60); });
        printf("panels settings_draw %.1f us/frame (%d frames)\n", settings_us, kFrames);
    } else {
        fprintf(stderr, "bench_panels: no canvas or text renderer for the settings list\n");
        status = 1;
    }

    text_renderer_destroy(app->text);
    canvas_destroy(app->canvas);
    app->text = nullptr;
    app->canvas = nullptr;
    draw_shutdown(&kit);
    offscreen_close(&o);
    engine_use_backend(nullptr, nullptr);
    return status;
}
