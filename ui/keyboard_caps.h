// keyboard_caps.h - key caps as the keys help and the popups draw them: the cap
// palette from the theme, the width rule, one cap or a row of caps with a lit accent,
// the dither fill that covers parts of a panel while it is revealed, and the labels
// of a keys text.
// Threads: UI thread only (the pressed and hovered drawing values are module-wide).
// Depends on: ui/canvas.h, ui/text.h, ui/theme.h, ui/dither.h.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

struct Canvas;
struct CanvasRect;
struct TextRenderer;

// 0 surface, 1 background, 2 primary, 3 primary at 0.42, 4 the face (surface 13 %
// toward primary), 5 the base (background 20 % toward black), 6 orange, 7 secondary.
struct KeyCapPalette {
    float colours[8][4];
};

void keyboard_palette_init(KeyCapPalette* palette);
// The pressed and hovered looks (0 or 1) every cap drawn from now on takes; the keys
// help sets them around each cap and puts both back to 0.
void keyboard_cap_state(float pressed, float hovered);

// One cap's width at cap height h (the same rule measures and draws).
float keyboard_cap_width(Canvas* c, TextRenderer* tr, float h, const char* label);
// The width of a keys text's caps, 3 apart.
float keyboard_keycaps_width(Canvas* c, TextRenderer* tr, float h, const char* keys_text);
// Draws one cap; returns cap_w (also when nothing could be drawn).
float keyboard_draw_cap(Canvas* c, TextRenderer* tr, const KeyCapPalette* palette, float x, float y, float h,
                        float cap_w, const char* label, float opacity, bool accent);
// Draws a keys text's caps from (x, y), left to right; returns their total width.
float keyboard_draw_keycap_lit(Canvas* c, TextRenderer* tr, const KeyCapPalette* palette, float x, float y, float h,
                               const char* keys_text, float opacity, bool accent);
// Fills the cells of r that the dither keeps covered at step 0..12, in 2 x 2 cells
// anchored at (ox, oy): all of it at step 0 or below, nothing from step 12.
void keyboard_dither_fill(Canvas* c, const CanvasRect* r, float ox, float oy, int32_t step, const float* colour);
// The rectangles keyboard_dither_fill fills, one per run of covered cells in a row.
void keyboard_dither_rects(const CanvasRect* r, float ox, float oy, int32_t step,
                           void (*emit)(void* ctx, const CanvasRect* rect), void* ctx);

// Calls visit(index, label) for each label of a keys text: split at tabs, each cut to
// 31 bytes, empty ones skipped.
template <typename Visit>
void keys_for_each_label(const char* keys_text, Visit visit)
{
    const char* p = keys_text ? keys_text : "";
    int32_t i = 0;
    while (*p) {
        size_t n = strcspn(p, "\t");
        if (n > 0) {
            char label[32];
            snprintf(label, sizeof label, "%.*s", (int)std::min(n, sizeof label - 1), p);
            visit(i++, (const char*)label);
        }
        p += n;
        if (*p == '\t')
            p++;
    }
}
