// video_panel.cpp - the video panel's bookkeeping on the UI thread: open, trim, the
// shown time and the texture upload. The painter is app/panels/view_video_panel.cpp.
#include "app/video_panel.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/app_state.h"
#include "app/video_player.h"
#include "audio/engine.h"

void video_panel_open(AppState* app, const char* path, bool keep_trim)
{
    if (!app || !path)
        return;
    if (!app->video_player)
        app->video_player = video_player_create();
    if (!app->video_player)
        return;
    snprintf(app->video_path, sizeof app->video_path, "%s", path);
    app->video_trim_restored = keep_trim ? 1 : 0;
    app->video_ready = 0;
    app->video_duration = 0.0;
    if (!keep_trim)
        app->video_in = app->video_out = 0.0;
    video_player_open(app->video_player, path);
}

void video_panel_trim_drag(AppState* app, float mouse_x)
{
    if (!app || !(app->video_duration > 0.0))
        return;
    double d = app->video_duration;
    double t = std::clamp((double)(mouse_x - (app->video_x + VIDEO_TRACK_INSET)) / VIDEO_TRACK_WIDTH, 0.0, 1.0) * d;
    if (app->video_trim_handle == 2)
        app->video_out = std::min(d, std::min(app->video_in + VIDEO_LONGEST_TRIM,
                                              std::max(app->video_in + VIDEO_SHORTEST_TRIM, t)));
    else
        app->video_in = std::max(0.0, std::max(app->video_out - VIDEO_LONGEST_TRIM,
                                               std::min(app->video_out - VIDEO_SHORTEST_TRIM, t)));
}

static double panel_rate(const AppState* app)
{
    double rate = app->engine ? app->engine->sample_rate : 0.0;
    return rate > 0.0 ? rate : VIDEO_DEFAULT_RATE;
}

void video_panel_take_duration(AppState* app, double duration)
{
    if (!app)
        return;
    app->video_ready = 1;
    app->video_duration = duration;
    if (!(app->video_trim_restored && app->video_in < app->video_out)) {
        app->video_in = 0.0;
        app->video_out = app->video_duration;
    }
    app->video_trim_restored = 0;
    app->video_out = std::min(app->video_out, app->video_duration);
    if (app->video_in > app->video_out)
        app->video_in = 0.0;
    if (app->video_out - app->video_in > VIDEO_LONGEST_TRIM)
        app->video_out = app->video_in + VIDEO_LONGEST_TRIM;
}

void video_panel_update(AppState* app)
{
    if (!app || !app->video_player)
        return;
    if (video_player_state(app->video_player) != VIDEO_READY)
        app->video_ready = 0;
    else if (!app->video_ready)
        video_panel_take_duration(app, video_player_duration(app->video_player));

    double shown = app->video_in;
    if (app->drag_mode == DRAG_VIDEO_TRIM) {
        shown = app->video_trim_handle == 2 ? app->video_out : app->video_in;
    } else if (app->video_out - app->video_in > 0.0) {
        double position = app->engine ? (double)app->engine->position.load(std::memory_order_relaxed) : 0.0;
        shown = app->video_in + std::fmod(position / panel_rate(app), app->video_out - app->video_in);
    }
    app->video_shown_time = shown;
    if (app->video_shown)
        video_player_seek(app->video_player, shown);
}

int32_t video_panel_trim_frames(const AppState* app)
{
    if (!app)
        return 0;
    double frames = std::trunc((app->video_out - app->video_in) * panel_rate(app) + 0.5);
    if (!(frames > 0.0))
        return 0;
    return frames < (double)INT32_MAX ? (int32_t)frames : INT32_MAX;
}

bool video_panel_upload(AppState* app, SDL_Renderer* renderer)
{
    if (!app || !app->video_player)
        return false;
    int32_t w = 0, h = 0, rotation = 0;
    uint32_t serial = 0;
    const uint8_t* pixels = video_player_lock_frame(app->video_player, &w, &h, &rotation, &serial);
    if (pixels && w > 0 && h > 0 && renderer) {
        if (app->video_texture && (app->video_texture_w != w || app->video_texture_h != h)) {
            SDL_DestroyTexture(app->video_texture);
            app->video_texture = nullptr;
        }
        if (!app->video_texture) {
            // A new texture holds nothing yet, whatever serial was uploaded before.
            app->video_texture_fresh = 0;
            app->video_texture =
                SDL_CreateTexture(renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, w, h);
            if (app->video_texture) {
                SDL_SetTextureBlendMode(app->video_texture, SDL_BLENDMODE_NONE);
                SDL_SetTextureScaleMode(app->video_texture, SDL_ScaleModeLinear);
                app->video_texture_w = w;
                app->video_texture_h = h;
            }
        }
        if (app->video_texture && (!app->video_texture_fresh || serial != app->video_texture_serial)) {
            if (SDL_UpdateTexture(app->video_texture, nullptr, pixels, w * 4) == 0) {
                app->video_texture_serial = serial;
                app->video_texture_fresh = 1;
            }
        }
        app->video_rotation = rotation;
    } else {
        app->video_texture_fresh = 0;    // no frame (opening, closed): nothing to show
    }
    video_player_unlock_frame(app->video_player);
    return app->video_texture && app->video_texture_fresh;
}
