// widget.h - widget animation and the stock widgets: a fixed table of per-widget slots
// (hover easing, press spring, press pulse) keyed by a hash of the label, and the pill
// button, list button, level chip, section label chip and dithered edge glow on top.
// Threads: UI thread only.
// Depends on: ui/canvas.h, ui/text.h, ui/theme.h, ui/hitregion.h, ui/dither.h, ui/spring.h.
//
// Widgets are drawn every frame; only the animation lives in a WidgetTable. Call
// widget_frame once per frame on each table before its widgets. Ids come from
// widget_id(label, seed); widgets with equal ids share one slot, so pass a seed where
// two widgets with one caption need animation of their own. A new id takes a free
// slot, else the one with the oldest last frame, even one used in this frame: a slot
// lives until 160 other ids have been used more recently.
// Rectangles are (x, y, w, h) in canvas units; colours RGBA floats 0..1. Hit regions
// are registered in the canvas's current units (its origin and scale).
#pragma once
#include <cstdint>

struct Canvas;
struct CanvasRect;
struct TextRenderer;

constexpr int32_t WIDGET_SLOTS = 160;

struct WidgetAnim {
    uint32_t id;           // 0 = free
    float hover;           // 0..1
    float press;           // current scale, 1 at rest
    float press_velocity;
    float press_target;
    float omega;           // 26
    float zeta;            // 0.5
    float pulse;           // 0..1, 1 at each new press
    uint8_t held;          // the press was already down last time
    uint32_t last_frame;   // table frame in which the slot was last used
};

// A zeroed table is a valid empty table.
struct WidgetTable {
    WidgetAnim slots[WIDGET_SLOTS];
    uint32_t frame;
};

// Idle fill, hover fill (its alpha is the hover mix weight), selected fill, idle text,
// hot text, selected text.
struct PillPalette {
    float idle_fill[4];
    float hover_fill[4];
    float selected_fill[4];
    float idle_text[4];
    float hot_text[4];
    float selected_text[4];
};

void widget_table_reset(WidgetTable* t);
void widget_frame(WidgetTable* t);   // once per frame, before the frame's widgets
// 32-bit FNV-1a of label seeded by seed; never 0. A null label gives the seeded start.
uint32_t widget_id(const char* label, uint32_t seed);
// The id's slot, eased and stepped by dt seconds (0..0.1; not a number counts as 0).
// instant snaps hover to its goal and the press to rest. Null without a table.
WidgetAnim* widget_state(WidgetTable* t, uint32_t id, uint8_t hovered, uint8_t pressed, float dt,
                         uint8_t instant);
// r scaled about its centre by the slot's press value (r itself without a slot).
void widget_press_rect(CanvasRect* out, const WidgetAnim* slot, const CanvasRect* r);
// (r.y + r.h - y) / r.h clamped to 0..1; 1 when the height is not > 0 or y is not a number.
float widget_fade_factor(const CanvasRect* r, float y);
void widget_pill_palette(PillPalette* out);

// A filled pill with a centred pixel-font label; palette null = the default. Returns clicked.
uint8_t widget_draw_pill(Canvas* c, WidgetTable* t, uint32_t id, const CanvasRect* r, const char* label,
                         uint8_t selected, const PillPalette* palette, uint8_t hovered, uint8_t pressed,
                         uint8_t clicked, float dt, uint8_t instant);
// A full-width list row: caption on the left, optional value on the right.
void widget_draw_button(Canvas* c, TextRenderer* tr, WidgetTable* t, uint32_t id, const CanvasRect* r,
                        const char* label, const char* value, uint8_t selected, uint8_t hovered,
                        uint8_t pressed, uint8_t accent, float dt, uint8_t instant);
// A vertical level meter (level 0..1; not a number counts as 0) with a cap bar.
void widget_draw_chip(Canvas* c, WidgetTable* t, uint32_t id, const CanvasRect* r, float level,
                      const float* colour, uint8_t hovered, uint8_t pressed, float dt, uint8_t instant);
// A section header such as "SETTINGS" on a surface-coloured band.
void widget_draw_label_chip(Canvas* c, TextRenderer* tr, const CanvasRect* r, const char* label);
// A dithered additive glow along the inside edges (12 units in from the sides, 6 from
// top and bottom), one unit cell per quad: meant for small rectangles such as rows.
void widget_draw_shadow(Canvas* c, const CanvasRect* r, const float* colour);
