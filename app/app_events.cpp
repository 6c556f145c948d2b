// app_events.cpp - SDL events to commands: the fixed key map, musical typing, the
// picker's keys and search text, the wheel, and mouse buttons and motion.
#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "app/app_events.h"
#include "app/app_state.h"
#include "app/musical_typing.h"
#include "app/toast.h"
#include "app/transport.h"
#include "app/vst_picker.h"
#include "app/vst_picker_rows.h"
#include "app/window.h"
#include "audio/engine.h"
#include "ui/drawkit.h"

static const int kWheelRows = 3;                // rows per wheel step
static const size_t kSearchMax = 47;            // bytes of search text

void app_units_from_pixels(const DrawKit* kit, float px, float py, float* x, float* y)
{
    float scale = kit && kit->scale > 0.0f ? kit->scale : 1.0f;
    float ox = kit ? kit->offset_x : 0.0f, oy = kit ? kit->offset_y : 0.0f;
    float tx = kit ? kit->translate_x : 0.0f, ty = kit ? kit->translate_y : 0.0f;
    *x = (px - ox) / scale - tx;
    *y = (py - oy) / scale - ty;
}

bool app_settings_set_open(AppState* app, bool open)
{
    if (!app)
        return false;
    app->device_list_open = 0;
    if (open && (!app->canvas || !app->text)) {
        app->settings_open = 0;
        fprintf(stderr, "settings: no %s, the settings list stays closed\n",
                app->canvas ? "text renderer" : "canvas");
        return false;
    }
    app->settings_open = open ? 1 : 0;
    return true;
}

// ---------------------------------------------------------------------------
// Keys
// ---------------------------------------------------------------------------

static void picker_search_changed(AppState* app)
{
    app->picker.scroll = 0;
    vst_picker_filter(app);
}

static void picker_key(AppState* app, SDL_Keycode sym)
{
    AppPicker* p = &app->picker;
    int32_t step = 0;
    int32_t page = vst_picker_visible_rows(p);
    switch (sym) {
    case SDLK_BACKSPACE: {
        size_t n = strlen(p->search);
        // A whole UTF-8 character: continuation bytes and the byte that leads them.
        while (n > 0 && ((unsigned char)p->search[n - 1] & 0xC0) == 0x80)
            n--;
        if (n > 0)
            n--;
        p->search[n] = '\0';
        picker_search_changed(app);
        return;
    }
    case SDLK_TAB:
        p->tab = (p->tab + 1) % 3;
        vst_picker_filter(app);
        return;
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
        if (p->selection >= 0 && p->selection < p->filtered_count)
            vst_picker_choose(app, p->filtered[p->selection]);
        return;
    case SDLK_ESCAPE:
        p->open = 0;
        return;
    case SDLK_DOWN: step = 1; break;
    case SDLK_UP: step = -1; break;
    case SDLK_PAGEDOWN: step = page; break;
    case SDLK_PAGEUP: step = -page; break;
    default:
        return;
    }
    p->selection = app_clamp_scroll(p->selection + step, p->filtered_count - 1);
    vst_picker_show_selection(p);
}

// The letters musical typing takes away from the transport.
static bool typing_blocks(SDL_Keycode sym)
{
    switch (sym) {
    case SDLK_c: case SDLK_d: case SDLK_e: case SDLK_m: case SDLK_n:
    case SDLK_r: case SDLK_s: case SDLK_v: case SDLK_w: case SDLK_x:
        return true;
    default:
        return false;
    }
}

static void command_key(AppState* app, SDL_Keycode sym)
{
    Engine* e = app->engine;
    switch (sym) {
    case SDLK_RIGHT: transport_play_dir(app, false); break;
    case SDLK_LEFT: transport_play_dir(app, true); break;
    case SDLK_SPACE: transport_play_dir(app, e->reversed.load(std::memory_order_relaxed) != 0); break;
    case SDLK_TAB:
        app->pad_mode = (uint8_t)((app->pad_mode + 1) % 2);
        if (app->drag_mode == DRAG_PAD || app->pad_lock)
            app_pad_anchor(app);
        break;
    case SDLK_a: app->inputs_toggle = 1; break;
    case SDLK_c: transport_clear(app); break;
    case SDLK_d: transport_hold_dub(app, true); break;
    case SDLK_e: transport_export_wav(app); break;
    case SDLK_l: app->library_toggle = 1; break;
    case SDLK_m: transport_monitor(app); break;
    case SDLK_n: transport_new_session(app); break;
    case SDLK_r: transport_record(app); break;
    case SDLK_s: transport_stop(app); break;
    case SDLK_v: app->video_toggle = 1; break;
    case SDLK_w: app_broadcast_set(app, !app->broadcast); break;
    case SDLK_x: transport_exclusive(app); break;
    default: break;
    }
}

static void key_down(AppState* app, const SDL_KeyboardEvent* k)
{
    if (k->repeat && !app->picker.open)
        return;
    SDL_Keycode sym = k->keysym.sym;
    if (sym == SDLK_COMMA && (k->keysym.mod & KMOD_CTRL)) {
        if (app_settings_set_open(app, !app->settings_open))
            app->picker.open = 0;
        return;
    }
    if (app->picker.open) {
        picker_key(app, sym);
        return;
    }
    if (app->settings_open) {
        if (sym == SDLK_ESCAPE) {
            if (app->device_list_open)
                app->device_list_open = 0;
            else
                app->settings_open = 0;
        }
        return;
    }
    if (sym == SDLK_ESCAPE) {
        if (app->pad_lock) {
            app->pad_lock = 0;
            app->pad_relative = 0;
            toast_show(app, "PAD FREE", TOAST_GREY);
        } else {
            typing_set(app, false);
        }
        return;
    }
    if (app->musical_typing) {
        int semitone = key_to_semitone(sym);
        if (semitone >= 0) {
            typing_note_down(app, semitone, false);
            return;
        }
        if (typing_blocks(sym))
            return;
    }
    command_key(app, sym);
}

static void key_up(AppState* app, const SDL_KeyboardEvent* k)
{
    SDL_Keycode sym = k->keysym.sym;
    if (app->musical_typing)
        typing_note_up(app, key_to_semitone(sym), false);
    if (sym == SDLK_d)
        transport_hold_dub(app, false);
}

static void text_input(AppState* app, const char* text)
{
    if (!app->picker.open)
        return;
    char* search = app->picker.search;
    size_t n = strlen(search);
    for (const unsigned char* c = (const unsigned char*)text; *c && n < kSearchMax; c++)
        if (*c >= 32)
            search[n++] = (char)*c;
    search[n] = '\0';
    picker_search_changed(app);
}

// ---------------------------------------------------------------------------
// Mouse
// ---------------------------------------------------------------------------

static void wheel(AppState* app, const SDL_MouseWheelEvent* w)
{
    int y = w->direction == SDL_MOUSEWHEEL_FLIPPED ? -w->y : w->y;
    if (app->picker.open) {
        app->picker.scroll -= kWheelRows * y;
        vst_picker_clamp_scroll(&app->picker);
        return;
    }
    if (app->library_shown && app->library_tab == 0 && app->mouse_x < app->library_x + APP_LIBRARY_WIDTH)
        app->take_scroll =
            app_clamp_scroll(app->take_scroll - kWheelRows * y, app->take_count - app_library_rows(app));
}

static void motion(AppState* app, DrawKit* kit, const SDL_MouseMotionEvent* m)
{
    int hit = window_chrome_hit(app, (float)m->x, (float)m->y);
    for (int i = 0; i < 2; i++)
        app->window_button_hover[i] = hit == i ? 1.0f : 0.0f;
    if (app->window) {
        int wx = 0, wy = 0;
        SDL_GetWindowPosition(app->window, &wx, &wy);
        pointer_track_event(&app->pointer, wx + m->x, wy + m->y, m->timestamp);
    }
    float x, y;
    app_units_from_pixels(kit, (float)m->x, (float)m->y, &x, &y);
    app_handle_drag(app, x, y);
}

static void button_down(AppState* app, DrawKit* kit, const SDL_MouseButtonEvent* b)
{
    int hit = window_chrome_hit(app, (float)b->x, (float)b->y);
    if (hit == 0) {
        app->minimise_request = 1;
        return;
    }
    if (hit == 1) {
        app->close_request = 1;
        return;
    }
    float x, y;
    app_units_from_pixels(kit, (float)b->x, (float)b->y, &x, &y);
    app->mouse_x = x;
    app->mouse_y = y;
    app_handle_click(app, x, y, b->button, b->clicks);
}

static void focus_lost(AppState* app)
{
    // The key-up of a held key may never come once another window has the keyboard.
    transport_hold_dub(app, false);
    typing_release_all(app);
}

void app_handle_event(AppState* app, DrawKit* kit, const SDL_Event* event)
{
    if (!app || !app->engine || !event)
        return;
    if (app_player_panel_event(app, kit, event)) {
        // Whatever took the release, the main view's drags and holds end with it.
        if (event->type == SDL_MOUSEBUTTONUP)
            app_handle_release(app);
        return;
    }
    switch (event->type) {
    case SDL_KEYDOWN: key_down(app, &event->key); break;
    case SDL_KEYUP: key_up(app, &event->key); break;
    case SDL_TEXTINPUT: text_input(app, event->text.text); break;
    case SDL_MOUSEMOTION: motion(app, kit, &event->motion); break;
    case SDL_MOUSEBUTTONDOWN: button_down(app, kit, &event->button); break;
    case SDL_MOUSEBUTTONUP: app_handle_release(app); break;
    case SDL_MOUSEWHEEL: wheel(app, &event->wheel); break;
    case SDL_WINDOWEVENT:
        if (event->window.event == SDL_WINDOWEVENT_FOCUS_LOST)
            focus_lost(app);
        break;
    default: break;
    }
}

void app_event_swallowed(AppState* app, const SDL_Event* event)
{
    if (!app || !app->engine || !event)
        return;
    if (event->type == SDL_MOUSEBUTTONUP)
        app_handle_release(app);
    else if (event->type == SDL_KEYUP)
        key_up(app, &event->key);
    else if (event->type == SDL_WINDOWEVENT && event->window.event == SDL_WINDOWEVENT_FOCUS_LOST)
        focus_lost(app);
}
