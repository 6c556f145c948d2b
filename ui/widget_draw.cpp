// widget_draw.cpp - the stock widgets drawn on the canvas from their animation slots:
// pill, list button, level chip, label chip and the dithered edge glow.
#include <cmath>

#include "ui/canvas.h"
#include "ui/dither.h"
#include "ui/hitregion.h"
#include "ui/text.h"
#include "ui/theme.h"
#include "ui/widget.h"

static const float WIDGET_WHITE[4] = {1, 1, 1, 1};
static const float CHIP_BACK[4] = {0.035f, 0.038f, 0.046f, 1};
static const float CHIP_LIGHT[4] = {0.9f, 0.92f, 0.94f, 1};
static const float CHIP_HIGHLIGHT[4] = {0.9f, 0.92f, 0.94f, 0.18f};

// Hit regions in the canvas's current units.
static HitMap widget_hitmap(const Canvas* c)
{
    return hitregion_map_canvas(c->level.origin_x, c->level.origin_y, c->level.scale);
}

static HitRect widget_hitrect(const CanvasRect* r)
{
    return HitRect{r->x, r->y, r->w, r->h};
}

static void widget_mix(float* out, const float* a, const float* b, float t)
{
    for (int i = 0; i < 4; ++i)
        out[i] = a[i] + (b[i] - a[i]) * t;
}

static void widget_with_alpha(float* out, const float* c, float alpha)
{
    out[0] = c[0];
    out[1] = c[1];
    out[2] = c[2];
    out[3] = alpha;
}

// An animation slot for drawing: the table's, or one at rest.
static WidgetAnim widget_slot(WidgetTable* t, uint32_t id, uint8_t hovered, uint8_t pressed, float dt,
                              uint8_t instant)
{
    const WidgetAnim* s = widget_state(t, id, hovered, pressed, dt, instant);
    if (s)
        return *s;
    WidgetAnim rest{};
    rest.press = 1;
    return rest;
}

uint8_t widget_draw_pill(Canvas* c, WidgetTable* t, uint32_t id, const CanvasRect* r, const char* label,
                         uint8_t selected, const PillPalette* palette, uint8_t hovered, uint8_t pressed,
                         uint8_t clicked, float dt, uint8_t instant)
{
    if (!c || !r)
        return clicked;
    WidgetAnim s = widget_slot(t, id, hovered, pressed, dt, instant);
    CanvasRect d;
    widget_press_rect(&d, &s, r);
    HitMap map = widget_hitmap(c);
    hitregion_add_tagged(&map, widget_hitrect(r), HITREGION_KIND_BUTTON, id);

    PillPalette def;
    if (!palette) {
        widget_pill_palette(&def);
        palette = &def;
    }
    float fill[4], text[4];
    if (!selected) {
        float k = s.hover * palette->hover_fill[3] + s.pulse * 0.35f;
        widget_mix(fill, palette->idle_fill, palette->hover_fill, k);
        fill[3] = palette->idle_fill[3] + (1 - palette->idle_fill[3]) * k;
        widget_mix(text, palette->idle_text, palette->hot_text, std::fmax(s.hover, s.pulse));
    } else {
        widget_mix(fill, palette->selected_fill, WIDGET_WHITE, s.hover * 0.1f + s.pulse * 0.25f);
        widget_with_alpha(text, palette->selected_text, palette->selected_text[3]);
    }
    canvas_fill_rect(c, d.x, d.y, d.w, d.h, fill);
    if (label && label[0])
        canvas_draw_pixel_text(c, label, d.x + d.w / 2, d.y + (d.h - 7) / 2, 1, text, 1);
    return clicked;
}

void widget_draw_button(Canvas* c, TextRenderer* tr, WidgetTable* t, uint32_t id, const CanvasRect* rect,
                        const char* label, const char* value, uint8_t selected, uint8_t hovered,
                        uint8_t pressed, uint8_t accent, float dt, uint8_t instant)
{
    if (!c || !rect)
        return;
    const ThemePalette* th = theme_palette();
    WidgetAnim s = widget_slot(t, id, hovered, pressed, dt, instant);
    CanvasRect r;
    widget_press_rect(&r, &s, rect);
    const float* accent_col = th->colours[accent ? THEME_RED : THEME_SECONDARY];
    float col[4];

    if (selected) {
        canvas_fill_rect(c, r.x, r.y, r.w, r.h, th->colours[THEME_SURFACE]);
    } else if (s.hover > 0 || s.pulse > 0) {
        widget_with_alpha(col, th->colours[THEME_SURFACE], s.hover * 0.55f);
        canvas_fill_rect(c, r.x, r.y, r.w, r.h, col);
    }
    if (s.pulse > 0) {
        widget_with_alpha(col, accent_col, s.pulse * 0.18f);
        canvas_fill_rect(c, r.x, r.y, r.w, r.h, col);
    }
    if (selected)
        canvas_fill_rect(c, r.x, r.y, 3, r.h, accent_col);
    widget_with_alpha(col, th->colours[THEME_TERTIARY], 0.12f);
    canvas_fill_rect(c, r.x + 18, r.y + r.h - 1, r.w - 36, 1, col);

    const char* caption = label ? label : "";
    const char* val = value ? value : "";
    float cap_w = 0, val_w = 0, h = 0;
    text_measure(tr, c, 1, caption, 12, 600, &cap_w, &h);
    text_measure(tr, c, 1, val, 12, 600, &val_w, &h);
    float val_max = (r.w - 36) * 0.56f;
    if (val_w > val_max)
        val_w = val_max;
    if (caption[0])
        text_draw_fit(tr, c, 1, caption, r.x + 18, r.y + (r.h - 12) / 2, (r.w - 36 - val_w) - 12, 12, 600,
                      th->colours[accent ? THEME_RED : THEME_PRIMARY]);
    if (val[0])
        text_draw_fit(tr, c, 1, val, r.x + r.w - 18 - val_w, r.y + (r.h - 12) / 2, val_w, 12, 600,
                      selected ? accent_col : th->colours[THEME_TERTIARY]);
    HitMap map = widget_hitmap(c);
    hitregion_add(&map, widget_hitrect(rect), HITREGION_KIND_BUTTON);
}

void widget_draw_chip(Canvas* c, WidgetTable* t, uint32_t id, const CanvasRect* r, float level,
                      const float* colour, uint8_t hovered, uint8_t pressed, float dt, uint8_t instant)
{
    if (!c || !r || !colour)
        return;
    WidgetAnim s = widget_slot(t, id, hovered, pressed, dt, instant);
    level = level > 0 ? (level < 1 ? level : 1) : 0;   // not a number counts as 0
    float k = 2 - s.press;
    HitMap map = widget_hitmap(c);
    hitregion_add_tagged(&map, widget_hitrect(r), HITREGION_KIND_CHIP, id);

    canvas_fill_rect(c, r->x, r->y, r->w, r->h, CHIP_BACK);
    float col[4];
    widget_with_alpha(col, colour, 0.4f + s.hover * 0.15f + s.pulse * 0.2f);
    float line_y = r->y + r->h - r->h * level;
    canvas_fill_rect(c, r->x, line_y, r->w, r->h * level, col);

    float cap[4];
    widget_mix(cap, colour, CHIP_LIGHT, 0.3f);
    widget_mix(cap, cap, CHIP_LIGHT, std::fmax(s.hover, s.pulse));
    float cap_w = (r->w + 4) * k;
    canvas_fill_rect(c, r->x + r->w / 2 - cap_w / 2, line_y - k, cap_w, 2 * k, cap);
    canvas_fill_rect(c, r->x, r->y, r->w, 1, CHIP_HIGHLIGHT);
}

void widget_draw_label_chip(Canvas* c, TextRenderer* tr, const CanvasRect* r, const char* label)
{
    if (!c || !r)
        return;
    const ThemePalette* th = theme_palette();
    canvas_fill_rect(c, r->x, r->y, r->w, r->h, th->colours[THEME_SURFACE]);
    if (label && label[0])
        text_draw(tr, c, 2, label, r->x + 18, r->y + 12, 26, 400, th->colours[THEME_SECONDARY], 0);
}

static int32_t widget_mod32(int32_t v)
{
    return ((v % DITHER_SIZE) + DITHER_SIZE) % DITHER_SIZE;   // cells left or above 0 wrap too
}

void widget_draw_shadow(Canvas* c, const CanvasRect* r, const float* colour)
{
    if (!c || !r || !colour || !(r->w >= 1) || !(r->h >= 1) || !(r->w < 1e6f) || !(r->h < 1e6f) ||
        !std::isfinite(r->x) || !std::isfinite(r->y))
        return;
    int32_t cols = (int32_t)r->w, rows = (int32_t)r->h;
    float cell[4];
    bool was_additive = c->level.additive != 0;
    canvas_set_additive(c, true);
    for (int32_t j = 0; j < rows; ++j) {
        float dy = std::fmin(j + 0.5f, r->h - (j + 0.5f)) / 6;
        for (int32_t i = 0; i < cols; ++i) {
            float dx = std::fmin(i + 0.5f, r->w - (i + 0.5f)) / 12;
            float d = std::fmin(dx, dy);
            if (d >= 1)
                continue;
            float u = 1 - d;
            float v = u * u / 2 + u / 2;
            float sv = 4 * v;
            int32_t n = (int32_t)sv;
            int32_t cell_index = widget_mod32((int32_t)(r->x + i)) + widget_mod32((int32_t)(r->y + j)) * 32;
            if ((sv - n) * 1024 > dither_rank(cell_index))
                n++;
            if (n <= 0)
                continue;
            widget_with_alpha(cell, colour, n * 0.11f * 0.25f);
            canvas_fill_rect(c, r->x + i, r->y + j, 1, 1, cell);
        }
    }
    canvas_set_additive(c, was_additive);
}
