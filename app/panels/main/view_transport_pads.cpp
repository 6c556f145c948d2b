// view_transport_pads.cpp - the five transport pads under the loop display: record,
// reverse, stop, forward and hold-dub, each lit in its accent while its mode runs,
// with an icon that shrinks for a moment after a press (the pad's spring).
#include <algorithm>
#include <cmath>

#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_loop.h"
#include "app/panels/main/view_palette.h"
#include "ui/drawkit.h"

static const float kIconHalf = 11.0f;          // the icon's half size at spring value 1
static const float kPadGlowSpread = 9.0f;
static const float kLitGlow = 0.7f;            // reverse and forward
static const float kHoldDubGlow = 0.9f;
static const uint32_t kIconOnLit = VIEW_BACKGROUND;

// Colours of one pad and its body glow; glow_intensity 0 means no glow.
struct PadLook {
    uint32_t body;
    uint32_t icon;
    uint32_t glow;
    float glow_intensity;
};

static PadLook view_pad_look(int32_t pad, const LoopView* v, bool hold_dub, float record_phase)
{
    PadLook look{VIEW_PANEL, VIEW_BRIGHT, 0, 0.0f};
    switch (pad) {
    case PAD_RECORD:
        look.icon = draw_with_alpha(VIEW_RED, v->recording ? 255 : 150);
        if (v->recording) {
            // Pulses with the record phase: 18% to 32% of the way to red.
            float p = std::sin(record_phase * 3.14159f) * 0.5f + 0.5f;
            look.body = color_lerp(VIEW_PANEL, VIEW_RED, std::clamp(0.18f + 0.14f * p, 0.0f, 1.0f));
            look.glow = VIEW_RED;
            look.glow_intensity = 0.4f + 0.6f * p;
        }
        break;
    case PAD_REVERSE:
        if (v->playing && v->reversed)
            look = PadLook{VIEW_ORANGE, kIconOnLit, VIEW_ORANGE, kLitGlow};
        break;
    case PAD_FORWARD:
        if (v->playing && !v->reversed)
            look = PadLook{VIEW_MAGENTA, kIconOnLit, VIEW_MAGENTA, kLitGlow};
        break;
    case PAD_HOLD_DUB:
        if (hold_dub)
            look = PadLook{VIEW_HOLD_DUB, kIconOnLit, VIEW_HOLD_DUB, kHoldDubGlow};
        break;
    default:   // stop is never lit
        break;
    }
    return look;
}

static void view_pad_icon(DrawKit* kit, int32_t pad, float cx, float cy, float k, const PadLook* look,
                          const LoopView* v, HitRect r)
{
    switch (pad) {
    case PAD_RECORD:
        draw_fill(kit, cx - k, cy - k, 2 * k, 2 * k, look->icon);
        if (v->recording)
            draw_glow(kit, cx - k, cy - k, 2 * k, 2 * k, VIEW_RED, 8.0f, 0.9f);
        if (v->length <= 0)
            draw_text_centered(kit, "MARK", cx, r.y + r.h - 14.0f, 1.4f, VIEW_LIGHT);
        break;
    case PAD_REVERSE:
        view_triangle(kit, cx + k, cy - k, cx + k, cy + k, cx - k, cy, look->icon);
        break;
    case PAD_STOP: {
        float half = 0.85f * k;
        draw_fill(kit, cx - half, cy - half, 2 * half, 2 * half, look->icon);
        break;
    }
    case PAD_FORWARD:
        view_triangle(kit, cx - k, cy - k, cx - k, cy + k, cx + k, cy, look->icon);
        break;
    case PAD_HOLD_DUB:
        for (int j = 0; j < 2; j++) {
            float y0 = cy - 8.0f + 12.0f * (float)j;
            view_triangle(kit, cx - k, y0 - 0.31f * k, cx + k, y0 - 0.31f * k, cx, y0 + 0.62f * k, look->icon);
        }
        break;
    default:
        break;
    }
}

void view_transport_pads(AppState* app, DrawKit* kit)
{
    if (!app || !kit)
        return;
    const LoopView v = view_loop_read(app->engine);
    for (int32_t i = 0; i < PAD_COUNT; i++) {
        const HitRect r = app->layout.pads[i];
        const PadLook look = view_pad_look(i, &v, app->hold_dub_held != 0, app->record_phase);
        float k = kIconHalf * app->pads[i].spring.value;
        float cx = r.x + r.w / 2, cy = r.y + r.h / 2;
        draw_fill(kit, r.x, r.y, r.w, r.h, look.body);
        if (look.glow_intensity > 0.02f)
            draw_glow(kit, r.x, r.y, r.w, r.h, look.glow, kPadGlowSpread, look.glow_intensity);
        view_pad_icon(kit, i, cx, cy, k, &look, &v, r);
    }
}
