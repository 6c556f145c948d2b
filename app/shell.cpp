// shell.cpp - start-up and shutdown, each in its fixed order.
#include "app/shell.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "app/app_close.h"
#include "app/app_state.h"
#include "app/folders.h"
#include "app/overlays.h"
#include "app/settings.h"
#include "app/takes.h"
#include "app/window.h"
#include "audio/engine.h"
#include "library/user_stores.h"
#include "platform/plat_heap.h"
#include "platform/plat_signal.h"
#include "platform/plat_x11_lost.h"
#include "platform/plat_window.h"
#include "ui/backdrop.h"
#include "ui/canvas.h"
#include "ui/cursor.h"
#include "ui/text.h"

// What start-up has made, so a failure releases exactly that.
enum : uint32_t {
    MADE_SDL = 1u << 0,
    MADE_WINDOW = 1u << 1,
    MADE_RENDERER = 1u << 2,
    MADE_KIT = 1u << 3,
    MADE_ENGINE = 1u << 4,
};

static const char kTitle[] = "TESSEL VIVID";
// The audio server shows the program under this name (JACK ports "tessel:in_0" ...).
static const char kClientName[] = "tessel";

static double shell_step(ShellCtx* sh, const char* name, double t0);

static void shell_release(ShellCtx* sh)
{
    double t = perf_seconds();
    if (sh->made & MADE_ENGINE) {
        engine_shutdown(sh->engine);
        t = shell_step(sh, "engine_shutdown", t);
    }
    if (sh->made & MADE_KIT) {
        draw_shutdown(&sh->kit);
        t = shell_step(sh, "draw_shutdown", t);
    }
    if (sh->made & MADE_RENDERER) {
        SDL_DestroyRenderer(sh->renderer);
        t = shell_step(sh, "SDL_DestroyRenderer", t);
    }
    if (sh->made & MADE_WINDOW) {
        SDL_DestroyWindow(sh->window);
        t = shell_step(sh, "SDL_DestroyWindow", t);
    }
    if (sh->made & MADE_SDL) {
        SDL_Quit();
        shell_step(sh, "SDL_Quit", t);
    }
    sh->made = 0;
    sh->renderer = nullptr;
    sh->window = nullptr;
    // This shell is gone: a lost display from here on has no take to save.
    plat_x11_watch_lost(nullptr, nullptr);
}

// One line on standard error, "what: detail" or "what", then the way out.
static int shell_fail(ShellCtx* sh, const char* what, const char* detail)
{
    if (detail)
        fprintf(stderr, "%s: %s\n", what, detail);
    else
        fprintf(stderr, "%s\n", what);
    shell_release(sh);
    return 1;
}

static SDL_Renderer* shell_make_renderer(SDL_Window* window, bool* vsync)
{
    SDL_Renderer* r = SDL_CreateRenderer(window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!r)
        r = SDL_CreateRenderer(window, -1, 0);
    SDL_RendererInfo info;
    *vsync = r && SDL_GetRendererInfo(r, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC);
    return r;
}

double shell_refresh_hz(SDL_Window* window)
{
    SDL_DisplayMode mode{};
    if (!window || SDL_GetWindowDisplayMode(window, &mode) != 0)
        return 0.0;
    return (double)mode.refresh_rate;
}

// The base rectangle is taken from the first window whether or not a panel is open:
// a panel opened later by any road (a toggle, a dropped file) widens it from there.
// Open side panels at start: the slides already at their ends, and the window
// widened for them.
static void shell_open_panels(ShellCtx* sh)
{
    AppState* app = sh->app;
    int w = 0, h = 0;
    SDL_GetWindowSize(sh->window, &w, &h);
    float scale = std::min((float)w / DRAW_REF_WIDTH, (float)h / DRAW_REF_HEIGHT);
    window_save_rect(&sh->base, sh->window, 0.0f, 0.0f, scale);
    sh->granted = window_geometry(sh->window);
    sh->panels_seen[0] = app->inputs_open;
    sh->panels_seen[1] = app->library_open;
    sh->panels_seen[2] = app->video_open;
    if (!app->inputs_open && !app->library_open && !app->video_open)
        return;
    sh->slides = PanelSlides{app->inputs_open ? 1.0f : 0.0f, app->library_open ? 1.0f : 0.0f,
                             app->video_open ? 1.0f : 0.0f};
    float left = WINDOW_LIBRARY_UNITS * sh->slides.library + WINDOW_INPUTS_UNITS * sh->slides.inputs;
    window_apply_panels(&sh->base, sh->window, left, WINDOW_VIDEO_UNITS * sh->slides.video, &sh->granted);
}

// The first window: its own size when the screen's usable area holds it, else the
// largest of the same aspect that does; centred in that area. A window larger than
// the screen would put its drag strip and buttons where nothing can reach them.
static WindowGeometry shell_first_window(void)
{
    WindowGeometry usable;
    if (!window_usable_bounds(nullptr, &usable))
        return WindowGeometry{(int32_t)SDL_WINDOWPOS_CENTERED, (int32_t)SDL_WINDOWPOS_CENTERED, WINDOW_START_WIDTH,
                              WINDOW_START_HEIGHT};
    return window_fit_start(&usable, WINDOW_START_WIDTH, WINDOW_START_HEIGHT);
}

// Shows the window, waiting at most wait_seconds; a window the window manager has not
// shown yet is asked for again by the frame loop every SHELL_SHOW_RETRY seconds. The
// renderer is made first: SDL remakes a window for its GL renderer, and a shown
// window is hidden and shown again with it, waiting on the window manager each time.
void shell_show(ShellCtx* sh, double wait_seconds)
{
    sh->show_pending = !plat_window_show(sh->window, wait_seconds);
    sh->show_asked = perf_seconds();
}

// Records one step: its name and the time since t0. Returns the time now, the next
// step's start.
static double shell_step(ShellCtx* sh, const char* name, double t0)
{
    double now = perf_seconds();
    if (sh->step_count < SHELL_MAX_STEPS)
        sh->steps[sh->step_count++] = ShellStep{name, now - t0};
    return now;
}

// Runs one side system's start or stop when it takes part, and records it as a step
// under its name; one left out records nothing. Returns the next step's start.
static double shell_side(ShellCtx* sh, bool takes_part, void (*run)(ShellCtx*), const char* name, double t0)
{
    if (!takes_part)
        return t0;
    run(sh);
    return shell_step(sh, name, t0);
}

static void shell_popup_start(ShellCtx*)
{
    overlays_popup_start(overlays_instance());
}

static void shell_popup_stop(ShellCtx*)
{
    overlays_stop(overlays_instance());
}

// The backdrop's stars and colours.
static void shell_backdrop(AppState* app)
{
    backdrop_init(app->backdrop_stars);
    backdrop_default_colors(app->backdrop_colours);
    const float kBackdropPair[2][4] = {{46 / 255.0f, 199 / 255.0f, 184 / 255.0f, 1.0f},
                                       {107 / 255.0f, 230 / 255.0f, 224 / 255.0f, 1.0f}};
    for (int i = 0; i < 2; i++)
        for (int k = 0; k < 4; k++)
            app->backdrop_colours[i][k] = kBackdropPair[i][k];
}

int shell_start(ShellCtx* sh, int argc, char** argv, const ShellOptions* options)
{
    *sh = ShellCtx{};
    sh->clock = options && options->clock ? options->clock : perf_seconds;
    sh->leave_out = options ? options->leave_out : 0;
    sh->engine = engine_instance();
    sh->app = app_instance();
    double t = perf_seconds();
    plat_heap_hold();

    SDL_SetHint(SDL_HINT_RENDER_DRIVER, "opengl");
    // A driver named by hint leaves SDL's batching off unless it is asked for.
    SDL_SetHint(SDL_HINT_RENDER_BATCHING, "1");
    // The click that brings the window back from another program is a press like any
    // other: without this SDL drops a click that comes with the focus.
    SDL_SetHint(SDL_HINT_MOUSE_FOCUS_CLICKTHROUGH, "1");
    if (SDL_Init(SDL_INIT_TIMER | SDL_INIT_VIDEO) != 0)
        return shell_fail(sh, "SDL init failed", SDL_GetError());
    sh->made |= MADE_SDL;
    // With no display reachable (the X server gone or refusing for a moment) SDL
    // settles on a driver that shows nothing: the program would play on with a window
    // nobody can see or close. Such a driver is taken only when asked for by name, in
    // any case, as SDL itself reads the name.
    const char* driver = SDL_GetCurrentVideoDriver();
    const char* asked = SDL_GetHint(SDL_HINT_VIDEODRIVER);
    if (driver && (!strcmp(driver, "offscreen") || !strcmp(driver, "dummy") || !strcmp(driver, "evdev")) &&
        !(asked && SDL_strcasestr(asked, driver)))
        return shell_fail(sh, "SDL init failed", "no display could be opened (is DISPLAY set?)");
    t = shell_step(sh, "SDL_Init", t);
    // A closed terminal is a close request like SIGTERM, not the end of the take.
    plat_signal_catch();

    // The 2D renderer never tests depth or stencil. Without those buffers software GL
    // (Mesa's llvmpipe) takes its rectangle path: most of what the window draws is
    // axis-aligned quads, each then set up as one rectangle rather than two triangles.
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
    // Made hidden and shown once the renderer exists (see shell_show): SDL's own show
    // can wait for ever on a window manager that is just starting.
    WindowGeometry first = shell_first_window();
    sh->window = SDL_CreateWindow(kTitle, first.x, first.y, first.w, first.h,
                                  SDL_WINDOW_HIDDEN | SDL_WINDOW_BORDERLESS | SDL_WINDOW_RESIZABLE |
                                      SDL_WINDOW_ALLOW_HIGHDPI);
    if (!sh->window)
        return shell_fail(sh, "window failed", SDL_GetError());
    sh->made |= MADE_WINDOW;
    t = shell_step(sh, "SDL_CreateWindow", t);
    window_install_hit_test(sh->window);
    t = shell_step(sh, "window_hit_test", t);
    window_set_icon(sh->window);
    t = shell_step(sh, "window_set_icon", t);

    sh->renderer = shell_make_renderer(sh->window, &sh->vsync);
    if (!sh->renderer)
        return shell_fail(sh, "renderer failed", SDL_GetError());
    sh->made |= MADE_RENDERER;
    frame_pace_init(&sh->pace, shell_refresh_hz(sh->window));
    t = shell_step(sh, "SDL_CreateRenderer", t);
    shell_show(sh, SHELL_SHOW_WAIT);
    t = shell_step(sh, "window_show", t);
    // Once the window system is up, so nothing replaces it: a lost X server no longer
    // ends the program wherever it stands.
    plat_x11_watch_lost(shell_display_lost, sh);

    sh->made |= MADE_KIT;   // draw_shutdown is safe on a half-made kit
    if (!draw_init(&sh->kit, sh->renderer))
        return shell_fail(sh, "draw init failed", nullptr);
    t = shell_step(sh, "draw_init", t);

    engine_set_client_name(kClientName);
    // A failed engine_init has already released what it made.
    if (!engine_init(sh->engine))
        return shell_fail(sh, "engine init failed",
                          sh->engine->error_text[0] ? sh->engine->error_text : "out of memory");
    sh->made |= MADE_ENGINE;
    t = shell_step(sh, "engine_init", t);

    char err[128] = "";
    char program[sizeof sh->folders.program];
    if (!folders_program(program, sizeof program, err, sizeof err))
        return shell_fail(sh, "folders failed", err);
    t = shell_step(sh, "folders_program", t);
    AppState* app = sh->app;
    app_init(app, sh->engine, program);
    t = shell_step(sh, "app_init", t);
    // The overlays' canvas and text renderer. Either may be missing (no GL context,
    // no fonts): the panels that need them then stay closed for the whole run.
    app->canvas = canvas_create(sh->renderer);
    app->text = app->canvas ? text_renderer_create(sh->renderer) : nullptr;
    t = shell_step(sh, "canvas_create", t);
    shell_backdrop(app);
    t = shell_step(sh, "backdrop_init", t);
    cursor_init(&sh->cursor);
    // The drawn tile sits about 90 px below the hotspot and turns about it over
    // controls; the system pointer stays shown so a click lands where it is seen.
    sh->cursor.system_shown = 1;
    t = shell_step(sh, "cursor_init", t);
    // The popup reads the preferences in the data folder, so it is made once the
    // folders are settled below; the keys help is set up here.
    Overlays* o = overlays_instance();
    overlays_keys_start(o);
    t = shell_step(sh, "keys_help_init", t);
    app->window = sh->window;

    if (!folders_settle(&sh->folders, program, err, sizeof err))
        return shell_fail(sh, "folders failed", err);
    folders_make_data(&sh->folders);   // a folder that cannot be made fails its writers later
    snprintf(app->data_folder, sizeof app->data_folder, "%s", sh->folders.data);
    snprintf(app->takes_folder, sizeof app->takes_folder, "%s", sh->folders.takes);
    folders_set_data(sh->folders.data);
    folders_use_data_path(sh->folders.data);   // the library's stores and the preferences
    // Temporaries of writes that a kill cut short go before anything writes anew.
    int swept = folders_sweep_temps(&sh->folders);
    if (swept > 0)
        fprintf(stderr, "tessel: removed %d temporary file%s left by a write that never ended\n", swept,
                swept == 1 ? "" : "s");
    t = shell_step(sh, "folders_settle", t);
    t = shell_side(sh, !(sh->leave_out & SHELL_LEAVE_POPUP), shell_popup_start, "kit_popup_create", t);

    // The session's router goes into the engine before the first stream opens.
    shell_rigs_folder(sh);
    t = shell_step(sh, "rigstore_folder_path", t);
    t = shell_side(sh, !(sh->leave_out & SHELL_LEAVE_SESSION), shell_rigs_start, "rigsession_create", t);
    // Without a device the program runs on, showing the audio offline.
    engine_start(sh->engine);
    t = shell_step(sh, "engine_start", t);
    settings_load(app);
    overlays_after_settings(o, app);
    t = shell_step(sh, "settings_load", t);
    if (!(sh->leave_out & SHELL_LEAVE_PANEL))
        shell_rigs_panel_start(sh);
    else
        app->inputs_open = 0;
    t = shell_step(sh, "inputs_panel_create", t);
    if (app->library_open)
        app_library_scan(app);
    t = shell_step(sh, "app_library_scan", t);
    if (argc > 1 && argv[1] && argv[1][0])
        app_open_path(app, argv[1]);
    t = shell_step(sh, "app_open_path", t);
    if (app->video_toggle) {
        app->video_open = 1;
        app->video_toggle = 0;
    }
    shell_open_panels(sh);
    t = shell_step(sh, "window_apply_panels", t);
    t = shell_side(sh, !(sh->leave_out & SHELL_LEAVE_STATION), shell_station_start, "tcstream_init", t);
    overlays_take_previous(o, app);

    sh->prev_time = sh->clock();
    shell_step(sh, "perf_seconds", t);
    return 0;
}

int shell_stop(ShellCtx* sh)
{
    AppState* app = sh->app;
    if (!app || !sh->made)
        return 0;
    double t = perf_seconds();
    app_save_on_exit(app);
    sh->take_steps_done = true;
    t = shell_step(sh, "app_save_on_exit", t);
    settings_save(app);
    t = shell_step(sh, "settings_save", t);
    t = shell_side(sh, sh->rigs.session != nullptr, shell_rigs_flush, "rigsession_flush", t);
    app_shutdown(app);
    t = shell_step(sh, "app_shutdown", t);
    t = shell_side(sh, overlays_instance()->popup != nullptr, shell_popup_stop, "kit_popup_destroy", t);
    cursor_release(&sh->cursor);
    t = shell_step(sh, "cursor_release", t);
    text_renderer_destroy(app->text);
    canvas_destroy(app->canvas);
    app->text = nullptr;
    app->canvas = nullptr;
    t = shell_step(sh, "canvas_destroy", t);
    engine_stop(sh->engine);
    t = shell_step(sh, "engine_stop", t);
    t = shell_side(sh, sh->station.ready, shell_station_stop, "tcstream_shutdown", t);
    t = shell_side(sh, sh->rigs.panel != nullptr, shell_rigs_panel_stop, "inputs_panel_destroy", t);
    t = shell_side(sh, true, shell_rigs_stop, "rigsession_destroy", t);
    // engine_shutdown, draw_shutdown, the renderer, the window, SDL.
    shell_release(sh);
    return 0;
}
