// view_loop_display.cpp - the loop display: the waveform overview of the loop with
// its play head, the breathing prompt of an empty loop, the flashes and the loop's
// length in seconds.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_loop.h"
#include "app/panels/main/view_palette.h"
#include "audio/engine.h"
#include "ui/drawkit.h"

static const float kAmplitude = 0.46f;          // of the display height, for a shown 1.0
static const float kMinBar = 0.25f;             // units; smaller bars are not drawn
static const float kPromptScale = 2.0f;
static const float kLengthScale = 1.6f;
static const double kFallbackRate = 48000.0;
static const uint32_t kDisplayFill = draw_with_alpha(VIEW_PANEL, 150);
static const uint32_t kCentreLine = draw_with_alpha(VIEW_MUTED, 100);
static const uint32_t kOutline = draw_with_alpha(VIEW_MUTED, 60);
static const uint32_t kPlayedAlpha = 255, kUnplayedAlpha = 90;
static const uint32_t kCorePlayedAlpha = 95, kCoreUnplayedAlpha = 50;

LoopView view_loop_read(const Engine* e)
{
    LoopView v{};
    v.sample_rate = kFallbackRate;
    if (!e)
        return v;
    const auto rl = std::memory_order_relaxed;
    v.recording = e->record.load(rl) != 0;
    v.playing = e->playing.load(rl) != 0;
    v.reversed = e->reversed.load(rl) != 0;
    v.position = e->position.load(rl);
    v.length = e->length.load(rl);
    v.sample_rate = e->sample_rate;
    v.gate_threshold = e->gate_threshold.load(rl);
    return v;
}

bool view_loop_empty(const LoopView* v)
{
    return v->length == 0 && v->position == 0;
}

float view_loop_head_x(const LoopView* v, HitRect r)
{
    double d = v->length > 0 ? (double)v->length : std::max(1.0, (double)v->position);
    double f = std::clamp((double)v->position / d, 0.0, 1.0);
    return r.x + (float)f * r.w;
}

LoopColumn view_loop_column(HitRect r, int32_t i, float upper, float lower, float head_x)
{
    LoopColumn c{};
    float step = r.w / VIEW_LOOP_COLUMNS;
    c.x = r.x + (float)i * step;
    c.width = std::max(1.0f, step - 1.0f);
    float scale = kAmplitude * r.h;
    float u = upper * scale, l = lower * scale;
    float m = std::min(u, l);
    c.up = u > kMinBar ? u : 0.0f;
    c.down = l > kMinBar ? l : 0.0f;
    c.core = m > kMinBar ? m : 0.0f;
    c.played = head_x >= c.x;
    return c;
}

void view_loop_length_text(int32_t length, double rate, char* out, size_t cap)
{
    if (!out || cap == 0)
        return;
    if (!(rate > 0.0))
        rate = kFallbackRate;
    snprintf(out, cap, "%.1fS", (double)length / rate);
}

// The bars in two passes, the plain ones and then the additive white cores: each
// column's core lies only over that column's own bars, so the picture is the one a
// column-by-column pass gives, with one blend change instead of hundreds.
static void view_loop_columns(AppState* app, DrawKit* kit, HitRect r, float head_x)
{
    float centre = r.y + r.h / 2;
    LoopColumn cols[VIEW_LOOP_COLUMNS];
    for (int32_t i = 0; i < VIEW_LOOP_COLUMNS; i++) {
        const LoopColumn& c = cols[i] =
            view_loop_column(r, i, app->overview_left[i], app->overview_right[i], head_x);
        uint32_t a = c.played ? kPlayedAlpha : kUnplayedAlpha;
        if (c.up > 0)
            draw_fill(kit, c.x, centre - c.up, c.width, c.up, draw_with_alpha(VIEW_TEAL, a));
        if (c.down > 0)
            draw_fill(kit, c.x, centre, c.width, c.down, draw_with_alpha(VIEW_ORANGE, a));
    }
    for (const LoopColumn& c : cols) {
        if (c.core > 0) {
            uint32_t core = draw_rgba(255, 255, 255, c.played ? kCorePlayedAlpha : kCoreUnplayedAlpha);
            draw_fill_additive(kit, c.x, centre - c.core, c.width, 2 * c.core, core);
        }
    }
}

static void view_loop_flashes(AppState* app, DrawKit* kit, HitRect r)
{
    float beat = app->flashes[FLASH_BEAT].value;
    float loop_set = app->flashes[FLASH_LOOP_SET].value;
    float cleared = app->flashes[FLASH_CLEARED].value;
    if (beat > 0.01f)
        draw_fill_additive(kit, r.x, r.y, r.w, r.h, draw_with_alpha(VIEW_LIGHT, draw_alpha_byte(beat * 26.0f)));
    if (loop_set > 0.01f)
        draw_glow(kit, r.x, r.y, r.w, r.h, VIEW_MAGENTA, 22.0f, loop_set);
    if (cleared > 0.01f)
        draw_fill_additive(kit, r.x, r.y, r.w, r.h, draw_with_alpha(VIEW_MUTED, draw_alpha_byte(cleared * 40.0f)));
}

static void view_loop_head(AppState* app, DrawKit* kit, HitRect r, const LoopView* v, float head_x)
{
    uint32_t colour = VIEW_LIGHT;
    float glow = 0.5f;
    if (v->recording) {
        colour = VIEW_RED;
        glow = std::sin(app->record_phase * 3.14159f) * 0.4f + 0.6f;
    } else if (app->hold_dub_held) {
        colour = VIEW_HOLD_DUB;
    }
    draw_fill(kit, head_x - 1.0f, r.y, 2.0f, r.h, colour);
    draw_glow(kit, head_x - 1.0f, r.y, 2.0f, r.h, colour, 10.0f, glow);
}

void view_loop_display(AppState* app, DrawKit* kit)
{
    if (!app || !kit)
        return;
    const HitRect r = app->layout.loop_display;
    const LoopView v = view_loop_read(app->engine);
    draw_fill(kit, r.x, r.y, r.w, r.h, kDisplayFill);
    draw_fill(kit, r.x, r.y + r.h / 2, r.w, 1.0f, kCentreLine);

    float head_x = view_loop_head_x(&v, r);
    if (!view_loop_empty(&v)) {
        view_loop_columns(app, kit, r, head_x);
    } else {
        // A breathing prompt, four radians of the UI clock per second.
        float breath = (float)std::sin(4.0 * app->ui_time) * 0.45f + 0.55f;
        draw_text_centered(kit, "PRESS REC TO START", r.x + r.w / 2, r.y + r.h / 2 - 6.0f, kPromptScale,
                           draw_with_alpha(VIEW_MUTED, draw_alpha_byte(breath * 255.0f)));
    }
    view_loop_flashes(app, kit, r);
    view_loop_head(app, kit, r, &v, head_x);
    draw_rect_outline(kit, r.x, r.y, r.w, r.h, kOutline);

    if (v.length > 0) {
        char text[32];
        view_loop_length_text(v.length, v.sample_rate, text, sizeof text);
        float w = draw_text_span(kit, text, kLengthScale);
        draw_text(kit, text, r.x + r.w - 6.0f - w, r.y + 6.0f, kLengthScale, VIEW_MUTED);
    }
    view_gain_readout(app, kit);
}
