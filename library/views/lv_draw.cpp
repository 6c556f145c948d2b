// lv_draw.cpp - hit regions, mixes and fitted texts for the library's views.
#include "library/views/lv_draw.h"

#include <SDL.h>

#include <cstdio>
#include <cstring>

#include "ui/canvas.h"
#include "ui/hitregion.h"
#include "ui/text.h"

void lv_hit(Canvas* c, float x, float y, float w, float h, uint32_t cursor)
{
    if (!c)
        return;
    HitMap map = hitregion_map_canvas(c->level.origin_x, c->level.origin_y, c->level.scale);
    hitregion_add(&map, HitRect{x, y, w, h}, cursor);
}

bool lv_inside(const CanvasRect& r, float x, float y)
{
    return r.w > 0.0f && r.h > 0.0f && x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h;
}

void lv_mix(const float* a, const float* b, float t, float out[4])
{
    for (int i = 0; i < 4; i++)
        out[i] = a[i] + (b[i] - a[i]) * t;
}

void lv_alpha(const float* a, float alpha, float out[4])
{
    out[0] = a[0];
    out[1] = a[1];
    out[2] = a[2];
    out[3] = a[3] * alpha;
}

void lv_utf8_cut(char* text, size_t max_bytes)
{
    size_t len = std::strlen(text);
    if (len <= max_bytes)
        return;
    size_t end = max_bytes;
    while (end > 0 && ((unsigned char)text[end] & 0xC0) == 0x80)
        end--;
    text[end] = '\0';
}

void lv_utf8_keep(char* text, size_t max_chars)
{
    size_t chars = 0;
    for (size_t i = 0; text[i]; i++) {
        if (((unsigned char)text[i] & 0xC0) != 0x80 && chars++ == max_chars) {
            text[i] = '\0';
            return;
        }
    }
}

void lv_fit_pixel(const Canvas* c, const char* text, float size, float max_w, char* out, size_t cap)
{
    if (!out || cap == 0)
        return;
    std::snprintf(out, cap, "%s", text ? text : "");
    lv_utf8_cut(out, cap - 1);
    if (canvas_pixel_text_width(c, out, size) <= max_w)
        return;
    size_t len = std::strlen(out);
    while (len > 1) {
        len--;
        while (len > 0 && ((unsigned char)out[len] & 0xC0) == 0x80)
            len--;
        out[len] = '.';
        out[len + 1] = '\0';
        if (canvas_pixel_text_width(c, out, size) <= max_w)
            return;
    }
}

void lv_draw_name(Canvas* c, TextRenderer* tr, const char* text, float x, float y, float size, float max_w,
                  const float* ink)
{
    if (tr) {
        text_draw_fit(tr, c, 3, text, x, y, max_w, size, 400, ink);
        return;
    }
    char fitted[600];
    float px = size / 10.0f;
    lv_fit_pixel(c, text, px, max_w, fitted, sizeof fitted);
    canvas_draw_pixel_text(c, fitted, x, y + 2.0f, px, ink, 0);
}

void lv_draw_label(Canvas* c, TextRenderer* tr, const char* text, float x, float cy, float w, const float* ink)
{
    if (tr) {
        text_draw_fit(tr, c, 3, text, x, cy - 8.0f, w, 13.0f, 400, ink);
        return;
    }
    char fitted[520];
    lv_fit_pixel(c, text, 1.0f, w, fitted, sizeof fitted);
    canvas_draw_pixel_text(c, fitted, x, cy - 3.5f, 1.0f, ink, 0);
}

bool lv_panel_begin(Canvas* c, const CanvasRect* r, const float* fill, CanvasRect* saved)
{
    canvas_fill_rect(c, r->x, r->y, r->w, r->h, fill);
    lv_hit(c, r->x, r->y, r->w, r->h, 0);
    bool had = canvas_get_clip(c, saved);
    canvas_set_clip(c, r);
    return had;
}

void lv_panel_end(Canvas* c, bool had, const CanvasRect* saved)
{
    canvas_set_clip(c, had ? saved : nullptr);
}

bool lv_track_pointer(const SDL_Event* e, float x, float y, bool inside, float* pointer_x, float* pointer_y,
                      uint8_t* hovering)
{
    if (e->type == SDL_MOUSEMOTION) {
        *pointer_x = x;
        *pointer_y = y;
        *hovering = inside;
        return true;
    }
    if (e->type == SDL_WINDOWEVENT) {
        if (e->window.event == SDL_WINDOWEVENT_LEAVE)
            *hovering = 0;
        return true;
    }
    return false;
}
