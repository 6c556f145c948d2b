// settings_panel.cpp - the settings list's painter: the backing on the drawing kit,
// then one canvas pass for the title chip and the nine rows, then, on the kit again,
// the latency line and the open device list. The canvas batches its shapes, so a kit
// shape drawn inside the pass would land under the rows; the device list must cover
// the rows below INPUT, so it comes after the pass.
// Each frame it draws, it writes the row rectangles the click handler tests; on a
// frame it does not draw (closed, or no canvas or text renderer) it zeroes them, and
// a list left open without its canvas is closed.
#include <SDL.h>

#include <cstdio>

#include "app/app_events.h"
#include "app/app_state.h"
#include "app/panels/panel_backing.h"
#include "app/panels/settings_panel.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_palette.h"
#include "audio/engine.h"
#include "platform/plat_audio_api.h"
#include "ui/canvas.h"
#include "ui/drawkit.h"
#include "ui/widget.h"

static const uint32_t kListFill = VIEW_BACKGROUND;
static const float kLatencyY = 776.5f;
static const float kEntryFillX = 65.0f;
static const float kEntryFillW = 510.0f;
static const float kLabelInset = 12.0f;   // the host label ends this far inside the box

static void settings_forget_rects(AppState* app)
{
    for (HitRect& r : app->settings_rows)
        r = HitRect{};
}

// The device list's box: directly under the INPUT row, one entry high per device
// (zero high without devices).
static int32_t settings_list_count(const AppState* app)
{
    int32_t n = app->device_count < APP_DEVICE_LIST_MAX ? app->device_count : APP_DEVICE_LIST_MAX;
    return n > 0 ? n : 0;
}

static HitRect settings_list_box(const AppState* app)
{
    HitRect top = settings_row_rect(0);
    return HitRect{top.x, top.y + top.h, top.w, APP_DEVICE_ROW_HEIGHT * (float)settings_list_count(app)};
}

static bool settings_list_has(const AppState* app, float x, float y)
{
    return app->device_list_open && app_rect_has(settings_list_box(app), x, y);
}

static void settings_rows_pass(AppState* app, DrawKit* kit, float dt)
{
    Canvas* c = app->canvas;
    const HitRect& panel = APP_SETTINGS_PANEL;
    view_canvas_begin(c, kit);
    widget_frame(&app->widgets);
    // The title band inside the outline, above the first row.
    CanvasRect chip{panel.x + 1, panel.y + 1, panel.w - 2, settings_row_rect(0).y - panel.y - 4};
    widget_draw_label_chip(c, app->text, &chip, "SETTINGS");

    bool left_down = (SDL_GetMouseState(nullptr, nullptr) & SDL_BUTTON_LMASK) != 0;
    // An open device list covers the rows beneath it: only a row it leaves bare shows
    // the pointer over it.
    bool over_list = settings_list_has(app, app->mouse_x, app->mouse_y);
    for (int i = 0; i < APP_SETTINGS_ROWS; i++) {
        HitRect r = settings_row_rect(i);
        app->settings_rows[i] = r;
        char value[SETTINGS_VALUE_TEXT];
        bool warning = false;
        settings_row_value(app, i, value, sizeof value, &warning);
        bool hovered = !over_list && app_rect_has(r, app->mouse_x, app->mouse_y);
        CanvasRect cr{r.x, r.y, r.w, r.h};
        widget_draw_button(c, app->text, &app->widgets, SETTINGS_WIDGET_ID + (uint32_t)i, &cr,
                           settings_row_label(i), value, 0, hovered, hovered && left_down, warning, dt,
                           app->reduced_motion);
    }
    canvas_end(c);
}

static void settings_device_list(AppState* app, DrawKit* kit)
{
    if (!app->device_list_open)
        return;
    Engine* e = app->engine;
    const HitRect& top = app->settings_rows[0];
    HitRect box = settings_list_box(app);
    float y0 = box.y;
    int32_t count = settings_list_count(app);
    draw_fill(kit, box.x, box.y, box.w, box.h, kListFill);
    draw_rect_outline(kit, box.x, box.y, box.w, box.h, VIEW_MAGENTA);

    const char* direct = plat_host_api_policy()->direct_label;
    int32_t hovered = app_device_entry_at(app, app->mouse_x, app->mouse_y);
    for (int32_t k = 0; k < count; k++) {
        float y = y0 + APP_DEVICE_ROW_HEIGHT * (float)k;
        bool open = app->device_indices[k] == e->open_input_device;
        bool hot = k == hovered;
        if (open || hot)
            draw_fill(kit, kEntryFillX, y, kEntryFillW, APP_DEVICE_ROW_HEIGHT,
                      color_lerp(kListFill, VIEW_MAGENTA, open ? 0.4f : 0.2f));
        char name[128] = "", label[32] = "", shown[40];
        engine_device_label(e, app->device_indices[k], name, sizeof name, label, sizeof label);
        snprintf(shown, sizeof shown, "%.34s", name);
        draw_text(kit, shown, top.x + 12, y + 12, 1.5f, open || hot ? VIEW_BRIGHT : VIEW_LIGHT);
        float lw = draw_text_span(kit, label, 1.4f);
        bool is_direct = direct && SDL_strcmp(label, direct) == 0;
        draw_text(kit, label, top.x + top.w - kLabelInset - lw, y + 13, 1.4f, is_direct ? VIEW_LIGHT_TEAL : VIEW_MUTED);
    }
}

void view_settings(AppState* app, DrawKit* kit, float dt)
{
    if (!app)
        return;
    if (!app->settings_open || !kit || !kit->renderer || !app->canvas || !app->text || !app->engine) {
        if (app->settings_open && (!app->canvas || !app->text))
            app->settings_open = app->device_list_open = 0;
        settings_forget_rects(app);
        return;
    }
    panel_modal_backing(kit, APP_SETTINGS_PANEL);

    settings_rows_pass(app, kit, dt);

    char line[64];
    snprintf(line, sizeof line, "LATENCY  %.1f MS  @ %.0fK", app->engine->latency_ms, app->engine->sample_rate / 1000.0);
    draw_text(kit, line, 74, kLatencyY, 1.4f, VIEW_LIGHT_TEAL);
    settings_device_list(app, kit);
}
