// window.h - the borderless main window: its own title strip and resize borders (the
// hit test), the base rectangle that shows the main view, the side panels' slides and
// the window widening that follows them, the pad-lock drag and the window buttons.
// Threads: UI thread only (SDL calls the hit test from the event pump).
// Depends on: SDL2 video, ui/hitregion.h (HitRect), ui/drawkit.h, app/app_state.h,
//             app/app_events.h.
#pragma once
#include <cstdint>

#include "ui/hitregion.h"

struct AppState;
struct PointerTrack;
struct DrawKit;
struct SDL_Window;
struct SDL_Point;

constexpr int32_t WINDOW_START_WIDTH = 620;     // pixels, centred at start when the
constexpr int32_t WINDOW_START_HEIGHT = 1010;   // screen's usable area holds it
constexpr int32_t WINDOW_BORDER = 6;            // resize border, pixels
constexpr int32_t WINDOW_DRAG_HEIGHT = 48;      // the drag strip: the top 48 pixels ...
constexpr int32_t WINDOW_DRAG_RIGHT_GAP = 84;   // ... less the rightmost 84
constexpr float WINDOW_SLIDE_SECONDS = 0.18f;   // a full open or close
constexpr float WINDOW_LIBRARY_UNITS = 600.0f;  // side panels, main-view units
constexpr float WINDOW_INPUTS_UNITS = 440.0f;
constexpr float WINDOW_VIDEO_UNITS = 520.0f;

// SDL's hit-test answers.
enum WindowHit {
    WINDOW_HIT_NORMAL = 0,
    WINDOW_HIT_DRAG = 1,
    WINDOW_HIT_TOP_LEFT = 2,
    WINDOW_HIT_TOP = 3,
    WINDOW_HIT_TOP_RIGHT = 4,
    WINDOW_HIT_RIGHT = 5,
    WINDOW_HIT_BOTTOM_RIGHT = 6,
    WINDOW_HIT_BOTTOM = 7,
    WINDOW_HIT_BOTTOM_LEFT = 8,
    WINDOW_HIT_LEFT = 9,
};

// A window's place and size, screen pixels.
struct WindowGeometry {
    int32_t x, y, w, h;
};

// The part of the window that shows the 640-unit main view, without the side panels.
struct WindowBaseRect {
    int32_t width;   // pixels
    int32_t x;       // screen pixels
    float scale;     // kit pixels per unit when it was taken
};

// Rectangles of the drag strip that stay clickable, in window pixels; handed over
// once per frame after drawing. Empty rectangles hold nothing.
struct WindowHitRects {
    HitRect logo;
    HitRect library_switch;
    HitRect library_panel;
    HitRect new_session;
    HitRect video_switch;
    HitRect video_panel;
    HitRect inputs_badge;
    HitRect inputs_panel;
    // A panel's controls that may reach into the resize border at the window's edge
    // (the video panel's trim bar and remove button): they take their clicks there.
    HitRect border_controls[2];
};

// Slide values 0..1, each moving towards 1 while its panel is open.
struct PanelSlides {
    float inputs;
    float library;
    float video;
};

// What the slides give the kit and the panels this frame.
struct PanelWidths {
    float left;        // units: e(library) x 600 + e(inputs) x 440
    float right;       // units: e(video) x 520
    float library_x;   // -e(inputs) x 440 - 600
};

// The hit test for a window of width x height: normal while fullscreen or on a
// border control; corners (within the border of two edges), then edges; normal below the drag strip, in its
// right gap and inside any rectangle; otherwise draggable.
// While the popup or the keys help is open the whole window answers normal below the
// borders: the overlays take every click.
int window_hit_classify(int32_t width, int32_t height, bool fullscreen, const WindowHitRects* rects,
                        int32_t px, int32_t py, bool popup_open = false, bool keys_help_open = false);
// SDL's hit-test answer over the rectangles last handed over (data unused).
int window_hit_test(SDL_Window* window, const SDL_Point* point, void* data);
// Makes window_hit_test the window's hit test; false where the video driver has none
// (the window then has no drag strip or resize borders of its own).
bool window_install_hit_test(SDL_Window* window);
void window_set_hit_rects(const WindowHitRects* rects);
// Whether the popup and the keys help are open, handed over once per frame.
void window_set_overlays(bool popup_open, bool keys_help_open);
// This frame's rectangles from the app's layout and the shown panels, through the
// kit's scale and origin.
WindowHitRects window_hit_rects_from(const AppState* app, const DrawKit* kit);

// The first window: want_w x want_h when the usable bounds hold it, else the largest
// size of the same aspect that fits them; centred in them either way.
WindowGeometry window_fit_start(const WindowGeometry* usable, int32_t want_w, int32_t want_h);
// g made no larger than the bounds, then moved inside them.
WindowGeometry window_keep_inside(WindowGeometry g, const WindowGeometry* bounds);
// The usable bounds (without task bars and docks) of the display that holds the
// window, or of the first display for a null window. False when SDL cannot say.
bool window_usable_bounds(SDL_Window* window, WindowGeometry* out);
// The window's position and size as SDL knows them now.
WindowGeometry window_geometry(SDL_Window* window);

// x = window x + round(left), width = window width - round(right) - round(left), the
// scale kept; left and right in pixels, round = +0.5 then truncation.
WindowBaseRect window_base_from(int32_t window_x, int32_t window_w, float left, float right, float scale);
void window_save_rect(WindowBaseRect* rect, SDL_Window* window, float left, float right, float scale);
// Where the window must be for panels of left and right units around the base
// rectangle: width = base + l + r, x = base x - l. False when it already is there.
bool window_panels_target(const WindowBaseRect* rect, float left_units, float right_units, int32_t cur_x,
                          int32_t cur_w, int32_t* want_x, int32_t* want_w);
// Resizes, then moves, the window to the target, kept inside the display's usable
// bounds; nothing while maximised or fullscreen, where the panels slide within the
// window. *granted (may be null) receives what the window manager gave: the window's
// geometry read back afterwards.
void window_apply_panels(const WindowBaseRect* rect, SDL_Window* window, float left_units, float right_units,
                         WindowGeometry* granted);

// One slide step towards 1 (open) or 0 by dt / 0.18, clamped to 0..1.
float slide_step(float value, bool open, float dt);
// Eased slide: (3 - 2s) s^2.
float slide_ease(float s);
// Steps every slide and gives the widths; true when any value was away from its
// target before the step (the window must follow).
bool window_slides_step(PanelSlides* s, bool inputs_open, bool library_open, bool video_open, float dt,
                        PanelWidths* out);

// A motion event seen at ms: the pointer at (x, y) on the desktop.
void pointer_track_event(PointerTrack* t, int32_t x, int32_t y, uint32_t ms);
// The global value read at now_ms; gives the desktop position to follow: the global
// one when it changed after the last motion event, else the event's.
void pointer_track_pick(PointerTrack* t, int32_t global_x, int32_t global_y, uint32_t now_ms, int32_t* x,
                        int32_t* y);

// While the pad lock holds and no drag runs: the pointer (pointer_track_pick) as
// main-view units into the app's mouse position, and the pad follows it.
void window_drag(AppState* app, DrawKit* kit);

// Which window button holds the point (window pixels): 0 minimise, 1 close, -1 none;
// minimise first. Tests the two rectangles in app->window_buttons.
int window_chrome_hit(AppState* app, float x, float y);

// The window's icon, built from pixels compiled into the program; no failure is
// reported.
void window_set_icon(SDL_Window* window);

// Forgets textures the renderer lost (after a render reset).
void app_reset_textures(AppState* app);
