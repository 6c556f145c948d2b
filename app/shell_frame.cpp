// shell_frame.cpp - one pass of the frame loop: events to their handlers, the update,
// the panel toggles and slides, plug-in editors, drawing, the screenshot and present.
#include <SDL.h>

#include <algorithm>

#include "app/app_draw.h"
#include "app/app_events.h"
#include "app/app_state.h"
#include "app/screenshot.h"
#include "app/shell.h"
#include "app/settings.h"
#include "app/session_take.h"
#include "app/standins.h"
#include "app/takes.h"
#include "app/window.h"
#include "audio/engine.h"
#include "audio/vst.h"

// A frame quicker than this, present included, is followed by a short sleep, so the
// loop does not spin a core at thousands of frames a second where presents do not
// wait: a renderer without vsync, or one whose vsync does not hold (offscreen
// drivers report it and do not wait). Under working vsync a present takes most of a
// refresh period and this never fires.
static const double kFastFrameSeconds = 0.002;
static const Uint32 kFastFrameSleepMs = 1;

// ---------------------------------------------------------------------------
// Events
// ---------------------------------------------------------------------------

static void shell_fullscreen_toggle(ShellCtx* sh)
{
    sh->fullscreen = !sh->fullscreen;
    SDL_SetWindowFullscreen(sh->window, sh->fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

// Each event goes to the shell's own handlers first; what they do not end reaches the
// main view's handler.
static void shell_event(ShellCtx* sh, SDL_Event* ev)
{
    AppState* app = sh->app;
    switch (ev->type) {
    case SDL_QUIT:
        sh->quit = true;
        return;
    case SDL_DROPFILE:
        app_open_path(app, ev->drop.file);
        SDL_free(ev->drop.file);
        return;
    case SDL_DROPTEXT:
        SDL_free(ev->drop.file);
        return;
    case SDL_KEYDOWN:
        if (!ev->key.repeat && ev->key.keysym.sym == SDLK_F11) {
            shell_fullscreen_toggle(sh);
            return;
        }
        if (!ev->key.repeat && ev->key.keysym.sym == SDLK_F12) {
            sh->screenshot_pending = true;
            return;
        }
        break;
    case SDL_RENDER_DEVICE_RESET:
        // Every texture went with the device, the kit's white one too.
        draw_reset(&sh->kit);
        app_reset_textures(app);
        break;
    case SDL_RENDER_TARGETS_RESET:
        app_reset_textures(app);
        break;
    default:
        break;
    }
    app_handle_event(app, &sh->kit, ev);
}

// ---------------------------------------------------------------------------
// Side panels
// ---------------------------------------------------------------------------

// The base rectangle again, from the window less the side widths it shows now.
static void shell_retake_base(ShellCtx* sh)
{
    window_save_rect(&sh->base, sh->window, sh->kit.left_w * sh->kit.scale, sh->kit.right_w * sh->kit.scale,
                     sh->kit.scale);
}

// The panel toggles asked for since the last frame. The settings are saved after a
// toggle that fired, and only then.
static void shell_panel_toggles(ShellCtx* sh)
{
    AppState* app = sh->app;
    // No inputs panel yet: its toggle request is only cleared.
    app->inputs_toggle = 0;
    if (app->library_toggle) {
        app->library_open = app->library_open ? 0 : 1;
        app->library_toggle = 0;
        shell_retake_base(sh);
        if (app->library_open)
            app_library_scan(app);
        settings_save(app);
    }
    if (app->video_toggle) {
        app->video_open = app->video_open ? 0 : 1;
        app->video_toggle = 0;
        shell_retake_base(sh);
        settings_save(app);
    }
}

static void shell_slides(ShellCtx* sh, float dt)
{
    AppState* app = sh->app;
    PanelWidths w{};
    bool moving = window_slides_step(&sh->slides, app->inputs_open, app->library_open, app->video_open, dt, &w);
    sh->kit.left_w = w.left;
    sh->kit.right_w = w.right;
    if (moving)
        window_apply_panels(&sh->base, sh->window, w.left, w.right);
    app->video_x = APP_MAIN_VIEW_WIDTH;
    app->video_shown = sh->slides.video > 0.0f;
    app->library_x = w.library_x;
    app->library_shown = sh->slides.library > 0.0f;
}

static void shell_editors_idle(Engine* e)
{
    for (FxSlot& slot : e->slots)
        vst_editor_idle(slot.plugin.load(std::memory_order_acquire));
    vst_editor_idle(e->instrument.load(std::memory_order_acquire));
}

// ---------------------------------------------------------------------------
// The frame
// ---------------------------------------------------------------------------

bool shell_frame(ShellCtx* sh)
{
    if (!sh || !sh->app || sh->quit)
        return false;
    AppState* app = sh->app;
    double work_start = perf_seconds();

    SDL_Event ev;
    while (SDL_PollEvent(&ev))
        shell_event(sh, &ev);
    if (app->close_request)
        sh->quit = true;
    if (app->minimise_request) {
        app->minimise_request = 0;
        SDL_MinimizeWindow(sh->window);
    }

    double t = sh->clock();
    float dt = (float)std::clamp(t - sh->prev_time, 0.0, (double)SHELL_MAX_DT);
    sh->prev_time = t;
    app->ui_time = t;
    engine_watch(sh->engine);
    app_update(app, dt);

    shell_panel_toggles(sh);
    shell_slides(sh, dt);
    shell_editors_idle(sh->engine);

    int w = 0, h = 0;
    SDL_GetRendererOutputSize(sh->renderer, &w, &h);
    draw_frame_layout(&sh->kit, w, h);
    window_drag(app, &sh->kit);
    app_draw(app, &sh->kit, dt);
    WindowHitRects rects = window_hit_rects_from(app, &sh->kit);
    window_set_hit_rects(&rects);

    // The picture is read back before the present: afterwards the back buffer's
    // contents are undefined.
    if (sh->frame % SHELL_REQUEST_PERIOD == 0 && screenshot_take_request(sh->folders.screenshot_request))
        sh->screenshot_pending = true;
    if (sh->screenshot_pending) {
        sh->screenshot_pending = false;
        screenshot_save(sh->renderer, sh->folders.screenshot_bmp);
    }
    SDL_RenderPresent(sh->renderer);
    sh->frame++;

    if (perf_seconds() - work_start < kFastFrameSeconds)
        SDL_Delay(kFastFrameSleepMs);
    return !sh->quit;
}
