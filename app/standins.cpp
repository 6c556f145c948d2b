// standins.cpp - the stand-ins of standins.h. Nothing here touches files, threads
// or plug-in libraries.
#include "app/standins.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/toast.h"
#include "audio/audiofile.h"
#include "audio/engine.h"

static StandinLog g_log;

StandinLog* standin_log(void)
{
    return &g_log;
}

void standin_reset(void)
{
    g_log = StandinLog{};
    g_log.take_loaded_index = -1;
    g_log.bars_segment = -1;
}

// ---------------------------------------------------------------------------
// Session take writer
// ---------------------------------------------------------------------------

void session_wav_save(AppState* app, bool wait)
{
    g_log.session_saves++;
    if (wait)
        g_log.session_saves_waited++;
    if (!app || !app->engine)
        return;
    if (g_log.writer_busy && !wait)
        return;
    if (app->engine->length.load(std::memory_order_relaxed) < 1)
        return;
    app->session_gen_saved = app->engine->content_generation.load(std::memory_order_relaxed);
    if (g_log.writer_finishes_at_once || wait)
        g_log.writes_completed++;
    else
        g_log.writer_busy = true;
}

bool session_wav_busy(void)
{
    return g_log.writer_busy;
}

uint32_t session_wav_writes_completed(void)
{
    return g_log.writes_completed;
}

// ---------------------------------------------------------------------------
// Settings file
// ---------------------------------------------------------------------------

size_t settings_format(AppState* app, char* buffer, size_t capacity)
{
    if (!app)
        return 0;
    char head[256];
    int n = snprintf(head, sizeof head, "gain=%f\npan=%f\noverdub=%d\npadmode=%d\n", app->gain, app->pan,
                     app->overdub, app->pad_mode);
    size_t head_len = n > 0 ? (size_t)n : 0;
    size_t filler = g_log.settings_filler > 0 ? (size_t)g_log.settings_filler : 0;
    if (buffer && capacity > 0) {
        size_t i = 0;
        for (; i + 1 < capacity && i < head_len + filler; i++)
            buffer[i] = i < head_len ? head[i] : '#';
        buffer[i] = '\0';
    }
    return head_len + filler;
}

void settings_save(AppState* app)
{
    g_log.settings_saves++;
    if (!app)
        return;
    static char text[APP_SETTINGS_TEXT];
    size_t n = settings_format(app, text, sizeof text);
    if (n >= sizeof text)
        return;
    std::memcpy(app->settings_last, text, n + 1);
}

void settings_load(AppState* app)
{
    g_log.settings_loads++;
}

// ---------------------------------------------------------------------------
// Take list, take loader, library
// ---------------------------------------------------------------------------

void app_open_path(AppState* app, const char* path)
{
    g_log.opened_paths++;
    snprintf(g_log.opened_path, sizeof g_log.opened_path, "%s", path ? path : "");
    if (!app || !path)
        return;
    if (audiofile_is_supported(path)) {
        app_player_ensure(app);
        if (library_add_file(app->library, path, true)) {
            app->library_open = 1;
            settings_save(app);
            return;
        }
    }
    toast_show(app, "CAN'T PLAY THAT", TOAST_RED);
}

void app_save_on_exit(AppState* app)
{
    if (!app || !app->engine)
        return;
    if (app->engine->content_generation.load(std::memory_order_relaxed) != app->session_gen_saved)
        session_wav_save(app, true);
}

void app_library_scan(AppState* app)
{
    g_log.library_scans++;
}

void take_load_finish(AppState* app, float dt)
{
    g_log.take_load_finishes++;
}

void library_destroy(Library* library)
{
    if (library)
        g_log.library_destroys++;
}

// ---------------------------------------------------------------------------
// Video player
// ---------------------------------------------------------------------------

void video_player_destroy(VideoPlayer* player)
{
    if (player)
        g_log.video_destroys++;
}

// ---------------------------------------------------------------------------
// Take list, library
// ---------------------------------------------------------------------------

static int g_loaded_item;   // stands for the loaded LibraryItem

void take_load_into_loop(AppState* app, int32_t index)
{
    g_log.take_loads++;
    g_log.take_loaded_index = index;
}

void app_player_ensure(AppState* app)
{
    g_log.player_ensures++;
}

LibraryItem* library_loaded_item(Library* library)
{
    return library && g_log.library_loaded[0] ? (LibraryItem*)&g_loaded_item : nullptr;
}

const char* library_item_path(const LibraryItem* item)
{
    return item ? g_log.library_loaded : "";
}

void library_play_item(Library* library, LibraryItem* item)
{
    if (library && item)
        g_log.library_plays++;
}

bool library_add_file(Library* library, const char* path, bool load)
{
    if (!library || !path)
        return false;
    g_log.library_adds++;
    snprintf(g_log.library_added, sizeof g_log.library_added, "%s", path);
    return !g_log.library_add_fails;
}

bool library_handle_event(Library* library, const SDL_Event* event, float mouse_x, float mouse_y, void* cloud,
                          double now)
{
    if (!library)
        return false;
    g_log.library_events++;
    return g_log.library_takes_events;
}

bool library_popup_is_open(const Library* library)
{
    return library && g_log.library_popup_open;
}

bool take_beat_grid(AppState* app, TakeBeatGrid* grid)
{
    if (!g_log.have_grid)
        return false;
    if (grid)
        *grid = g_log.grid;
    return true;
}

void take_bars_to_loop(AppState* app, int32_t segment)
{
    g_log.bars_to_loop++;
    g_log.bars_segment = segment;
}

void take_grid_shift(AppState* app, int32_t beats)
{
    g_log.grid_shift += beats;
}

// ---------------------------------------------------------------------------
// Video panel
// ---------------------------------------------------------------------------

void video_player_close(VideoPlayer* player)
{
    if (player)
        g_log.video_closes++;
}

void video_panel_trim_drag(AppState* app, float mouse_x)
{
    if (!app || !(app->video_duration > 0.0))
        return;
    double d = app->video_duration;
    double t = std::clamp((double)(mouse_x - (app->video_x + 10.0f)) / 500.0, 0.0, 1.0) * d;
    if (app->video_trim_handle == 2)
        app->video_out = std::min(d, std::min(app->video_in + 360.0, std::max(app->video_in + 0.25, t)));
    else
        app->video_in = std::max(0.0, std::max(app->video_out - 360.0, std::min(app->video_out - 0.25, t)));
}
