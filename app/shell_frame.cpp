// shell_frame.cpp - one pass of the frame loop: events to their handlers, the update,
// the panel toggles and slides, plug-in editors, drawing, the screenshot and present.
#include <SDL.h>

#include <algorithm>

#include "app/panels/main/app_draw.h"
#include "app/app_close.h"
#include "app/app_events.h"
#include "app/app_state.h"
#include "app/frame_pace.h"
#include "app/musical_typing.h"
#include "app/overlays.h"
#include "app/screenshot.h"
#include "app/shell.h"
#include "app/shell_cursor.h"
#include "app/settings.h"
#include "app/shell_station.h"
#include "app/take_wait.h"
#include "app/takes.h"
#include "app/toast.h"
#include "app/window.h"
#include "audio/engine.h"
#include "audio/vst.h"
#include "platform/plat_signal.h"
#include "rig/views/inputs_panel.h"
#include "ui/canvas.h"
#include "ui/cursor.h"
#include "ui/hitregion.h"
#include "ui/text.h"

// The display's refresh rate is read again this often (frames): the window may have
// moved to another display.
static const uint32_t kRefreshReadPeriod = 64;

// ---------------------------------------------------------------------------
// Events
// ---------------------------------------------------------------------------

static void shell_fullscreen_toggle(ShellCtx* sh)
{
    sh->fullscreen = !sh->fullscreen;
    SDL_SetWindowFullscreen(sh->window, sh->fullscreen ? SDL_WINDOW_FULLSCREEN_DESKTOP : 0);
}

// A close request (the close button, SIGTERM, SIGINT, SIGHUP): the frame loop runs on
// until the session take is in place.
static void shell_close_request(ShellCtx* sh)
{
    if (app_close_request(sh->app, sh->clock()))
        sh->quit = true;
}

// Keys pressed while n, a load or e waits for the loop to be secured are held back and
// handled in their order once the wait has ended (key_hold.h). Musical typing's notes
// play at once, and so do the open plug-in picker's keys, text and repeats: none of
// them changes the loop. A release still goes to the store, which holds it back when
// its press is held.
static bool shell_hold_key(ShellCtx* sh, const SDL_Event* ev)
{
    AppState* app = sh->app;
    if (!take_waiting(app))
        return false;
    if (app->picker.open && (ev->type == SDL_KEYDOWN || ev->type == SDL_TEXTINPUT))
        return false;
    if (ev->type == SDL_KEYDOWN && !ev->key.repeat && app->musical_typing &&
        key_to_semitone(ev->key.keysym.sym) >= 0) {
        key_hold_let_through(&sh->key_hold, ev);
        return false;
    }
    int kept = key_hold_offer(&sh->key_hold, ev);
    // One toast a wait: a copy for every dropped key would push out the others.
    if (kept == KEY_HOLD_FULL && sh->key_hold.dropped == 1)
        toast_show(app, "TOO MANY KEYS WAITING: KEY DROPPED", TOAST_RED);
    return kept != KEY_HOLD_NOW;
}

// Each event goes to the shell's own handlers first; what they do not end reaches the
// main view's handler.
static void shell_event(ShellCtx* sh, SDL_Event* ev)
{
    AppState* app = sh->app;
    Overlays* o = overlays_instance();
    if (overlays_event_popup(o, app, ev, sh->clock()))
        return;
    switch (ev->type) {
    case SDL_QUIT:
        shell_close_request(sh);
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
    default:
        break;
    }
    if (shell_hold_key(sh, ev))
        return;
    if (overlays_event_keys(o, app, ev, sh->clock()))
        return;
    switch (ev->type) {
    case SDL_RENDER_DEVICE_RESET:
        inputs_panel_reset_textures(sh->rigs.panel);
        // Every texture went with the device, the kit's white one too.
        draw_reset(&sh->kit);
        canvas_reset(app->canvas);
        text_renderer_clear(app->text);
        app_reset_textures(app);
        break;
    case SDL_RENDER_TARGETS_RESET:
        inputs_panel_reset_textures(sh->rigs.panel);
        canvas_reset(app->canvas);
        text_renderer_clear(app->text);
        app_reset_textures(app);
        break;
    default:
        break;
    }
    if (shell_rigs_event(sh, ev))
        return;
    app_handle_event(app, &sh->kit, ev);
}

// The keys held back, once the wait has ended; a key among them that begins another
// wait holds back the rest again.
static void shell_release_keys(ShellCtx* sh)
{
    if (take_waiting(sh->app) || sh->key_hold.count == 0)
        return;
    SDL_Event keys[KEY_HOLD_SLOTS];
    int n = key_hold_take(&sh->key_hold, keys);
    for (int i = 0; i < n; i++)
        shell_event(sh, &keys[i]);
}

// ---------------------------------------------------------------------------
// Side panels
// ---------------------------------------------------------------------------

// How long after the shell's own change the window manager's answers are taken as
// its grant rather than the user's move.
static const double kSettleSeconds = 0.5;

static bool geometry_same(const WindowGeometry& a, const WindowGeometry& b)
{
    return a.x == b.x && a.y == b.y && a.w == b.w && a.h == b.h;
}

// The base rectangle again, from the window less the side widths it shows now. A
// window still where the shell last put it keeps the base it has: taken again from a
// window the screen's edges squeezed, the base would shrink with every toggle.
static void shell_retake_base(ShellCtx* sh)
{
    WindowGeometry now = window_geometry(sh->window);
    if (geometry_same(now, sh->granted))
        return;
    window_save_rect(&sh->base, sh->window, sh->kit.left_w * sh->kit.scale, sh->kit.right_w * sh->kit.scale,
                     sh->kit.scale);
    sh->granted = now;
}

// The panel toggles asked for since the last frame. The settings are saved after a
// toggle that fired, and only then.
static void shell_panel_toggles(ShellCtx* sh)
{
    AppState* app = sh->app;
    if (shell_rigs_toggle_due(sh)) {
        app->inputs_open = app->inputs_open ? 0 : 1;
        shell_retake_base(sh);
        shell_rigs_open_close(sh, app->ui_time);
        settings_save(app);
    }
    if (app->library_toggle) {
        app->library_open = app->library_open ? 0 : 1;
        app->library_toggle = 0;
        shell_retake_base(sh);
        settings_save(app);
    }
    if (app->video_toggle) {
        app->video_open = app->video_open ? 0 : 1;
        app->video_toggle = 0;
        shell_retake_base(sh);
        settings_save(app);
    }
}

static void shell_slides(ShellCtx* sh, float dt, double t)
{
    AppState* app = sh->app;
    // A panel opened or closed by another road than its toggle (a dropped file opens
    // the library) starts from the window as it stands, like a toggle.
    uint8_t open[3] = {app->inputs_open, app->library_open, app->video_open};
    if (open[0] != sh->panels_seen[0] || open[1] != sh->panels_seen[1] || open[2] != sh->panels_seen[2])
        shell_retake_base(sh);
    std::copy(open, open + 3, sh->panels_seen);

    PanelWidths w{};
    bool moving = window_slides_step(&sh->slides, app->inputs_open, app->library_open, app->video_open, dt, &w);
    sh->kit.left_w = w.left;
    sh->kit.right_w = w.right;
    if (moving) {
        window_apply_panels(&sh->base, sh->window, w.left, w.right, &sh->granted);
        sh->settle_until = t + kSettleSeconds;
    } else if (t < sh->settle_until) {
        sh->granted = window_geometry(sh->window);
    }
    app->video_x = APP_MAIN_VIEW_WIDTH;
    app->video_shown = sh->slides.video > 0.0f;
    app->library_x = w.library_x;
    // The take list is read again whenever the library comes up on LOOPS, however it
    // was opened (its key, a click, a file named at start or dropped).
    bool was_shown = app->library_shown;
    app->library_shown = sh->slides.library > 0.0f;
    if (app->library_shown && !was_shown && app->library_tab == 0)
        app_library_scan(app);
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

// The pointer in window pixels: the global position less the window's.
bool shell_frame(ShellCtx* sh)
{
    if (!sh || !sh->app || sh->quit)
        return false;
    AppState* app = sh->app;
    double work_start = perf_seconds();

    SDL_Event ev;
    // A window nobody can see is not drawn: the frame waits for an event, or for the
    // wait's end, where it would otherwise wait for the present.
    if (sh->unseen && SDL_WaitEventTimeout(&ev, SHELL_UNSEEN_WAIT_MS))
        shell_event(sh, &ev);
    while (SDL_PollEvent(&ev))
        shell_event(sh, &ev);
    uint32_t hangups = plat_signal_hangups();
    if (hangups != sh->hangups_seen) {
        sh->hangups_seen = hangups;
        shell_close_request(sh);
    }
    if (app->close_request) {
        app->close_request = 0;
        shell_close_request(sh);
    }
    shell_station_live(sh);
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
    shell_release_keys(sh);
    shell_station_firewall(sh, t);
    shell_station_follow_stream(sh);
    shell_rigs_tick(sh, t);
    if (app->closing != APP_CLOSING_NONE && app_close_step(app))
        sh->quit = true;

    shell_panel_toggles(sh);
    shell_slides(sh, dt, t);
    shell_editors_idle(sh->engine);

    // A window the window manager never showed (one starting with the program can lose
    // the request) is asked for again; SDL's shown flag follows its MapNotify.
    if (sh->show_pending && (SDL_GetWindowFlags(sh->window) & SDL_WINDOW_SHOWN))
        sh->show_pending = false;
    if (sh->show_pending && perf_seconds() - sh->show_asked >= SHELL_SHOW_RETRY)
        shell_show(sh, 0.0);
    // The update above still ran: the session take and the settings are saved while
    // the window is minimised or hidden.
    sh->unseen = (SDL_GetWindowFlags(sh->window) & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) != 0;
    if (sh->unseen)
        return !sh->quit;

    int w = 0, h = 0;
    SDL_GetRendererOutputSize(sh->renderer, &w, &h);
    draw_frame_layout(&sh->kit, w, h);
    window_drag(app, &sh->kit);
    // Last frame's hit regions become this frame's answers; drawing registers anew.
    hitregion_frame_begin();
    app_draw(app, &sh->kit, dt);
    shell_rigs_draw(sh, t, dt);
    WindowHitRects rects = window_hit_rects_from(app, &sh->kit);
    shell_rigs_hit_rects(sh, &rects);
    window_set_hit_rects(&rects);
    Overlays* o = overlays_instance();
    overlays_frame(o, app, t);
    window_set_overlays(overlays_popup_open(o), overlays_keys_open(o));
    float pointer_x = 0.0f, pointer_y = 0.0f;
    uint32_t kind = shell_cursor_kind(sh, &pointer_x, &pointer_y);
    // Overlays are drawn last: the keys help and the busy gem in one canvas pass, the
    // popup, the cursor last of all; then the text lines not drawn for a while go.
    if (app->canvas && app->text) {
        shell_cursor_update(sh, kind, pointer_x, pointer_y, t, dt);
        canvas_begin(app->canvas, 0.0f, 0.0f, 1.0f);
        overlays_draw_keys(o, app, sh->kit.window_w, sh->kit.window_h, t, dt);
        cursor_draw_busy_gem(app->canvas, &sh->cursor, pointer_x, pointer_y, t, app->reduced_motion);
        canvas_end(app->canvas);
        overlays_draw_popup(o, app, sh->renderer, sh->kit.window_w, sh->kit.window_h, pointer_x, pointer_y, t, dt);
        cursor_draw(sh->renderer, &sh->cursor, pointer_x / CURSOR_UNIT, pointer_y / CURSOR_UNIT, CURSOR_UNIT, t);
        text_renderer_trim(app->text);
    }

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

    // Where presents do not wait for the display, the loop waits instead, so it draws
    // no more frames than the display can show.
    if (sh->frame % kRefreshReadPeriod == 0)
        frame_pace_set_rate(&sh->pace, shell_refresh_hz(sh->window));
    double pause = frame_pace_after_present(&sh->pace, work_start, perf_seconds());
    if (pause >= 0.001)
        SDL_Delay((Uint32)(pause * 1000.0));
    return !sh->quit;
}
