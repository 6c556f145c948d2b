// view_gain_slider.cpp - a vertical level slider at an edge of the main screen: the
// meter's bar, held peak and clip light on a 60 dB scale, and on the input slider
// the gate threshold and the input gain.
#include <cmath>
#include <cstdio>

#include "app/app_state.h"
#include "app/meter.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_loop.h"
#include "app/panels/main/view_palette.h"
#include "ui/drawkit.h"

static const float kTicksDb[] = {0.0f, -6.0f, -12.0f, -24.0f, -48.0f};
static const float kScaleDb = 60.0f;
static const float kHotLevel = 0.85f;           // the bar's top starts turning yellow
static const uint32_t kSliderFill = draw_with_alpha(VIEW_PANEL, 150);
static const uint32_t kTick = draw_with_alpha(VIEW_MUTED, 70);
static const uint32_t kOutline = draw_with_alpha(VIEW_MUTED, 50);
static const uint32_t kGainBig = draw_with_alpha(VIEW_LIGHT_TEAL, 230);

uint32_t view_level_top_colour(uint32_t colour, float level)
{
    float t = level > kHotLevel ? (level - kHotLevel) / (1.0f - kHotLevel) : 0.0f;
    return color_lerp(colour, VIEW_YELLOW, t);
}

bool view_gate_marker_y(float threshold, HitRect r, float* centre_y)
{
    if (!(threshold > 0.0f))
        return false;
    if (centre_y)
        *centre_y = r.y + (1.0f - meter_db_fraction(threshold)) * r.h;
    return true;
}

void view_gain_text(float gain, char* out, size_t cap)
{
    if (!out || cap == 0)
        return;
    if (!(gain >= 0.001f))
        snprintf(out, cap, "-INF");
    else
        snprintf(out, cap, "%+.1f", 20.0 * std::log10((double)gain));
}

static void view_slider_bar(DrawKit* kit, HitRect r, const Meter* meter, uint32_t colour)
{
    float b = meter->level * r.h;
    if (!(b > 1.0f))
        return;
    float top = r.y + r.h - b;
    draw_rect_vgrad(kit, r.x, top, r.w, b, view_level_top_colour(colour, meter->level),
                    draw_with_alpha(colour, 160));
    draw_glow(kit, r.x, top, r.w, 4.0f, colour, 7.0f, meter->level * 0.8f);
}

static void view_slider_gain(AppState* app, DrawKit* kit, HitRect r)
{
    char db[16];
    view_gain_text(app->gain, db, sizeof db);
    bool dragged = app->drag_mode == DRAG_GAIN;
    draw_text_centered(kit, db, r.x + r.w / 2, r.y + r.h + 6.0f, 1.4f, dragged ? VIEW_LIGHT_TEAL : VIEW_MUTED);
}

void view_gain_readout(AppState* app, DrawKit* kit)
{
    if (!app || !kit || app->drag_mode != DRAG_GAIN)
        return;
    char db[16], text[32];
    view_gain_text(app->gain, db, sizeof db);
    snprintf(text, sizeof text, "GAIN %s DB", db);
    draw_text_centered(kit, text, DRAW_REF_WIDTH / 2.0f, 181.0f, 4.0f, kGainBig);
}

void view_gain_slider(AppState* app, DrawKit* kit, HitRect r, const Meter* meter, const char* label,
                      uint32_t colour, float clip, bool input)
{
    if (!app || !kit || !meter)
        return;
    draw_fill(kit, r.x, r.y, r.w, r.h, kSliderFill);
    for (float db : kTicksDb)
        draw_fill(kit, r.x, r.y + (1.0f - (db + kScaleDb) / kScaleDb) * r.h, r.w, 1.0f, kTick);
    view_slider_bar(kit, r, meter, colour);
    if (meter->peak > 0.01f)
        draw_fill(kit, r.x, r.y + (1.0f - meter->peak) * r.h, r.w, 2.0f, VIEW_LIGHT);
    if (clip > 0.01f) {
        draw_fill(kit, r.x, r.y, r.w, 6.0f, draw_with_alpha(VIEW_RED, draw_alpha_byte(clip * 255.0f)));
        draw_glow(kit, r.x, r.y, r.w, 6.0f, VIEW_RED, 8.0f, clip);
    }
    float gate_y = 0;
    if (input && view_gate_marker_y(view_loop_read(app->engine).gate_threshold, r, &gate_y))
        draw_fill(kit, r.x - 3.0f, gate_y - 2.0f, r.w + 6.0f, 4.0f, VIEW_ORANGE);
    draw_text_centered(kit, label, r.x + r.w / 2, r.y + 4.0f, 1.6f, VIEW_LIGHT);
    draw_rect_outline(kit, r.x, r.y, r.w, r.h, kOutline);
    if (input)
        view_slider_gain(app, kit, r);
}
