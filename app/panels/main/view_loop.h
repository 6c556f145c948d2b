// view_loop.h - the upper half of the main screen: what the loop display, the
// transport pads and the level sliders read from the engine, and their geometry,
// colours and texts as plain functions (the painters are declared in app/panels/main/view.h).
// Threads: UI thread only.
// Depends on: audio/engine.h (read with relaxed loads), ui/hitregion.h (HitRect).
#pragma once
#include <cstddef>
#include <cstdint>

#include "ui/hitregion.h"

struct Engine;
struct AppState;
struct DrawKit;

constexpr int32_t VIEW_LOOP_COLUMNS = 180;

// The engine's transport and loop as the painters see them this frame. A missing
// engine reads as stopped, with no loop and the gate off.
struct LoopView {
    bool recording;
    bool playing;
    bool reversed;
    int32_t position;        // frames
    int32_t length;          // frames, 0 = no loop yet
    double sample_rate;
    float gate_threshold;    // linear, 0 = gate off
};
LoopView view_loop_read(const Engine* e);

// Nothing recorded and nothing running: length and position both 0.
bool view_loop_empty(const LoopView* v);
// The play head's x in r: r.x + w x position / length, or at the right edge while
// the first take grows (length 0); the fraction is held to 0..1.
float view_loop_head_x(const LoopView* v, HitRect r);

// One of the 180 overview columns: the bars above and below the centre line and the
// half height of the white core, each 0 when too small to draw (0.25 units or less).
struct LoopColumn {
    float x;          // left edge
    float width;      // bar width
    float up;
    float down;
    float core;
    bool played;      // the play head is at or right of the column's left edge
};
LoopColumn view_loop_column(HitRect r, int32_t i, float upper, float lower, float head_x);

// "%.1fS" of the loop's seconds; a rate that is not positive counts as 48000.
void view_loop_length_text(int32_t length, double rate, char* out, size_t cap);

// The level bar's top colour: the slider colour, turning to warm yellow from level
// 0.85 to 1.0.
uint32_t view_level_top_colour(uint32_t colour, float level);
// The gate marker's centre y on a slider r; false when the gate is off (threshold 0).
bool view_gate_marker_y(float threshold, HitRect r, float* centre_y);
// The input gain in dB: "-INF" below 0.001, else "%+.1f".
void view_gain_text(float gain, char* out, size_t cap);
// While the input gain is dragged, "GAIN <dB> DB" large over the middle of the loop
// display. The loop display draws it last, since the sliders are painted before the
// display and its fill would otherwise dim the text.
void view_gain_readout(AppState* app, DrawKit* kit);
