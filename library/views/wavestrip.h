// wavestrip.h - the library's waveform drawing: the mini strip of summary peaks (cards
// and the folder tree's preview), the waveform body and the take view's overlay, and
// the take emblem (a small rotating, dithered prism).
// Threads: UI thread only.
// Depends on: ui/canvas.h, ui/hitregion.h, ui/dither.h, ui/theme.h, viz.h.
#pragma once
#include <cstdint>

struct Canvas;
struct CanvasRect;
struct TextRenderer;

struct WaveStripStyle {
    int32_t kind;                     // 0 bars, 1 smooth body
    float shape1, shape2, shape3;     // bar width and spacing (kind 0), body glow (kind 1)
    float odd_scale;
    float shape4;
    float opacity;
    float base_brightness;
    float peak_brightness;
    float trailing1, trailing2;
};
void wavestrip_style_init(int32_t kind, WaveStripStyle* style);

// Draws n points (0..1; NaN and negatives as 0, above 1 as 1) across r. limit: the
// bar half-height limit; overlay: up to 240 values or null; cursor_x < 0: none.
void wavestrip_draw(Canvas* c, const CanvasRect* r, const float* points, int32_t n, const WaveStripStyle* style,
                    float limit, const float* overlay, int32_t overlay_count, float cursor_x,
                    const float* colour);

struct WaveViewStyle {
    float scale_a[2], scale_b[2];
    float peak_scale;
    uint8_t register_hit;
    int32_t stride;
    uint8_t sparse;
    float half_height;                // <= 0: 0.44 of the height
    float odd_scale;                  // <= 0: 1/3 sparse, 1 otherwise
    uint8_t all_full;
    float opacity;
};
void waveview_style_init(WaveViewStyle* style);
void waveview_palette(float colours[10][4]);

struct WaveViewWave {
    const float* points;
    int32_t count;
    float x, y, w, h;
    uint8_t still;
    uint8_t arc;
    float arc_x, arc_strength, arc_direction, arc_scale;
    float growth;                     // < 0: none
    float fade_length;
    uint8_t reverse;
    int32_t index_offset;
    double time;
    const float* colour;              // the element colour (null: light)
};
void waveview_draw_wave(Canvas* c, const WaveViewWave* wave, const WaveViewStyle* style);

// A lane draws its grid when it has one (each cell above 0.04 in the heat ramp), else
// its peaks as bars.
struct WaveViewLane {
    float start, end;                 // 0..1 of the width
    const float* peaks;
    int32_t count;
    const float* grid;                // columns x rows values 0..1, row by row from the top; null: none
    int32_t columns, rows;
};
struct WaveViewOverlay {
    const WaveViewLane* lanes;
    int32_t lane_count;
    float range_start, range_end;     // range_end <= range_start: none
    uint8_t range_active;             // the range is being dragged: its edge markers brighten
    float position;                   // < 0: none
    float pointer_x;                  // units from the left; the edge marker within 6 of it is
                                      // brightest; NaN: the pointer is elsewhere
    int32_t drag_handle;              // the handle being dragged, outlined: 0 none, 1 start, 2 end
};
void waveview_draw_overlay(Canvas* c, TextRenderer* tr, const CanvasRect* r, const WaveViewOverlay* overlay);
// The heat ramp of grid lanes: 7 -> 8 up to 0.85, then 8 -> 9.
void waveview_heat(float v, float out[4]);

// The take emblem in a tile: size <= 0 is 0.75 of the tile height, clamped 14..32; it
// sits at the tile's bottom on a stem, clipped to the tile. time: the clock (the
// rotation, one turn in 3.2 s, still at 0.55 rad with reduced motion); since: seconds
// since it came in (the dissolve).
void emblem_draw(Canvas* c, const CanvasRect* tile, const float* colour, float size, double time, double since,
                 uint8_t reduced_motion);
