// view_widgets.cpp - drawing helpers shared by the main view's panels.
#include <SDL.h>

#include <algorithm>
#include <cmath>

#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "library/views/lv_draw.h"
#include "ui/canvas.h"
#include "ui/drawkit.h"

static const uint32_t kLightTeal = draw_rgba(107, 230, 224, 255);
static const uint32_t kLightText = draw_rgba(235, 235, 235, 255);
static const uint32_t kBrightText = draw_rgba(242, 242, 242, 255);
static const uint32_t kMutedText = draw_rgba(148, 148, 148, 255);

uint32_t color_lerp(uint32_t a, uint32_t b, float t)
{
    t = std::isnan(t) ? 0.0f : std::clamp(t, 0.0f, 1.0f);
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        float ca = (float)(a >> shift & 0xFF), cb = (float)(b >> shift & 0xFF);
        out |= (uint32_t)(int)(ca + (cb - ca) * t) << shift;
    }
    return out;
}

void view_tab(AppState* app, DrawKit* kit, HitRect r, const char* label, bool on)
{
    if (!app || !kit)
        return;
    bool hovered = app->mouse_x >= r.x && app->mouse_x < r.x + r.w && app->mouse_y >= r.y &&
                   app->mouse_y < r.y + r.h;
    draw_rect_outline(kit, r.x + 2, r.y + 3, 12, 12, on ? kLightTeal : hovered ? kLightText : kMutedText);
    if (on)
        draw_fill(kit, r.x + 5, r.y + 6, 6, 6, kLightTeal);
    draw_text(kit, label, r.x + 20, r.y + 5, 1.2f, on ? kBrightText : hovered ? kLightText : kMutedText);
}

void view_triangle(DrawKit* kit, float x1, float y1, float x2, float y2, float x3, float y3, uint32_t colour)
{
    draw_triangle(kit, x1, y1, x2, y2, x3, y3, colour);
}

void view_canvas_begin(Canvas* c, const DrawKit* kit)
{
    float s = kit->scale > 0.0f ? kit->scale : 1.0f;
    canvas_begin(c, kit->translate_x * s + kit->offset_x, kit->translate_y * s + kit->offset_y, s);
}

void view_draw_name(AppState* app, DrawKit* kit, const char* name, float x, float y, float pixel, float max_w,
                    uint32_t colour)
{
    if (!app || !kit || !name)
        return;
    // The pixel font draws 0x20..0x7E; a name of only those keeps it.
    bool pixel_font = true;
    for (const unsigned char* p = (const unsigned char*)name; *p && pixel_font; p++)
        pixel_font = *p >= 0x20 && *p <= 0x7E;
    if (pixel_font || !app->canvas || !app->text) {
        draw_text(kit, name, x, y, pixel, colour);
        return;
    }
    const float ink[4] = {(float)(colour & 0xFF) / 255.0f, (float)(colour >> 8 & 0xFF) / 255.0f,
                          (float)(colour >> 16 & 0xFF) / 255.0f, (float)(colour >> 24) / 255.0f};
    view_canvas_begin(app->canvas, kit);
    // The text renderer's size is ten times the pixel font's, its line box 2 units higher.
    lv_draw_name(app->canvas, app->text, name, x, y - 2.0f, pixel * 10.0f, max_w, ink);
    canvas_end(app->canvas);
}
