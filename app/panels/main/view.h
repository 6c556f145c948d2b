// view.h - the main view's painters, called by app_draw in a fixed order, and the
// small drawing helpers the panels share (check-box tab, triangle, colour mix).
// Threads: UI thread only (the renderer's thread).
// Depends on: app/app_state.h, ui/drawkit.h.
#pragma once
#include <cstdint>

#include "ui/hitregion.h"

struct AppState;
struct Canvas;
struct DrawKit;
struct Meter;

// Per channel of two packed colours (all four bytes): a + (b - a) t, t clamped to
// 0..1, each channel truncated.
uint32_t color_lerp(uint32_t a, uint32_t b, float t);
// The check-box widget of the main view's panels: a 12 x 12 box and a label; hovered
// while the mouse position lies inside r.
void view_tab(AppState* app, DrawKit* kit, HitRect r, const char* label, bool on);
// One filled triangle in a packed colour, points in kit units.
void view_triangle(DrawKit* kit, float x1, float y1, float x2, float y2, float x3, float y3,
                   uint32_t colour);

// Opens a canvas level lined up with the kit: canvas units are kit units (close it with
// canvas_end).
void view_canvas_begin(Canvas* c, const DrawKit* kit);
// A name as the user typed it (any UTF-8), where pixel-font text of size pixel would
// have its top-left corner: in the kit's pixel font when it can draw every character
// (0x20..0x7E) or there is no text renderer; else with the text renderer on the
// canvas, ended by "…" past max_w.
void view_draw_name(AppState* app, DrawKit* kit, const char* name, float x, float y, float pixel, float max_w,
                    uint32_t colour);

// Painters, in app_draw's order.
void view_background(AppState* app, DrawKit* kit, double t);      // clears the frame
void view_logo(AppState* app, DrawKit* kit);
void view_gain_slider(AppState* app, DrawKit* kit, HitRect r, const Meter* meter, const char* label,
                      uint32_t colour, float clip, bool input);
void view_loop_display(AppState* app, DrawKit* kit);
void view_transport_pads(AppState* app, DrawKit* kit);
void view_pad(AppState* app, DrawKit* kit);
void view_patches(AppState* app, DrawKit* kit);
void view_transport(AppState* app, DrawKit* kit);
void view_status_bar(AppState* app, DrawKit* kit);
void view_keys_sheet(AppState* app, DrawKit* kit);
void view_library_strip(AppState* app, DrawKit* kit, float dt);
// The LOOPS list's text for a take file (a date for session and loop-export names).
void library_panel_row_name(const char* file, char* out, size_t cap);
void view_loop_panel(AppState* app, DrawKit* kit);
void view_video_panel(AppState* app, DrawKit* kit);
void view_vst_picker(AppState* app, DrawKit* kit);
void view_settings(AppState* app, DrawKit* kit, float dt);
void view_window_chrome(AppState* app, DrawKit* kit);
