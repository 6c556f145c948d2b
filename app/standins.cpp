// standins.cpp - the stand-ins of standins.h. Nothing here touches files, threads
// or plug-in libraries.
#include "app/standins.h"

#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "audio/engine.h"

static StandinLog g_log;

StandinLog* standin_log(void)
{
    return &g_log;
}

void standin_reset(void)
{
    g_log = StandinLog{};
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

// ---------------------------------------------------------------------------
// Take list, take loader, library
// ---------------------------------------------------------------------------

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
// Plug-in picker
// ---------------------------------------------------------------------------

void vst_picker_identify_step(AppState* app)
{
    g_log.identify_steps++;
}

// ---------------------------------------------------------------------------
// Preview player, video player
// ---------------------------------------------------------------------------

void preview_stop(PreviewPlayer* player)
{
    if (player)
        g_log.preview_stops++;
}

void preview_detach_buffers(PreviewPlayer* player, SampleBuffer** current, SampleBuffer** retired)
{
    if (current)
        *current = nullptr;
    if (retired)
        *retired = nullptr;
    if (player)
        g_log.preview_detaches++;
}

void sample_buffer_destroy(SampleBuffer* buffer) {}

void video_player_destroy(VideoPlayer* player)
{
    if (player)
        g_log.video_destroys++;
}
