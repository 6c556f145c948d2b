// view_mix_pad.cpp - the XY mix pad and its two mode tabs: gain and pan, or the A/B
// crossfade and wet/dry mix, with the pad point on its springs, the crosshair, the
// lock frame and the readout.
#include <atomic>
#include <cmath>
#include <cstdio>

#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_mix.h"
#include "app/panels/main/view_palette.h"
#include "audio/engine.h"
#include "ui/drawkit.h"

static const char* const kModeLabels[2] = {"VOL / PAN", "FX MIX"};
static const uint32_t kTabAccents[2] = {VIEW_MAGENTA, VIEW_LIGHT_TEAL};
static const float kTabLit = 0.35f;              // the selected tab, of the way to its accent
static const float kTabBar = 3.0f;
static const float kTabLabelScale = 1.8f;
static const uint32_t kWell = draw_with_alpha(VIEW_PANEL, 150);
static const uint32_t kGrid = draw_with_alpha(VIEW_MUTED, 34);
static const uint32_t kOutline = draw_with_alpha(VIEW_MUTED, 60);
static const uint32_t kCrosshairAlpha = 90;
static const float kPointHalf = 11.0f;
static const float kPointHalfHeld = 15.0f;       // dragged or locked
static const float kPointGlowSpread = 14.0f;
static const float kLabelScale = 1.6f;
static const float kSideScale = 2.0f;            // "A" and "B"

void view_pad_readout(int32_t mode, float gain, float pan, float crossfade, float wet_dry, char* out, size_t cap)
{
    if (!out || cap == 0)
        return;
    if (mode == 0) {
        const char* side = std::fabs(pan) < 0.01f ? "C" : pan < 0.0f ? "L" : "R";
        snprintf(out, cap, "GAIN %d%%  PAN %s", (int)(gain * 100.0f), side);
        return;
    }
    int a = (int)(crossfade * 100.0f + 0.5f);
    int wet = (int)(wet_dry * 100.0f + 0.5f);
    snprintf(out, cap, "A %d / B %d   WET %d%%", a, 100 - a, wet);
}

uint32_t view_pad_point_colour(int32_t mode, float x)
{
    return mode == 0 ? VIEW_MAGENTA : color_lerp(VIEW_PATCH_A, VIEW_PATCH_B, x);
}

static void view_pad_tabs(AppState* app, DrawKit* kit)
{
    for (int i = 0; i < 2; i++) {
        const HitRect r = app->layout.pad_tabs[i];
        bool selected = app->pad_mode == i;
        if (selected) {
            draw_fill(kit, r.x, r.y, r.w, r.h, color_lerp(VIEW_PANEL, kTabAccents[i], kTabLit));
            draw_fill(kit, r.x, r.y + r.h - kTabBar, r.w, kTabBar, kTabAccents[i]);
        } else {
            draw_fill(kit, r.x, r.y, r.w, r.h, kWell);
        }
        draw_text_centered(kit, kModeLabels[i], r.x + r.w / 2, r.y + 9.0f, kTabLabelScale,
                           selected ? VIEW_BRIGHT : VIEW_MUTED);
    }
}

// The lock frame breathes three radians of the UI clock per second.
static void view_pad_lock_frame(AppState* app, DrawKit* kit, HitRect r)
{
    float p = (float)std::sin(3.0 * app->ui_time) * 0.45f + 0.55f;
    draw_rect_outline(kit, r.x, r.y, r.w, r.h, VIEW_YELLOW);
    draw_rect_outline(kit, r.x + 1, r.y + 1, r.w - 2, r.h - 2, draw_with_alpha(VIEW_YELLOW, draw_alpha_byte(p * 180.0f)));
    draw_glow(kit, r.x, r.y, r.w, r.h, VIEW_YELLOW, 10.0f, 0.25f + 0.35f * p);
    draw_text(kit, "LOCK", r.x + r.w - 40.0f, r.y + 6.0f, 1.5f, VIEW_YELLOW);
}

static void view_pad_point(AppState* app, DrawKit* kit, HitRect r, float px, float py)
{
    uint32_t colour = view_pad_point_colour(app->pad_mode, app->pad_x.value);
    uint32_t cross = draw_with_alpha(colour, kCrosshairAlpha);
    draw_fill(kit, px - 0.5f, r.y, 1.0f, r.h, cross);
    draw_fill(kit, r.x, py - 0.5f, r.w, 1.0f, cross);

    bool held = app->drag_mode == DRAG_PAD || app->pad_lock;
    float s = held ? kPointHalfHeld : kPointHalf;
    draw_fill(kit, px - s, py - s, 2 * s, 2 * s, colour);
    draw_glow(kit, px - s, py - s, 2 * s, 2 * s, colour, kPointGlowSpread,
              held ? 1.0f : 0.45f + 0.4f * app->smoothed_level);
    if (app->pad_lock)
        draw_rect_outline(kit, px - s - 3, py - s - 3, 2 * s + 6, 2 * s + 6, VIEW_YELLOW);
}

static void view_pad_labels(AppState* app, DrawKit* kit, HitRect r, float px, float py)
{
    const auto rl = std::memory_order_relaxed;
    float crossfade = app->engine ? app->engine->crossfade.load(rl) : 1.0f;
    float wet_dry = app->engine ? app->engine->wet_dry.load(rl) : 1.0f;
    if (app->pad_mode == 0) {
        draw_text(kit, "L", r.x + 6, py - 16, kLabelScale, VIEW_MUTED);
        draw_text(kit, "R", r.x + r.w - 14, py - 16, kLabelScale, VIEW_MUTED);
        draw_text_centered(kit, "VOL", px, r.y + 6, kLabelScale, VIEW_MUTED);
    } else {
        draw_text(kit, "A", r.x + 6, py - 16, kSideScale, VIEW_PATCH_A);
        draw_text(kit, "B", r.x + r.w - 16, py - 16, kSideScale, VIEW_PATCH_B);
        draw_text_centered(kit, "WET", px, r.y + 6, kLabelScale, VIEW_MUTED);
        draw_text_centered(kit, "DRY", px, r.y + r.h - 34, kLabelScale, VIEW_MUTED);
    }
    char text[64];
    view_pad_readout(app->pad_mode, app->gain, app->pan, crossfade, wet_dry, text, sizeof text);
    draw_text(kit, text, r.x + 8, r.y + r.h - 18, kLabelScale, VIEW_MUTED);
}

void view_pad(AppState* app, DrawKit* kit)
{
    if (!app || !kit)
        return;
    view_pad_tabs(app, kit);
    const HitRect r = app->layout.mix_pad;
    draw_fill(kit, r.x, r.y, r.w, r.h, kWell);
    for (int i = 1; i <= 3; i++) {
        draw_fill(kit, r.x + i * r.w / 4, r.y, 1.0f, r.h, kGrid);
        draw_fill(kit, r.x, r.y + i * r.h / 4, r.w, 1.0f, kGrid);
    }
    if (app->pad_lock)
        view_pad_lock_frame(app, kit, r);
    float px = r.x + app->pad_x.value * r.w;
    float py = r.y + app->pad_y.value * r.h;
    view_pad_point(app, kit, r, px, py);
    view_pad_labels(app, kit, r, px, py);
    draw_rect_outline(kit, r.x, r.y, r.w, r.h, kOutline);
}
