// app_cursor.cpp - the cursor kind for the pointer over the main view and its panels.
#include <cmath>

#include "app/app_events.h"
#include "app/app_state.h"
#include "library/library.h"

static const HitRect kPickerSearch = {60, 202, 382, 34};   // 202 <= y < 236, x < 442
static const float kTakeRowsTop = 92.0f;
static const float kTakeRowPitch = 36.0f;
static const float kTrimInset = 10.0f;
static const float kTrimWidth = 500.0f;
static const float kTrimTop = 962.0f;
static const float kTrimBottom = 1026.0f;
static const float kTrimHandleGrab = 4.0f;   // units beyond either end of the bar

int32_t app_library_rows(AppState* app)
{
    float bottom = app && library_loaded_item(app->library) ? 782.0f : 976.0f;
    int32_t rows = (int32_t)std::floor((bottom - kTakeRowsTop) / kTakeRowPitch);
    return rows > 1 ? rows : 1;
}

int32_t app_take_row_at(AppState* app, float y)
{
    if (!app || app->library_tab != 0 || !(y >= kTakeRowsTop))
        return -1;
    int32_t row = (int32_t)std::floor((y - kTakeRowsTop) / kTakeRowPitch);
    int32_t index = app->take_scroll + row;
    return row < app_library_rows(app) && index >= 0 && index < app->take_count ? index : -1;
}

HitRect app_trim_bar_rect(const AppState* app)
{
    float bar_x = app->video_x + kTrimInset;
    return HitRect{bar_x - kTrimHandleGrab, kTrimTop, kTrimWidth + 2 * kTrimHandleGrab, kTrimBottom - kTrimTop};
}

bool app_on_trim_bar(AppState* app, float x, float y)
{
    return app_rect_has(app_trim_bar_rect(app), x, y);
}

static bool any_has(const HitRect* r, int n, float x, float y)
{
    for (int i = 0; i < n; i++)
        if (app_rect_has(r[i], x, y))
            return true;
    return false;
}

static int cursor_main_view(AppState* app, float x, float y)
{
    const AppLayout& l = app->layout;
    if (app->musical_typing && app_rect_has(l.key_sheet, x, y))
        return CURSOR_HAND;
    if (app_rect_has(l.loop_display, x, y) || app_rect_has(l.mix_pad, x, y))
        return CURSOR_CROSS;
    if (app_rect_has(l.input_slider, x, y))
        return CURSOR_SLIDE_Y;
    if (any_has(l.slot_knob1, 2, x, y) || any_has(l.slot_knob2, 2, x, y))
        return CURSOR_SLIDE_X;
    bool hand = any_has(l.pads, PAD_COUNT, x, y) || any_has(l.pad_tabs, 2, x, y) ||
                any_has(l.patch_tabs, 2, x, y) || app_rect_has(l.fx_switch, x, y) ||
                any_has(l.slot_name, 2, x, y) || any_has(l.slot_button, 2, x, y) ||
                any_has(l.buttons, 5, x, y) || app_rect_has(l.status_left, x, y) ||
                app_rect_has(l.status_right, x, y);
    return hand ? CURSOR_HAND : CURSOR_ARROW;
}

static int cursor_library(AppState* app, float x, float y)
{
    const AppPlayerRects& p = app->player_rects;
    if (app_rect_has(app->library_new_button, x, y) || any_has(app->library_tabs, 2, x, y) ||
        app_rect_has(p.loop_switch, x, y) || app_rect_has(p.to_input_switch, x, y) || any_has(p.bars, 4, x, y) ||
        any_has(p.steppers, 2, x, y) || app_rect_has(p.strip, x, y) || app_rect_has(app->library_view_rect, x, y))
        return CURSOR_HAND;
    return app_take_row_at(app, y) >= 0 ? CURSOR_HAND : CURSOR_ARROW;
}

int app_cursor_kind(AppState* app)
{
    if (!app)
        return CURSOR_ARROW;
    float x = app->mouse_x, y = app->mouse_y;
    if (app->segment_press == 2)
        return x >= 0.0f && x < APP_MAIN_VIEW_WIDTH ? CURSOR_SEGMENT_DROP : CURSOR_SEGMENT;
    switch (app->drag_mode) {
    case DRAG_FX_KNOB:
    case DRAG_VIDEO_TRIM: return CURSOR_SLIDE_X;
    case DRAG_GAIN:
    case DRAG_GATE: return CURSOR_SLIDE_Y;
    case DRAG_SEEK:
    case DRAG_PAD: return CURSOR_CROSS;
    default: break;
    }
    if (app->picker.open) {
        if (!app_rect_has(APP_PICKER_PANEL, x, y))
            return CURSOR_ARROW;
        return app_rect_has(kPickerSearch, x, y) ? CURSOR_TEXT : CURSOR_HAND;
    }
    if (app->settings_open)
        return app_rect_has(APP_SETTINGS_PANEL, x, y) || app->device_list_open ? CURSOR_HAND : CURSOR_ARROW;
    const AppLayout& l = app->layout;
    if (app_rect_has(app->logo_rect, x, y) || app_rect_has(l.library_switch, x, y) ||
        app_rect_has(l.new_session, x, y) || app_rect_has(l.video_switch, x, y))
        return CURSOR_HAND;
    if (app->video_shown && x >= app->video_x) {
        if (app->video_path[0] && app_rect_has(app->video_rects[APP_VIDEO_REMOVE], x, y))
            return CURSOR_HAND;
        return app_on_trim_bar(app, x, y) && app->video_ready && app->video_duration > 0.0 ? CURSOR_SLIDE_X : CURSOR_ARROW;
    }
    if (app->library_shown && x >= app->library_x && x < app->library_x + APP_LIBRARY_WIDTH)
        return cursor_library(app, x, y);
    return cursor_main_view(app, x, y);
}
