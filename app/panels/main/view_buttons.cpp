// view_buttons.cpp - the row of five buttons under the effects block: monitor,
// overdub, clear, export and the instrument, each lit in its accent with a bar along
// its bottom edge.
#include <atomic>
#include <cstdio>

#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_palette.h"
#include "app/panels/main/view_status.h"
#include "audio/engine.h"
#include "audio/vst.h"
#include "ui/drawkit.h"

static const char* const kLabels[VIEW_BUTTONS] = {"MONITOR", "OVERDUB", "CLEAR", "EXPORT", "INST"};
static const uint32_t kAccents[VIEW_BUTTONS] = {VIEW_TEAL, VIEW_RED, VIEW_MUTED, VIEW_TEAL, VIEW_LIGHT_TEAL};
static const float kLit = 0.4f;                  // a lit body, of the way to its accent
static const float kFlashLit = 0.01f;            // the export flash lights above this
static const float kLabelScale = 1.6f;
static const float kBar = 3.0f;
static const uint32_t kOutline = draw_with_alpha(VIEW_MUTED, 46);

enum { BUTTON_MONITOR = 0, BUTTON_OVERDUB, BUTTON_CLEAR, BUTTON_EXPORT, BUTTON_INST };

ButtonLook view_button_look(const AppState* app, int32_t i)
{
    ButtonLook look{};
    if (i < 0 || i >= VIEW_BUTTONS)
        return look;
    snprintf(look.label, sizeof look.label, "%s", kLabels[i]);
    look.accent = kAccents[i];
    if (!app)
        return look;
    const Engine* e = app->engine;
    const auto rl = std::memory_order_relaxed;
    switch (i) {
    case BUTTON_MONITOR:
        look.lit = e && e->monitor.load(rl) != 0;
        break;
    case BUTTON_OVERDUB:
        look.lit = app->overdub != 0;
        break;
    case BUTTON_EXPORT:
        look.lit = app->flashes[FLASH_EXPORTED].value > kFlashLit;
        break;
    case BUTTON_INST: {
        VstPlugin* inst = e ? e->instrument.load(rl) : nullptr;
        if (inst) {
            look.lit = true;
            snprintf(look.label, sizeof look.label, "%.9s", vst_name(inst));
        }
        break;
    }
    default:
        break;
    }
    return look;
}

void view_transport(AppState* app, DrawKit* kit)
{
    if (!app || !kit)
        return;
    for (int32_t i = 0; i < VIEW_BUTTONS; i++) {
        const HitRect r = app->layout.buttons[i];
        ButtonLook look = view_button_look(app, i);
        draw_fill(kit, r.x, r.y, r.w, r.h, look.lit ? color_lerp(VIEW_PANEL, look.accent, kLit) : VIEW_PANEL);
        draw_text_centered(kit, look.label, r.x + r.w / 2, r.y + r.h / 2 - 6.0f, kLabelScale,
                           look.lit ? VIEW_BRIGHT : VIEW_MUTED);
        draw_rect_outline(kit, r.x, r.y, r.w, r.h, kOutline);
        if (look.lit)
            draw_fill(kit, r.x, r.y + r.h - kBar, r.w, kBar, look.accent);
    }
}
