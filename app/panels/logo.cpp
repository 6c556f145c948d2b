// logo.cpp - view_logo: "TESSEL" and "VIVID" centred at the top of the main view, a
// hot pink that whitens with the output level; also the button that opens the
// settings, so it writes its hit rectangle.
#include <algorithm>

#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "ui/canvas.h"
#include "ui/drawkit.h"
#include "ui/text.h"

static const char kName[] = "TESSEL";
static const char kEdition[] = "VIVID";
static const int32_t kDisplayFont = 2;
static const float kEditionScale = 2.4f;
static const uint32_t kEditionTop = draw_rgba(255, 214, 130, 255);
static const uint32_t kEditionBottom = draw_rgba(242, 140, 56, 255);
static const uint32_t kNameTop = draw_rgba(255, 107, 184, 255);
static const uint32_t kNameBottom = draw_rgba(255, 0, 128, 255);

void view_logo(AppState* app, DrawKit* kit)
{
    if (!app || !kit)
        return;
    float v = std::clamp(app->out_level.value, 0.0f, 1.0f);
    if (!(v == v))
        v = 0.0f;
    float level = app->smoothed_level;
    float glow = std::min(1.0f, 0.65f * level + 0.35f);
    float w2 = draw_text_width(kEdition, kEditionScale);
    if (app->canvas && app->text) {
        Canvas* c = app->canvas;
        view_canvas_begin(c, kit);
        float w = 0.0f, h = 0.0f;
        text_measure(app->text, c, kDisplayFont, kName, 64.0f, 400, &w, &h);
        float x = (DRAW_REF_WIDTH - (w + 10.0f + w2)) / 2.0f;
        float a = 0.25f + 0.75f * v, k = 0.6f * v;
        float g = 0.42f * a + (1.0f - 0.42f * a) * k;
        float b0 = 0.5f + 0.22f * a;
        const float colour[4] = {1.0f, g, b0 + (1.0f - b0) * k, 1.0f};
        text_draw(app->text, c, kDisplayFont, kName, x, 6.0f, 64.0f, 400, colour, 0);
        canvas_end(c);
        app->logo_rect = HitRect{x - 10.0f, 6.0f, w + w2 + 30.0f, h};
        draw_text_glow(kit, kEdition, x + w + 10.0f, 6.0f + 0.74f * h - 16.8f, kEditionScale, kEditionBottom,
                       kEditionTop, glow, kEditionTop);
        return;
    }
    float w1 = draw_text_width(kName, 5.0f);
    float x0 = (DRAW_REF_WIDTH - (w1 + 10.0f + w2)) / 2.0f;
    app->logo_rect = HitRect{x0 - 10.0f, 18.0f, w1 + w2 + 30.0f, 47.0f};
    draw_text_glow(kit, kEdition, x0 + w1 + 10.0f, 42.2f, kEditionScale, kEditionBottom, kEditionTop, glow,
                   kEditionTop);
    draw_text_glow(kit, kName, x0, 24.0f, 5.0f, kNameBottom, kNameTop, 0.25f + 0.75f * v, kNameTop);
    if (v > 0.02f)
        draw_text(kit, kName, x0, 24.0f, 5.0f, draw_rgba(255, 255, 255, draw_alpha_byte(220.0f * v)));
}
