// overlays.cpp - the popup and the keys help wired into start-up, events, the frame
// and shutdown.
#include "app/overlays.h"

#include <SDL.h>

#include "app/app_events.h"
#include "app/app_state.h"
#include "app/kit_popup.h"
#include "app/panels/keys_help_view.h"
#include "audio/engine.h"
#include "ui/canvas.h"

static const char kProgramId[] = "tessel";
static const char kTitle[] = "TESSEL VIVID";
static const char kVersion[] = "1.5.2";

Overlays* overlays_instance(void)
{
    static Overlays o;
    return &o;
}

void overlays_keys_start(Overlays* o)
{
    keyboard_palette_init(&o->palette);
    keys_help_init(&o->keys, kKeysHelpSections, KEYS_HELP_SECTIONS, nullptr, nullptr);
}

void overlays_popup_start(Overlays* o)
{
    KitAppInfo info{};
    info.program_id = kProgramId;
    info.title = kTitle;
    info.version = kVersion;
    info.courses = kTesselCourses;
    info.course_count = TESSEL_COURSE_COUNT;
    info.notes = kTesselNotes;
    info.note_count = TESSEL_NOTE_COUNT;
    o->popup = kit_popup_create(&info);
}

void overlays_after_settings(Overlays* o, AppState* app)
{
    if (app->keys_help_open)
        keys_help_open(&o->keys, -10.0);
}

void overlays_take_previous(Overlays* o, AppState* app)
{
    o->prev_loop_sets = app->engine ? app->engine->loop_set_count.load(std::memory_order_relaxed) : 0;
    o->prev_library = app->library_open;
    o->prev_inputs = app->inputs_open;
    o->prev_settings = app->settings_open;
}

bool overlays_event_popup(Overlays* o, AppState* app, const SDL_Event* ev, double t)
{
    // The popup is drawn only with the overlays' canvas and text renderer; without
    // them it takes nothing.
    if (!app->canvas || !app->text || !kit_popup_handle_event(o->popup, ev, 1.0f, t))
        return false;
    app_event_swallowed(app, ev);
    return true;
}

static bool overlays_mouse(const SDL_Event* ev)
{
    return ev->type == SDL_MOUSEMOTION || ev->type == SDL_MOUSEBUTTONDOWN || ev->type == SDL_MOUSEBUTTONUP ||
           ev->type == SDL_MOUSEWHEEL;
}

bool overlays_event_keys(Overlays* o, AppState* app, const SDL_Event* ev, double t)
{
    bool taken = false;
    // Without a canvas and a text renderer the panel is never drawn, so it takes no
    // click: the mouse then still reaches the main view.
    bool drawn = app->canvas && app->text;
    if (ev->type == SDL_KEYDOWN && !ev->key.repeat && ev->key.keysym.sym != SDLK_F11 &&
        ev->key.keysym.sym != SDLK_F12 && !app->picker.open && keys_help_is_toggle_key(ev, 1)) {
        keys_help_toggle(&o->keys, t);
        taken = true;
    } else if (drawn && keyboard_panel_handle_event(&o->keys, ev, 1.0f, t)) {
        taken = true;
    } else if (drawn && keys_help_is_open(&o->keys) && o->keys.layout_valid && overlays_mouse(ev)) {
        taken = true;
    }
    if (taken)
        app_event_swallowed(app, ev);
    return taken;
}

void overlays_frame(Overlays* o, AppState* app, double t)
{
    if (app->keys_help_toggle) {
        app->keys_help_toggle = 0;
        keys_help_toggle(&o->keys, t);
    }
    app->keys_help_open = keys_help_is_open(&o->keys) ? 1 : 0;

    uint32_t sets = app->engine ? app->engine->loop_set_count.load(std::memory_order_relaxed) : 0;
    if (sets != o->prev_loop_sets)
        kit_popup_discover(o->popup, "record");
    if (app->library_open && !o->prev_library)
        kit_popup_discover(o->popup, "library");
    if (app->inputs_open && !o->prev_inputs)
        kit_popup_discover(o->popup, "inputs");
    if (app->settings_open && !o->prev_settings)
        kit_popup_discover(o->popup, "settings");
    o->prev_loop_sets = sets;
    o->prev_library = app->library_open;
    o->prev_inputs = app->inputs_open;
    o->prev_settings = app->settings_open;
}

void overlays_draw_keys(Overlays* o, AppState* app, int32_t width, int32_t height, double t, float dt)
{
    if (!app->canvas || !app->text)
        return;
    keyboard_panel_draw(app->canvas, app->text, &o->keys, &o->palette, (float)width, (float)height, t, dt,
                        app->reduced_motion != 0);
}

void overlays_draw_popup(Overlays* o, AppState* app, SDL_Renderer* renderer, int32_t width, int32_t height,
                         float mouse_x, float mouse_y, double t, float dt)
{
    if (!app->canvas || !app->text)
        return;
    kit_popup_draw(o->popup, renderer, width, height, 1.0f, mouse_x, mouse_y, t, dt, app->reduced_motion != 0);
}

bool overlays_popup_open(const Overlays* o)
{
    return o && kit_popup_is_open(o->popup);
}

bool overlays_keys_open(const Overlays* o)
{
    return o && keys_help_is_open(&o->keys);
}

bool overlays_keys_panel_has(const Overlays* o, float x, float y)
{
    CanvasRect r{};
    if (!overlays_keys_open(o) || !keys_help_panel_rect(&o->keys, &r))
        return false;
    return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
}

void overlays_stop(Overlays* o)
{
    kit_popup_destroy(o->popup);
    o->popup = nullptr;
}
