// app_init.cpp - the AppState's one instance, its defaults and its shutdown.
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/take_grid.h"
#include "app/session_take.h"
#include "app/video_player.h"
#include "library/library.h"
#include "audio/engine.h"
#include "audio/engine_retire.h"
#include "audio/preview.h"

// Bound on waiting for the audio callback to let go of the preview's render hook.
static const int kHookRetireMs = 2000;

static AppState g_app;

AppState* app_instance(void)
{
    return &g_app;
}

static void app_pad_spring_init(PadSpring* p)
{
    spring_init(&p->spring, 1.0f, 26.0f, 0.55f);
    p->pulse = Pulse{0.0f, 0.35f};
}

void app_init(AppState* app, Engine* engine, const char* program_folder)
{
    if (!app)
        return;
    std::memset((void*)app, 0, sizeof *app);
    app->engine = engine;
    // Writes finished before this state began are not news to it.
    app->session_writes_seen = session_wav_writes_completed();
    app->session_failures_seen = session_wav_writes_failed();

    app->overdub = 1;
    app->gain = 1.0f;
    app->bars_per_segment = 4;

    for (PadSpring& p : app->pads)
        app_pad_spring_init(&p);
    spring_init(&app->pad_x, 0.5f, 18.0f, 0.62f);
    spring_init(&app->pad_y, 0.5f, 18.0f, 0.62f);
    spring_init(&app->out_level, 0.0f, 24.0f, 0.9f);

    app->flashes[FLASH_LOOP_SET].duration = 0.9f;
    app->flashes[FLASH_CLEARED].duration = 0.6f;
    app->flashes[FLASH_BEAT].duration = 0.55f;
    app->flashes[FLASH_EXPORTED].duration = 0.9f;

    app->random_state = 0xC0FFEEu;
    app->particles.state = 0xBEEFu;

    app->inputs_selected = -1;
    app->clicked_key = -1;

    snprintf(app->program_folder, sizeof app->program_folder, "%s", program_folder ? program_folder : ".");
}

void app_shutdown(AppState* app)
{
    if (!app)
        return;
    Engine* e = app->engine;

    // Plug-ins leave the audio thread before they are unloaded.
    if (e) {
        for (FxSlot& slot : e->slots)
            engine_retire_plugin(e, &slot.plugin);
        engine_retire_plugin(e, &e->instrument);
    }
    app->musical_typing = 0;

    if (app->video_texture) {
        SDL_DestroyTexture(app->video_texture);
        app->video_texture = nullptr;
    }
    video_player_destroy(app->video_player);
    app->video_player = nullptr;

    take_grid_free(app);

    // The preview renders through the hook: take it back before the player goes.
    bool hook_free = !e || engine_clear_render_hook(e, kHookRetireMs);

    // One line on what the library held: how many files it read and how many failed.
    if (app->library) {
        int32_t ready = 0, failed = 0;
        for (int32_t i = 0; i < app->library->count; i++) {
            ready += app->library->items[i].ready;
            failed += app->library->items[i].failed;
        }
        fprintf(stderr, "library: %d items, %d ready, %d failed\n", app->library->count, ready, failed);
    }
    library_destroy(app->library);
    app->library = nullptr;
    app->folder_tree = nullptr;
    app->favourites = nullptr;

    // A callback that never let go of the hook may still read the player's buffers:
    // they are left allocated rather than freed under it.
    if (app->preview && hook_free) {
        preview_stop(app->preview);
        SampleBuffer* current = nullptr;
        SampleBuffer* retired = nullptr;
        preview_detach_buffers(app->preview, &current, &retired);
        sample_buffer_destroy(current);
        sample_buffer_destroy(retired);
    }
}

uint32_t app_random_next(uint32_t* state)
{
    uint32_t s = *state ? *state : 0x12345u;
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    *state = s;
    return s;
}

double perf_seconds(void)
{
    return (double)SDL_GetPerformanceCounter() / (double)SDL_GetPerformanceFrequency();
}
