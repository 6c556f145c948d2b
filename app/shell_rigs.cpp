// shell_rigs.cpp - the rig session and the inputs panel wired into the shell's
// start-up, events, frame and shutdown.
#include "app/shell_rigs.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "app/app_events.h"
#include "app/app_state.h"
#include "app/shell.h"
#include "app/toast.h"
#include "app/window.h"
#include "audio/engine.h"
#include "rig/rigsession.h"
#include "rig/rigstore.h"
#include "rig/router.h"
#include "rig/views/inputs_panel.h"
#include "ui/drawkit.h"

static const char kApp[] = "tessel";
static const char kVersion[] = "1.5.2";

static void rgb(float* c, int r, int g, int b, float a)
{
    c[0] = r / 255.0f;
    c[1] = g / 255.0f;
    c[2] = b / 255.0f;
    c[3] = a;
}

void window_inputs_panel_place(InputsPanelFrame* out, InputsPanel* panel, const DrawKit* kit, double time, float dt,
                               bool focus, int32_t key_mask)
{
    *out = InputsPanelFrame{};
    float w = 0, h = 0;
    inputs_panel_preferred_size(panel, 432.0f, 1064.0f, &w, &h);
    out->x = SHELL_PANEL_X;
    out->y = SHELL_PANEL_Y;
    out->w = w;
    out->h = h;
    out->scale = kit->scale;
    out->origin_x = kit->offset_x;
    out->origin_y = kit->offset_y;
    out->slide_edge = 4;
    out->time = time;
    out->dt = dt > 0.0f ? dt : 1.0f / 60.0f;
    out->focus = focus ? 1 : 0;
    out->focus_mask = key_mask;
}

void shell_rigs_folder(ShellCtx* sh)
{
    ShellRigs* r = &sh->rigs;
    bool portable = strcmp(sh->folders.data, sh->folders.program) == 0;
    if (rigstore_folder_path(portable, sh->folders.program, r->folder, (int)sizeof r->folder) != 0)
        r->folder[0] = '\0';
}

void shell_rigs_start(ShellCtx* sh)
{
    ShellRigs* r = &sh->rigs;
    RigSessionConfig cfg{};
    cfg.app = kApp;
    cfg.version = kVersion;
    cfg.folder = r->folder;
    r->session = rigsession_create(&cfg);
    sh->engine->router = rigsession_router(r->session);
}

void shell_rigs_palette(InputsPanelPalette* out)
{
    inputs_panel_set_palette(out);
    rgb(out->c[0], 23, 29, 29, 150.0f / 255.0f);
    rgb(out->c[1], 13, 17, 17, 150.0f / 255.0f);
    rgb(out->c[3], 242, 242, 242, 1.0f);
    rgb(out->c[4], 148, 148, 148, 1.0f);
    rgb(out->c[5], 255, 0, 128, 1.0f);
    rgb(out->c[6], 46, 199, 184, 1.0f);
    rgb(out->c[9], 235, 66, 77, 1.0f);
}

void shell_rigs_panel_start(ShellCtx* sh)
{
    ShellRigs* r = &sh->rigs;
    AppState* app = sh->app;
    if (r->session) {
        InputsPanelPalette pal;
        shell_rigs_palette(&pal);
        r->panel = inputs_panel_create(sh->renderer, r->session, &pal);
    }
    if (!r->panel) {
        app->inputs_open = 0;
        return;
    }
    inputs_panel_set_flag(r->panel, 0);
    InputsPanelScroll scroll{app->inputs_scroll, app->inputs_selected};
    inputs_panel_set_scroll(r->panel, &scroll);
    if (app->inputs_open)
        inputs_panel_open(r->panel, -10.0);
}

static int32_t key_mask(const AppState* app)
{
    if (app->picker.open || app->settings_open || app->musical_typing)
        return 0;
    return app->pad_lock ? 0x0B : 0x1B;
}

static bool window_has_focus(SDL_Window* w)
{
    return (SDL_GetWindowFlags(w) & SDL_WINDOW_INPUT_FOCUS) != 0;
}

bool shell_rigs_event(ShellCtx* sh, SDL_Event* ev)
{
    ShellRigs* r = &sh->rigs;
    if (ev->type == SDL_WINDOWEVENT && ev->window.event == SDL_WINDOWEVENT_FOCUS_LOST && r->session)
        rigsession_flush(r->session, 0);
    if (r->panel && inputs_panel_is_open(r->panel)) {
        InputsPanelFrame f;
        window_inputs_panel_place(&f, r->panel, &sh->kit, sh->clock(), 0.0f, window_has_focus(sh->window),
                                  key_mask(sh->app));
        bool taken = inputs_panel_handle_event(r->panel, ev, &f);
        uint8_t dragging = inputs_panel_is_dragging(r->panel) ? 1 : 0;
        if (dragging != r->dragging) {
            r->dragging = dragging;
            SDL_CaptureMouse(dragging ? SDL_TRUE : SDL_FALSE);
        }
        if (taken) {
            app_event_swallowed(sh->app, ev);
            return true;
        }
    }
    if (r->panel && ev->type == SDL_MOUSEBUTTONDOWN && ev->button.button == SDL_BUTTON_LEFT) {
        float x = (float)ev->button.x, y = (float)ev->button.y;
        const HitRect& b = r->badge;
        if (x >= b.x && x < b.x + b.w && y >= b.y && y < b.y + b.h) {
            sh->app->inputs_toggle = 1;
            app_event_swallowed(sh->app, ev);
            return true;
        }
    }
    return false;
}

void shell_rigs_tick(ShellCtx* sh, double t)
{
    ShellRigs* r = &sh->rigs;
    if (!r->session)
        return;
    Engine* e = sh->engine;
    if (e->stream_stamp != r->seen_stamp) {
        r->seen_stamp = e->stream_stamp;
        if (e->opened_device.key[0])
            rigsession_bind(r->session, &e->opened_device);
        else
            rigsession_unbind(r->session);
        r->running = e->running ? 0 : 1;   // so that the check below tells the session
    }
    if ((e->running ? 1 : 0) != r->running) {
        r->running = e->running ? 1 : 0;
        rigsession_set_flag(r->session, r->running);
    }
    rigsession_tick(r->session, t, rig_wall_clock());
    RigMessage m;
    while (rigsession_next_message(r->session, &m))
        if (m.kind == RIGMSG_SAVE_FAILED)
            toast_show(sh->app, "INPUTS NOT SAVED", TOAST_RED);
}

bool shell_rigs_toggle_due(ShellCtx* sh)
{
    ShellRigs* r = &sh->rigs;
    AppState* app = sh->app;
    if (!r->panel) {
        app->inputs_toggle = 0;
        return false;
    }
    bool due = (inputs_panel_take_pending(r->panel) == 1 && app->inputs_open) || app->inputs_toggle;
    if (due)
        app->inputs_toggle = 0;
    return due;
}

void shell_rigs_open_close(ShellCtx* sh, double t)
{
    if (sh->app->inputs_open)
        inputs_panel_open(sh->rigs.panel, t);
    else
        inputs_panel_close(sh->rigs.panel, t);
}

void shell_rigs_draw(ShellCtx* sh, double t, float dt)
{
    ShellRigs* r = &sh->rigs;
    AppState* app = sh->app;
    if (!r->panel) {
        r->badge = HitRect{};
        r->panel_rect = HitRect{};
        return;
    }
    const DrawKit* kit = &sh->kit;
    InputsPanelFrame f;
    window_inputs_panel_place(&f, r->panel, kit, t, dt, window_has_focus(sh->window), 0);
    inputs_panel_draw(r->panel, &f);
    float s = kit->scale;
    r->panel_rect = inputs_panel_is_open(r->panel)
                        ? HitRect{f.x * s + kit->offset_x, f.y * s + kit->offset_y, f.w * s, f.h * s}
                        : HitRect{};
    r->badge = HitRect{SHELL_BADGE_X * s + kit->offset_x, SHELL_BADGE_Y * s + kit->offset_y, SHELL_BADGE_SIZE * s,
                       SHELL_BADGE_SIZE * s};
    if (app->inputs_open)
        draw_fill(&sh->kit, SHELL_BADGE_X, SHELL_BADGE_Y, SHELL_BADGE_SIZE, SHELL_BADGE_SIZE, draw_rgba(150, 13, 83, 255));
    int mx = 0, my = 0;
    SDL_GetMouseState(&mx, &my);
    const HitRect& b = r->badge;
    bool hovered = mx >= b.x && mx < b.x + b.w && my >= b.y && my < b.y + b.h;
    static const float grey[4] = {148 / 255.0f, 148 / 255.0f, 148 / 255.0f, 1.0f};
    inputs_panel_draw_badge(r->panel, &f, SHELL_BADGE_X, SHELL_BADGE_Y, SHELL_BADGE_SIZE, SHELL_BADGE_SIZE, grey,
                            hovered);
    InputsPanelScroll scroll;
    inputs_panel_get_scroll(r->panel, &scroll);
    app->inputs_scroll = scroll.rows;
    app->inputs_selected = scroll.selected;
}

void shell_rigs_hit_rects(const ShellCtx* sh, WindowHitRects* rects)
{
    rects->inputs_badge = sh->rigs.badge;
    rects->inputs_panel = sh->rigs.panel_rect;
}

void shell_rigs_flush(ShellCtx* sh)
{
    if (sh->rigs.session)
        rigsession_flush(sh->rigs.session, 1000);
}

void shell_rigs_panel_stop(ShellCtx* sh)
{
    inputs_panel_destroy(sh->rigs.panel);
    sh->rigs.panel = nullptr;
}

void shell_rigs_stop(ShellCtx* sh)
{
    ShellRigs* r = &sh->rigs;
    shell_rigs_panel_stop(sh);
    sh->engine->router = nullptr;
    rigsession_destroy(r->session);
    r->session = nullptr;
}
