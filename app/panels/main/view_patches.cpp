// view_patches.cpp - the effects block: patch tabs A and B, the effects switch, and
// the two slot rows of the shown patch, each with its effect or plug-in name, two
// parameter bars and the plug-in button; dimmed under "BYPASSED" while bypassed.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_mix.h"
#include "app/panels/main/view_palette.h"
#include "audio/engine.h"
#include "audio/fx.h"
#include "audio/vst.h"
#include "ui/drawkit.h"

static const HitRect kPanel{8, 728, 624, 212};
static const uint32_t kPatchAccents[2] = {VIEW_PATCH_A, VIEW_PATCH_B};
static const uint32_t kPanelFill = draw_with_alpha(VIEW_PANEL, 100);
static const uint32_t kWell = draw_with_alpha(VIEW_PANEL, 150);
static const uint32_t kFaintOutline = draw_with_alpha(VIEW_MUTED, 46);
static const uint32_t kKnobWell = draw_rgba(18, 23, 23, 150);
static const uint32_t kSwapFill = draw_rgba(89, 84, 52, 255);
static const uint32_t kBypassVeil = draw_with_alpha(VIEW_BACKGROUND, 120);
static const float kTabLit = 0.45f;
static const float kNameLit = 0.5f;
static const float kNameLitBypassed = 0.18f;

SlotLook view_slot_look(const Engine* e, int32_t slot)
{
    SlotLook look{};
    snprintf(look.name, sizeof look.name, "%s", "+ FX");
    if (!e || slot < 0 || slot >= ENGINE_SLOTS)
        return look;
    const auto rl = std::memory_order_relaxed;
    const FxSlot* s = &e->slots[slot];
    VstPlugin* plugin = s->plugin.load(rl);
    int32_t type = s->effect_type.load(rl);
    if (plugin) {
        look.plugin = true;
        look.active = true;
        snprintf(look.name, sizeof look.name, "%.14s", vst_name(plugin));
        for (int k = 0; k < 2; k++) {
            char name[24];
            vst_get_param_name(plugin, k, name, sizeof name);
            snprintf(look.param[k], sizeof look.param[k], "%.10s", name);
            look.value[k] = vst_get_parameter(plugin, k);
        }
        return look;
    }
    look.active = type != FX_OFF;
    if (look.active)
        snprintf(look.name, sizeof look.name, "%.14s", fx_name(type));
    look.value[0] = s->knob1.load(rl);
    look.value[1] = s->knob2.load(rl);
    for (int k = 0; k < 2; k++)
        snprintf(look.param[k], sizeof look.param[k], "%.10s", fx_param_name(type, k));
    return look;
}

void view_knob(AppState* app, DrawKit* kit, HitRect r, float value, const char* label, uint32_t colour, bool active)
{
    if (!app || !kit)
        return;
    // A plug-in may report anything; the bar stays inside its well.
    float v = std::isnan(value) ? 0.0f : std::clamp(value, 0.0f, 1.0f);
    draw_fill(kit, r.x, r.y, r.w, r.h, kKnobWell);
    draw_fill(kit, r.x, r.y, v * r.w, r.h, draw_with_alpha(colour, active ? 230 : 150));
    if (active)
        draw_glow(kit, r.x, r.y, v * r.w, r.h, colour, 6.0f, 0.7f);
    draw_rect_outline(kit, r.x, r.y, r.w, r.h, kFaintOutline);
    draw_text(kit, label, r.x, r.y + r.h + 4, 1.3f, VIEW_MUTED);
}

static void view_patch_tabs(AppState* app, DrawKit* kit)
{
    for (int i = 0; i < 2; i++) {
        const HitRect r = app->layout.patch_tabs[i];
        bool shown = app->patch_b == i;
        draw_fill(kit, r.x, r.y, r.w, r.h, shown ? color_lerp(VIEW_PANEL, kPatchAccents[i], kTabLit) : VIEW_PANEL);
        char label[16];
        snprintf(label, sizeof label, "PATCH %c", 'A' + i);
        draw_text_centered(kit, label, r.x + r.w / 2, r.y + 8, 1.7f, shown ? VIEW_BRIGHT : VIEW_MUTED);
    }
}

static void view_fx_switch(AppState* app, DrawKit* kit, bool enabled)
{
    const HitRect r = app->layout.fx_switch;
    draw_fill(kit, r.x, r.y, r.w, r.h, kWell);
    draw_rect_outline(kit, r.x, r.y, r.w, r.h, VIEW_PATCH_A);
    if (enabled) {
        draw_fill(kit, r.x + 5, r.y + 5, r.w - 10, r.h - 10, VIEW_PATCH_A);
        draw_glow(kit, r.x, r.y, r.w, r.h, VIEW_PATCH_A, 8.0f, 0.6f);
    }
}

static void view_slot_row(AppState* app, DrawKit* kit, int32_t row, uint32_t accent, bool enabled)
{
    const AppLayout& l = app->layout;
    int32_t slot = 2 * (app->patch_b ? 1 : 0) + row;
    SlotLook look = view_slot_look(app->engine, slot);

    const HitRect n = l.slot_name[row];
    uint32_t box = look.active ? color_lerp(VIEW_PANEL, accent, enabled ? kNameLit : kNameLitBypassed) : VIEW_PANEL;
    draw_fill(kit, n.x, n.y, n.w, n.h, box);
    draw_text_centered(kit, look.name, n.x + n.w / 2, n.y + n.h / 2 - 7, 1.8f, look.active ? VIEW_BRIGHT : VIEW_MUTED);
    if (look.plugin)
        draw_text(kit, "VST", n.x + 4, n.y + 3, 1.2f, VIEW_YELLOW);
    draw_rect_outline(kit, n.x, n.y, n.w, n.h, kFaintOutline);

    const HitRect knobs[2] = {l.slot_knob1[row], l.slot_knob2[row]};
    for (int k = 0; k < 2; k++) {
        bool active = app->drag_mode == DRAG_FX_KNOB && app->drag_slot == slot && app->drag_knob == k;
        view_knob(app, kit, knobs[k], look.value[k], look.param[k], accent, active);
    }

    const HitRect b = l.slot_button[row];
    draw_fill(kit, b.x, b.y, b.w, b.h, look.plugin ? kSwapFill : kWell);
    draw_text_centered(kit, look.plugin ? "SWAP" : "VST", b.x + b.w / 2, b.y + b.h / 2 - 5, 1.5f,
                       look.plugin ? VIEW_BRIGHT : VIEW_MUTED);
    draw_rect_outline(kit, b.x, b.y, b.w, b.h, kFaintOutline);
}

void view_patches(AppState* app, DrawKit* kit)
{
    if (!app || !kit)
        return;
    uint32_t accent = kPatchAccents[app->patch_b ? 1 : 0];
    bool enabled = !(app->engine && app->engine->fx_bypass.load(std::memory_order_relaxed));

    draw_fill(kit, kPanel.x, kPanel.y, kPanel.w, kPanel.h, kPanelFill);
    draw_rect_outline(kit, kPanel.x, kPanel.y, kPanel.w, kPanel.h, draw_with_alpha(accent, enabled ? 110 : 40));
    draw_text(kit, "FX", 18, 736, 1.6f, VIEW_MUTED);
    view_patch_tabs(app, kit);
    view_fx_switch(app, kit, enabled);
    for (int32_t row = 0; row < 2; row++)
        view_slot_row(app, kit, row, accent, enabled);

    if (!enabled) {
        draw_fill(kit, kPanel.x, kPanel.y, kPanel.w, kPanel.h, kBypassVeil);
        draw_text_centered(kit, "BYPASSED", 320, 828, 2.0f, draw_with_alpha(VIEW_MUTED, 180));
    }
}
