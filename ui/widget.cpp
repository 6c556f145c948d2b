// widget.cpp - the widget animation table: ids, slot lookup and recycling, hover
// easing, the press spring and pulse.
#include "ui/widget.h"

#include <cmath>
#include <cstring>

#include "ui/canvas.h"
#include "ui/spring.h"
#include "ui/theme.h"

static const uint32_t FNV_PRIME = 16777619u;
static const uint32_t FNV_OFFSET = 0x811C9DC5u;
static const float PRESS_OMEGA = 26;
static const float PRESS_ZETA = 0.5f;

void widget_table_reset(WidgetTable* t)
{
    if (t)
        memset(t, 0, sizeof *t);
}

void widget_frame(WidgetTable* t)
{
    if (t)
        t->frame++;
}

uint32_t widget_id(const char* label, uint32_t seed)
{
    uint32_t h = (seed * FNV_PRIME) ^ FNV_OFFSET;
    if (label)
        for (const unsigned char* p = (const unsigned char*)label; *p; ++p)
            h = (h ^ *p) * FNV_PRIME;
    return h ? h : 1;
}

static void widget_slot_rest(WidgetAnim* s, uint32_t id)
{
    *s = WidgetAnim{};
    s->id = id;
    s->press = 1;
    s->press_target = 1;
    s->omega = PRESS_OMEGA;
    s->zeta = PRESS_ZETA;
}

// The slot of id: one linear search that also remembers the slot with the smallest
// last frame (the first on ties). On a miss a free slot is taken, else that oldest
// one, even when it was used in this frame. Widgets with equal ids share a slot.
static WidgetAnim* widget_find(WidgetTable* t, uint32_t id)
{
    WidgetAnim* oldest = nullptr;
    WidgetAnim* free_slot = nullptr;
    for (WidgetAnim& s : t->slots) {
        if (s.id == id)
            return &s;
        if (s.id == 0 && !free_slot)
            free_slot = &s;
        if (!oldest || s.last_frame < oldest->last_frame)
            oldest = &s;
    }
    WidgetAnim* s = free_slot ? free_slot : oldest;
    widget_slot_rest(s, id);
    return s;
}

static float widget_clamp_dt(float dt)
{
    if (!(dt > 0))   // negative, zero or not a number
        return 0;
    return dt < 0.1f ? dt : 0.1f;
}

WidgetAnim* widget_state(WidgetTable* t, uint32_t id, uint8_t hovered, uint8_t pressed, float dt,
                         uint8_t instant)
{
    if (!t)
        return nullptr;
    if (id == 0)
        id = 1;   // 0 marks a free slot
    WidgetAnim* s = widget_find(t, id);
    s->last_frame = t->frame;
    dt = widget_clamp_dt(dt);

    float goal = hovered ? 1.0f : 0.0f;
    float k = instant ? 1.0f : 1.0f - std::exp(-14 * dt);
    s->hover += (goal - s->hover) * k;

    if (pressed && !s->held) {
        if (!instant) {
            s->press = 0.92f;
            s->press_velocity = 0;
            s->omega = PRESS_OMEGA;
            s->zeta = PRESS_ZETA;
        }
        s->pulse = 1;
        s->held = 1;
        s->press_target = 0.95f;
    } else {
        s->held = pressed ? 1 : 0;
        s->press_target = pressed ? 0.95f : 1.0f;
    }

    if (instant) {
        s->press = 1;
        s->press_velocity = 0;
        s->pulse = 0;
    } else {
        Spring sp{s->press, s->press_velocity, s->press_target, s->omega, s->zeta};
        spring_step(&sp, dt);   // at most 0.033 s per step
        s->press = sp.value;
        s->press_velocity = sp.velocity;
        s->pulse -= 4 * dt;
        if (s->pulse < 0)
            s->pulse = 0;
    }
    return s;
}

void widget_press_rect(CanvasRect* out, const WidgetAnim* slot, const CanvasRect* r)
{
    if (!out || !r)
        return;
    float k = slot ? slot->press : 1.0f;
    float w = r->w * k, h = r->h * k;
    *out = CanvasRect{r->x + (r->w - w) / 2, r->y + (r->h - h) / 2, w, h};
}

float widget_fade_factor(const CanvasRect* r, float y)
{
    if (!r || !(r->h > 0) || std::isnan(y))
        return 1;
    float f = (r->y + r->h - y) / r->h;
    return f < 0 ? 0 : f > 1 ? 1 : f;
}

static void widget_copy(float* out, const float* c, float alpha)
{
    out[0] = c[0];
    out[1] = c[1];
    out[2] = c[2];
    out[3] = alpha;
}

void widget_pill_palette(PillPalette* out)
{
    if (!out)
        return;
    const ThemePalette* th = theme_palette();
    widget_copy(out->idle_fill, th->colours[THEME_SURFACE], 1);
    widget_copy(out->hover_fill, th->colours[THEME_PRIMARY], 0.16f);
    widget_copy(out->selected_fill, th->colours[THEME_SECONDARY], 1);
    widget_copy(out->idle_text, th->colours[THEME_PRIMARY], 0.42f);
    widget_copy(out->hot_text, th->colours[THEME_PRIMARY], 1);
    widget_copy(out->selected_text, th->colours[THEME_BACKGROUND], 1);
}
