// app_draw.cpp - the main view's layout table, screen shake, toasts and painter order.
#include "app/panels/main/app_draw.h"

#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "ui/drawkit.h"
#include "ui/particles.h"

static const float kToastBaseline = 452.0f;
static const float kToastStep = 38.0f;
static const float kToastHeight = 30.0f;
static const float kToastTextScale = 2.0f;
static const uint32_t kToastFill = draw_rgba(13, 17, 17, 0);

static const uint32_t kInputSliderColour = draw_rgba(107, 230, 224, 255);
static const uint32_t kOutputSliderColour = draw_rgba(46, 199, 184, 255);

void app_layout_write(AppState* app)
{
    if (!app)
        return;
    AppLayout* l = &app->layout;
    l->loop_display = HitRect{42, 96, 556, 250};
    l->input_slider = HitRect{8, 96, 26, 320};
    l->output_slider = HitRect{606, 96, 26, 320};
    l->pads[PAD_RECORD] = HitRect{42, 348, 150, 68};
    l->pads[PAD_REVERSE] = HitRect{193, 348, 84, 68};
    l->pads[PAD_STOP] = HitRect{278, 348, 84, 68};
    l->pads[PAD_FORWARD] = HitRect{363, 348, 84, 68};
    l->pads[PAD_HOLD_DUB] = HitRect{448, 348, 150, 68};
    l->pad_tabs[0] = HitRect{42, 430, 277, 32};
    l->pad_tabs[1] = HitRect{321, 430, 277, 32};
    l->mix_pad = HitRect{42, 464, 556, 250};
    l->patch_tabs[0] = HitRect{42, 734, 120, 30};
    l->patch_tabs[1] = HitRect{168, 734, 120, 30};
    l->fx_switch = HitRect{568, 736, 26, 26};
    for (int j = 0; j < 2; j++) {
        l->slot_name[j] = HitRect{42, 774.0f + 84 * j, 206, 56};
        l->slot_knob1[j] = HitRect{256, 782.0f + 84 * j, 128, 26};
        l->slot_knob2[j] = HitRect{392, 782.0f + 84 * j, 128, 26};
        l->slot_button[j] = HitRect{528, 782.0f + 84 * j, 70, 40};
    }
    l->key_sheet = HitRect{42, 850, 556, 120};
    for (int i = 0; i < 5; i++)
        l->buttons[i] = HitRect{42.0f + 113 * i, 948, 107, 44};
    l->status_left = HitRect{8, 1004, 300, 28};
    l->status_right = HitRect{372, 1004, 260, 28};
    l->library_switch = HitRect{12, 12, 36, 36};
    l->new_session = HitRect{92, 12, 36, 36};
    l->video_switch = HitRect{500, 12, 36, 36};
}

void app_shake_step(AppState* app, DrawKit* kit)
{
    if (!app || !kit)
        return;
    float t[2];
    for (float& v : t) {
        uint32_t s = app_random_next(&app->random_state);
        float r = (float)(s & 0xFFFFFFu) / 16777215.0f - 0.5f;
        v = 2.0f * r * app->shake * 5.0f;
    }
    kit->translate_x = t[0];
    kit->translate_y = t[1];
}

int32_t app_toast_layout(const AppState* app, ToastPlace out[4])
{
    if (!app || !out)
        return 0;
    int32_t n = 0;
    float y = kToastBaseline;
    for (int i = 0; i < APP_TOASTS; i++) {
        int32_t idx = (app->toast_next + i) % APP_TOASTS;
        const Toast* t = &app->toasts[idx];
        float a = t->alpha;
        if (!(a > 0.01f))
            continue;
        float k = a > 0.85f ? (1.0f - a) / 0.15f : a < 0.3f ? a / 0.3f : 1.0f;
        float w = draw_text_width(t->text, kToastTextScale) + 28.0f;
        out[n++] = ToastPlace{idx, (DRAW_REF_WIDTH - w) / 2.0f, y, w, kToastHeight, k};
        y -= k * kToastStep;
    }
    return n;
}

void app_draw_toasts(const AppState* app, DrawKit* kit)
{
    ToastPlace places[APP_TOASTS];
    int32_t n = app_toast_layout(app, places);
    for (int32_t i = 0; i < n; i++) {
        const ToastPlace& p = places[i];
        const Toast* t = &app->toasts[p.index];
        uint32_t ink = draw_with_alpha(t->colour, draw_alpha_byte(p.k * 255.0f));
        draw_fill(kit, p.x, p.y, p.w, p.h, draw_with_alpha(kToastFill, draw_alpha_byte(p.k * 235.0f)));
        draw_rect_outline(kit, p.x, p.y, p.w, p.h, ink);
        draw_text_centered(kit, t->text, DRAW_REF_WIDTH / 2.0f, p.y + 8.0f, kToastTextScale, ink);
    }
}

void app_draw(AppState* app, DrawKit* kit, float dt)
{
    if (!app || !kit)
        return;
    app_layout_write(app);
    if (!app->library_shown) {
        AppPlayerRects* r = &app->player_rects;
        r->panel = HitRect{};
        r->strip = HitRect{};
    }
    app_shake_step(app, kit);

    view_background(app, kit, app->ui_time);
    view_logo(app, kit);
    // From the sliders to the toasts everything is drawn through the kit alone: one
    // batch, sent as a call per run of one blend mode.
    draw_batch_begin(kit);
    view_gain_slider(app, kit, app->layout.input_slider, &app->input_meter, "I", kInputSliderColour,
                     app->input_clip, true);
    view_gain_slider(app, kit, app->layout.output_slider, &app->output_meter, "O", kOutputSliderColour,
                     app->output_clip, false);
    view_loop_display(app, kit);
    view_transport_pads(app, kit);
    view_pad(app, kit);
    view_patches(app, kit);
    view_transport(app, kit);
    view_status_bar(app, kit);
    particles_draw(kit, &app->particles);
    view_keys_sheet(app, kit);
    app_draw_toasts(app, kit);
    draw_batch_end(kit);
    view_library_strip(app, kit, dt > 0.0f ? dt : 1.0f / 60.0f);
    if (app->library_shown)
        view_loop_panel(app, kit);
    view_video_panel(app, kit);
    view_vst_picker(app, kit);
    view_settings(app, kit, dt);
    view_window_chrome(app, kit);
}
