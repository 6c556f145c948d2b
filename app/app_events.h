// app_events.h - the main view's input: SDL events to commands through the fixed key
// map, clicks through the fixed order over the layout table, drags and releases, the
// loop player panel's mouse handling and the pointer's cursor kind.
// Threads: UI thread only.
// Depends on: app/app_state.h, app/transport.h, app/musical_typing.h,
//             app/vst_picker_rows.h, app/window.h, ui/drawkit.h, SDL2 events.
#pragma once
#include <cstdint>

#include "ui/hitregion.h"

struct AppState;
struct DrawKit;
union SDL_Event;

// A rectangle holds a point when x <= px < x + w and y <= py < y + h.
inline bool app_rect_has(HitRect r, float x, float y)
{
    return x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
}

// Panels whose geometry the painters fix and clicks and the cursor share, in
// main-view units.
constexpr HitRect APP_PICKER_PANEL = {60, 120, 520, 840};
constexpr HitRect APP_SETTINGS_PANEL = {60, 277.5f, 520, 525};
constexpr float APP_MAIN_VIEW_WIDTH = 640.0f;
constexpr float APP_LIBRARY_WIDTH = 600.0f;

// Cursor kinds app_cursor_kind answers (drawn by the cursor).
enum {
    CURSOR_ARROW = 0,
    CURSOR_CROSS = 1,             // seek, pad
    CURSOR_HAND = 2,              // buttons, rows, tabs
    CURSOR_TEXT = 4,              // the picker's search field
    CURSOR_SLIDE_X = 5,           // knobs, the video trim
    CURSOR_SLIDE_Y = 6,           // gain and gate
    CURSOR_SEGMENT = 9,           // a segment dragged out of the loop panel
    CURSOR_SEGMENT_DROP = 10,     // ... over the main view
};

// Every event the frame loop did not give to an overlay. Pointer positions become
// main-view units: (pixel - kit offset) / kit scale - kit translation, per axis.
// Modifiers are read from the event's own key state.
void app_handle_event(AppState* app, DrawKit* kit, const SDL_Event* event);
// For an event an overlay takes before app_handle_event (the keys help, the training
// popup): a mouse-button or key release still ends drags, hold-dub and held notes,
// and a lost focus still releases what is held, so nothing stays on behind it.
void app_event_swallowed(AppState* app, const SDL_Event* event);
// A point in window pixels as main-view units, through the kit's offset, scale and
// translation (a kit without a layout counts as scale 1).
void app_units_from_pixels(const DrawKit* kit, float px, float py, float* x, float* y);

// x, y in main-view units; button 1 left, 3 right; clicks = the click count.
void app_handle_click(AppState* app, float x, float y, int button, int clicks);
void app_handle_drag(AppState* app, float x, float y);
void app_handle_release(AppState* app);

// Whether the loop player panel or the library view took the event.
bool app_player_panel_event(AppState* app, DrawKit* kit, const SDL_Event* event);
// Whether the loop player panel took the event.
bool app_loop_panel_event(AppState* app, DrawKit* kit, const SDL_Event* event);

void app_pad_anchor(AppState* app);
void app_pad_drag(AppState* app, float x, float y);
void app_fx_knob_drag(AppState* app, float x);

// The gain a drag gives: 0.14 dB per unit moved up from the start gain (-60 dB when
// it is at most 0.001); 0 at or below -59 dB, at most 2.
float app_gain_drag_value(float start_gain, float start_y, float y);
// The gate threshold at fraction f of the slider from the top: 0 near the bottom
// (1 - f < 0.02), else 10^((min(1, 1 - f) x 60 - 60) / 20).
float app_gate_drag_value(float f);

// The key of the key sheet under x: clamp(floor((x - sheet x) / (width / 13)), 0, 12).
int app_key_sheet_key(AppState* app, float x);

// The take-list entry whose row is drawn at y on the library's LOOPS tab, or -1.
int32_t app_take_row_at(AppState* app, float y);
// The video panel's trim bar as it takes clicks: x from the panel's x + 10 over 500
// units, widened by the handles' grab (4 units each side) so that a handle at either
// end is taken whole; 962 <= y < 1026.
HitRect app_trim_bar_rect(const AppState* app);
// Whether the point lies on that rectangle.
bool app_on_trim_bar(AppState* app, float x, float y);

int app_cursor_kind(AppState* app);

// The settings list's device entries: entry k of the open list lies under the INPUT
// row, 38 units high, across the row's width. The entry under the point, or -1.
constexpr float APP_DEVICE_ROW_HEIGHT = 38.0f;
int32_t app_device_entry_at(const AppState* app, float x, float y);
// Opens (open) or closes the settings list; closing also closes its device list. The
// list is drawn on the canvas with the text renderer: while either is missing it
// stays closed, one line on standard error says why, and the result is false.
bool app_settings_set_open(AppState* app, bool open);
// The take rows the library panel shows: floor((bottom - 92) / 36), at least 1; the
// bottom is 976, or 782 while a take is loaded in the library player.
int32_t app_library_rows(AppState* app);
