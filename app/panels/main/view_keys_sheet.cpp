// view_keys_sheet.cpp - the key sheet of musical typing, drawn over the effects block
// while it is on: thirteen keys from C to the next C, held ones lit in teal.
#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_palette.h"
#include "app/panels/main/view_status.h"
#include "ui/drawkit.h"

static const uint8_t kBlack[VIEW_SHEET_KEYS] = {0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0, 0};
static const char* const kTitle = "KEYS  Z S X D C V G B H N J M ,";
static const uint32_t kFrame = draw_with_alpha(VIEW_LIGHT_TEAL, 90);
static const uint32_t kWhiteKey = draw_with_alpha(VIEW_MUTED, 80);
static const float kTitleScale = 1.3f;
static const float kHeldGlowSpread = 8.0f;
static const float kHeldGlow = 0.8f;

bool view_key_black(int32_t i)
{
    return i >= 0 && i < VIEW_SHEET_KEYS && kBlack[i];
}

bool view_key_held(const AppState* app, int32_t i)
{
    if (!app || i < 0 || i >= VIEW_SHEET_KEYS)
        return false;
    return ((app->notes_mouse | app->notes_keys) >> i & 1) != 0;
}

void view_keys_sheet(AppState* app, DrawKit* kit)
{
    if (!app || !kit || !app->musical_typing)
        return;
    const HitRect r = app->layout.key_sheet;
    // The backing reaches 8 units past the sides, 26 above (room for the title) and 14
    // below.
    draw_fill(kit, r.x - 8, r.y - 26, r.w + 16, r.h + 40, VIEW_BACKGROUND);
    draw_rect_outline(kit, r.x - 8, r.y - 26, r.w + 16, r.h + 40, kFrame);
    draw_text(kit, kTitle, r.x, r.y - 20, kTitleScale, VIEW_MUTED);
    float kw = r.w / VIEW_SHEET_KEYS;
    for (int32_t i = 0; i < VIEW_SHEET_KEYS; i++) {
        float x = r.x + i * kw + 1;
        if (view_key_held(app, i)) {
            draw_fill(kit, x, r.y, kw - 2, r.h, VIEW_LIGHT_TEAL);
            draw_glow(kit, x, r.y, kw - 2, r.h, VIEW_LIGHT_TEAL, kHeldGlowSpread, kHeldGlow);
        } else {
            draw_fill(kit, x, r.y, kw - 2, r.h, view_key_black(i) ? VIEW_PANEL : kWhiteKey);
        }
    }
}
