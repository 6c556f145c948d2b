// standins.cpp - the stand-ins of standins.h. Nothing here touches files, threads
// or plug-in libraries.
#include "app/settings.h"
#include "app/standins.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/toast.h"
#include "audio/audiofile.h"
#include "audio/engine.h"
#include "library/library.h"

static StandinLog g_log;

StandinLog* standin_log(void)
{
    return &g_log;
}

void standin_reset(void)
{
    g_log = StandinLog{};
    g_log.take_loaded_index = -1;
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
// Video panel
// ---------------------------------------------------------------------------

void video_player_close(VideoPlayer* player)
{
    if (player)
        g_log.video_closes++;
}

void video_panel_open(AppState* app, const char* path, bool keep_trim)
{
    if (!app || !path)
        return;
    snprintf(app->video_path, sizeof app->video_path, "%s", path);
    app->video_trim_restored = keep_trim ? 1 : 0;
    app->video_ready = 0;
    app->video_duration = 0.0;
    if (!keep_trim)
        app->video_in = app->video_out = 0.0;
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
