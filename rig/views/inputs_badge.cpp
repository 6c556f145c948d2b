// inputs_badge.cpp - the rig badge on the main screen's inputs button: the rig glyph
// coloured by what the rig is doing, and the active scene's glyph beside it.
#include <cmath>

#include "rig/views/inputs_panel_internal.h"
#include "ui/canvas.h"
#include "ui/hitregion.h"
#include "ui/text.h"

static const double kPi = 3.14159265358979323846;

static void centred(InputsPanel* p, const char* text, float cx, float cy, float size, const float* colour)
{
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (!text_ink_bounds(p->text, p->canvas, 0, text, size, 400, &x0, &y0, &x1, &y1))
        return;
    text_draw(p->text, p->canvas, 0, text, cx - (x0 + x1) / 2, cy - (y0 + y1) / 2, size, 400, colour, 0);
}

void inputs_panel_draw_badge(InputsPanel* p, const InputsPanelFrame* f, float x, float y, float w, float h,
                             const float colour[4], bool hovered)
{
    if (!p || !f || !colour)
        return;
    float sc = f->scale > 0 ? f->scale : 1.0f;
    HitMap map = hitregion_map_canvas(f->origin_x, f->origin_y, sc);
    hitregion_add(&map, HitRect{x, y, w, h}, HITREGION_KIND_BUTTON);
    ip_refresh(p);
    float c[4] = {colour[0], colour[1], colour[2], colour[3]};
    int n = ip_opened(p);
    if (p->doc && p->view.no_live_input && n >= 1) {
        for (int k = 0; k < 4; k++)
            c[k] = p->pal[9][k];
    } else if (p->view.hot_input >= 0) {
        float wgt = f->reduced_motion ? 1.0f
                                      : 0.45f + 0.55f * (float)(0.5 + 0.5 * std::sin(2 * kPi * f->time / 0.9));
        for (int k = 0; k < 4; k++)
            c[k] = colour[k] + (p->pal[10][k] - colour[k]) * wgt;
    } else if (p->open) {
        for (int k = 0; k < 4; k++)
            c[k] = p->pal[3][k];
    } else if (hovered) {
        for (int k = 0; k < 3; k++)
            c[k] = colour[k] + (1.0f - colour[k]) * 0.3f;
    }
    canvas_begin(p->canvas, f->origin_x, f->origin_y, sc);
    if (p->doc) {
        int s = p->view.active_scene < 0 || p->view.active_scene > 3 ? 0 : p->view.active_scene;
        static const char* const defaults[4] = {"\xE2\x99\x97", "\xE2\x9D\xA6", "\xE2\x99\xA8", "\xE2\x98\xAF"};
        const char* glyph = p->doc->scenes[s].glyph[0] ? p->doc->scenes[s].glyph : defaults[s];
        centred(p, "\xE2\x9B\x81", x + 0.42f * w, y + 0.44f * h, 0.56f * h, c);
        centred(p, glyph, x + 0.76f * w, y + 0.74f * h, 0.36f * h, p->pal[7]);
    } else {
        centred(p, "\xE2\x9B\x81", x + 0.5f * w, y + 0.5f * h, 0.56f * h, c);
    }
    canvas_end(p->canvas);
}
