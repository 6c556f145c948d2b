// cursor.h - the program's own mouse pointer: a small spinning pixel-art tile that
// follows the mouse, changes colour and shape with the cursor mode, squashes on press,
// leaves a trail of dots, throws sparks from its corners while it turns, bursts on a
// click, rings when the pointer moves onto another hit region, and shows a shaded gem
// beside it while the program is busy.
// Threads: UI thread only (the owner of the hidden system pointer is process-wide).
// Depends on: SDL2 renderer and mouse (SDL_ShowCursor), ui/canvas.h, ui/hitregion.h.
//
// The cursor works in its own pixel grid: positions are window pixels divided by
// CURSOR_UNIT and it draws with that scale, so one cursor pixel is 4.2 window pixels.
// Modes: 0 arrow, 1 ring (tinted), 2 hand, 3 the system pointer (nothing drawn, effects
// frozen), 4 ring in yellow, 5..8 drag right, down and the two diagonals, 9 double
// arrow, 10 ring in blue (pulsing), 11 pointer in red; other values count as 0.
// Per frame: cursor_set_pressed, cursor_set_busy, cursor_update, then (inside a
// canvas pass) cursor_draw_busy_gem, and cursor_draw last of everything.
#pragma once
#include <cstdint>

struct SDL_Renderer;
struct Canvas;

constexpr float CURSOR_UNIT = 4.2f;       // window pixels per cursor unit
constexpr int32_t CURSOR_TRAIL = 80;
constexpr int32_t CURSOR_SPARKS = 32;

struct CursorDot {
    float x, y;
    float spin;             // golden-angle sideways drift
    double time;
};

struct CursorSpark {
    float x, y, vx, vy;
    float origin_x, origin_y;
    float spin;
    double time;
};

struct CustomCursor {
    float angle;                        // radians, 0.7 at start
    float pointer_morph;                // 0..1, modes 2, 5..9, 11
    float ring_morph;                   // 0..1, modes 1, 4, 10
    float tint_r, tint_g, tint_b;
    float tint_weight;
    float drag_amount;                  // modes 5..9
    float double_amount;                // mode 9
    float drag_dx, drag_dy;
    float stretch, stretch_velocity;
    float press, press_velocity;
    float mode10_amount;
    uint8_t pressed, click_pending;
    float last_x, last_y;
    float trail_distance;
    uint8_t tracking;
    uint8_t system_hidden;              // this cursor took the pointer over from the system's
    uint8_t system_shown;               // set by the owner: the system pointer stays visible under
                                        // the tile, which sits away from the hotspot
    uint32_t mode;
    uint32_t trail_counter;
    CursorDot trail[CURSOR_TRAIL];      // oldest first
    int32_t trail_count;
    uint8_t busy;
    double busy_start;                  // -1 until the next update
    float busy_amount;
    float busy_phase;
    CursorSpark sparks[CURSOR_SPARKS];  // oldest first
    int32_t spark_count;
    float corner_travel[4];
    uint64_t hover_id;
    float hover_amount;
    double hover_change_time;
    float hover_phase;
};

void cursor_init(CustomCursor* c);
// Shows the system pointer again if this cursor hid it.
void cursor_release(CustomCursor* c);
// hide: this cursor takes the pointer over (and hides the system's unless
// system_shown is set); else the system's is shown again unless another cursor has it.
void cursor_hide_system(CustomCursor* c, uint8_t hide);
void cursor_set_pressed(CustomCursor* c, uint8_t pressed);
void cursor_set_busy(CustomCursor* c, uint8_t busy);
// dt in seconds; mouse in cursor units; instant (reduced motion) jumps every value to
// its target and makes no trail or sparks.
void cursor_update(CustomCursor* c, float dt, uint32_t mode, float tint_r, float tint_g, float tint_b,
                   float mouse_x, float mouse_y, double clock, uint8_t instant);
// Draws with the renderer directly, each shape a pixel-snapped rectangle; restores the
// draw blend mode and colour. Nothing unless this cursor has taken the pointer over.
void cursor_draw(SDL_Renderer* r, const CustomCursor* c, float mouse_x, float mouse_y, float scale, double clock);
// The busy gem beside the pointer (mouse in window pixels), through the canvas.
void cursor_draw_busy_gem(Canvas* canvas, const CustomCursor* c, float mouse_x, float mouse_y, double clock,
                          uint8_t instant);
// A dithered, lit gem in four tones of colour (RGB 0..1). facet > 0.04 cuts it into
// facets, a negative facet makes a rounded square. Nothing for a non-finite position
// or radius, a radius not above 1 or an alpha not above 0.
void level_glyph_draw(Canvas* canvas, float x, float y, float radius, const float* colour, float glow,
                      float light_x, float light_y, float spin, float alpha, float facet);
// The colour (RGBA 0..1) of palette shade 0..4 for the cursor's tint and morphs.
void cursor_mode_color(float out[4], const CustomCursor* c, int32_t shade, float alpha, float warm);
// The tile's four corners relative to the pointer, cursor units.
void cursor_tile_corners(const CustomCursor* c, float xs[4], float ys[4]);
