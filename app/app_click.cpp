// app_click.cpp - a click on the main view, tested against the drawn rectangles in
// one fixed order; the first rectangle that holds the point acts and ends the click.
#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/app_events.h"
#include "app/app_state.h"
#include "app/meter.h"
#include "app/musical_typing.h"
#include "app/settings.h"
#include "app/session_take.h"
#include "app/takes.h"
#include "app/toast.h"
#include "app/transport.h"
#include "app/vst_picker.h"
#include "app/video_panel.h"
#include "app/video_player.h"
#include "app/vst_picker_rows.h"
#include "audio/engine.h"
#include "audio/fx.h"
#include "audio/looper.h"
#include "audio/vst.h"
#include "library/library.h"

static const auto rl = std::memory_order_relaxed;

static const float kTakePlayColumn = 48.0f;     // the take rows' play buttons lie left of it
static const float kTrimInset = 10.0f;          // the trim bar from the video panel's x
static const float kTrimWidth = 500.0f;
static const float kGateGrab = 14.0f;           // units either side of the gate mark

static bool is_right(int button)
{
    return button == SDL_BUTTON_RIGHT;
}

// ---------------------------------------------------------------------------
// Plug-in picker and settings list (modal)
// ---------------------------------------------------------------------------

static void click_picker(AppState* app, float x, float y, int button)
{
    AppPicker* p = &app->picker;
    if (!app_rect_has(APP_PICKER_PANEL, x, y)) {
        p->open = 0;
        return;
    }
    for (int i = 0; i < 3; i++) {
        if (app_rect_has(p->tabs[i], x, y)) {
            p->tab = i;
            vst_picker_filter(app);
            return;
        }
    }
    if (app_rect_has(p->identify_button, x, y)) {
        p->identifying = p->identifying ? 0 : 1;
        if (p->identifying)
            p->identify_next = 0;
        else
            p->identify_status[0] = '\0';
        return;
    }
    // Only a row that is drawn can be chosen: the footer below the last visible row
    // holds hints, not plug-ins.
    int32_t row = button == SDL_BUTTON_LEFT ? vst_picker_row_at(p, y) : -1;
    if (row >= 0)
        vst_picker_choose(app, p->filtered[row]);
}

int32_t app_device_entry_at(const AppState* app, float x, float y)
{
    if (!app || !app->device_list_open)
        return -1;
    const HitRect& top = app->settings_rows[0];
    float y0 = top.y + top.h;
    if (!(top.w > 0.0f) || !(x >= top.x && x < top.x + top.w) || !(y >= y0))
        return -1;
    int32_t k = (int32_t)std::floor((y - y0) / APP_DEVICE_ROW_HEIGHT);
    return k >= 0 && k < app->device_count ? k : -1;
}

static void click_device_list(AppState* app, float x, float y)
{
    Engine* e = app->engine;
    int32_t k = app_device_entry_at(app, x, y);
    app->device_list_open = 0;
    if (k < 0)
        return;
    engine_set_input_device(e, app->device_indices[k]);
    if (!e->running)
        toast_show(app, "DEVICE REFUSED", TOAST_RED);
    settings_save(app);
}

// A buffer size step; a size the audio server refused is said in the toast (the
// stream runs on as it was). `say_size`: a granted size is toasted too.
static void click_buffer(AppState* app, int step, bool say_size)
{
    Engine* e = app->engine;
    int asked = engine_next_buffer_size(e, step);
    char text[APP_TOAST_TEXT];
    if (!engine_cycle_buffer_size(e, step)) {
        snprintf(text, sizeof text, "BUFFER %d REFUSED", asked);
        toast_show(app, text, TOAST_RED);
    } else if (say_size) {
        snprintf(text, sizeof text, "BUFFER %d", e->buffer_frames);
        toast_show(app, text, TOAST_LIGHT_TEAL);
    }
    settings_save(app);
}

static void click_settings(AppState* app, float x, float y, int button)
{
    Engine* e = app->engine;
    if (app->device_list_open) {
        click_device_list(app, x, y);
        return;
    }
    if (!app_rect_has(APP_SETTINGS_PANEL, x, y)) {
        app_settings_set_open(app, false);
        return;
    }
    int step = is_right(button) ? -1 : 1;
    int row = -1;
    for (int i = 0; i < APP_SETTINGS_ROWS && row < 0; i++)
        if (app_rect_has(app->settings_rows[i], x, y))
            row = i;
    switch (row) {
    case 0:
        // Clients started since the stream opened are listed too.
        engine_rescan(e);
        app->device_count = engine_list_input_devices(e, app->device_indices, APP_DEVICE_LIST_MAX);
        app->device_list_open = 1;   // without devices: an empty list, closed by the next click
        return;
    case 1:
        click_buffer(app, step, false);
        return;
    case 2:
        if (!e->asio)
            transport_exclusive(app);
        break;
    case 3:
        transport_monitor(app);
        break;
    case 4:
        app->overdub = app->overdub ? 0 : 1;
        break;
    case 5:
        app_broadcast_set(app, !app->broadcast);
        break;
    case 6:
        app->inputs_toggle = 1;
        break;
    case 7:
        app->library_toggle = 1;
        break;
    case 8:
        app->keys_help_toggle = 1;
        app->settings_open = 0;
        break;
    default:
        return;
    }
    settings_save(app);
}

// ---------------------------------------------------------------------------
// Side panels
// ---------------------------------------------------------------------------

static void click_video(AppState* app, float x, float y, int button)
{
    if (app->video_path[0] && app_rect_has(app->video_rects[APP_VIDEO_REMOVE], x, y)) {
        if (app->video_player)
            video_player_close(app->video_player);
        app->video_path[0] = '\0';
        app->video_in = app->video_out = app->video_duration = 0.0;
        app->video_ready = 0;
        settings_save(app);
        return;
    }
    if (button != SDL_BUTTON_LEFT || !app->video_ready || !(app->video_duration > 0.0) ||
        !app_on_trim_bar(app, x, y))
        return;
    float bar_x = app->video_x + kTrimInset;
    double d = app->video_duration;
    double xi = bar_x + app->video_in / d * kTrimWidth;
    double xo = bar_x + app->video_out / d * kTrimWidth;
    app->drag_mode = DRAG_VIDEO_TRIM;
    app->video_trim_handle = std::fabs(x - xi) <= std::fabs(x - xo) ? 1 : 2;
    video_panel_trim_drag(app, x);
}

static void play_take(AppState* app, const char* name)
{
    app_player_ensure(app);
    char path[sizeof app->takes_folder + sizeof app->takes[0].name + 1];
    snprintf(path, sizeof path, "%s/%s", app->takes_folder, name);
    LibraryItem* item = library_loaded_item(app->library);
    if (item && std::strcmp(library_item_path(item), path) == 0)
        library_play_item(app->library, item);
    else if (!library_add_file(app->library, path, true))
        toast_show(app, "CAN'T PLAY THAT", TOAST_RED);
}

// True when the click fell on the library panel (which then ends it).
static bool click_library(AppState* app, float x, float y, int button)
{
    if (app_rect_has(app->library_new_button, x, y)) {
        transport_new_session(app);
        return true;
    }
    for (int i = 0; i < 2; i++) {
        if (app_rect_has(app->library_tabs[i], x, y)) {
            app->library_tab = i;
            if (i == 0)
                app_library_scan(app);
            settings_save(app);
            return true;
        }
    }
    if (!(x >= app->library_x && x < app->library_x + APP_LIBRARY_WIDTH))
        return false;
    int32_t index = button == SDL_BUTTON_LEFT ? app_take_row_at(app, y) : -1;
    if (index < 0)
        return true;
    if (x >= app->library_x + kTakePlayColumn)
        take_load_into_loop(app, index);
    else
        play_take(app, app->takes[index].name);
    return true;
}

// ---------------------------------------------------------------------------
// Main view
// ---------------------------------------------------------------------------

static void click_input_slider(AppState* app, float y, int button, int clicks)
{
    app->input_clip = 0.0f;
    if (clicks >= 2) {
        app_set_gain(app, 1.0f);
        toast_show(app, "GAIN 0.0 DB", TOAST_LIGHT_TEAL);
        settings_save(app);
        return;
    }
    const HitRect& s = app->layout.input_slider;
    float gate = app->engine->gate_threshold.load(rl);
    float mark = (1.0f - meter_db_fraction(gate)) * s.h + s.y;
    if ((gate > 0.0f && std::fabs(y - mark) < kGateGrab) || is_right(button)) {
        app->drag_mode = DRAG_GATE;
        return;
    }
    app->drag_mode = DRAG_GAIN;
    app->drag_start_gain = app->gain;
    app->drag_start_y = y;
}

static void click_mix_pad(AppState* app, float x, float y, int button)
{
    if (!is_right(button)) {
        app->drag_mode = DRAG_PAD;
        app->pad_relative = 0;
        app_pad_drag(app, x, y);
        return;
    }
    if (app->pad_lock) {
        app->pad_lock = 0;
        app->pad_relative = 0;
        toast_show(app, "PAD FREE", TOAST_GREY);
    } else {
        app->pad_lock = 1;
        app_pad_anchor(app);
        toast_show(app, "PAD LOCK", TOAST_YELLOW);
    }
}

// True when the click fell on one of the shown patch's two slot rows.
static bool click_slot_row(AppState* app, float x, float y, int button)
{
    const AppLayout& l = app->layout;
    for (int row = 0; row < 2; row++) {
        int slot = row + 2 * (app->patch_b ? 1 : 0);
        FxSlot* fx = &app->engine->slots[slot];
        VstPlugin* plugin = fx->plugin.load(rl);
        if (app_rect_has(l.slot_name[row], x, y)) {
            if (!plugin) {
                int type = fx->effect_type.load(rl);
                int step = is_right(button) ? FX_TYPE_COUNT - 1 : 1;
                fx_set_type(fx, ((type % FX_TYPE_COUNT + FX_TYPE_COUNT) % FX_TYPE_COUNT + step) % FX_TYPE_COUNT);
                settings_save(app);
            } else if (is_right(button)) {
                if (fxslot_remove_vst(app, slot))
                    toast_show(app, "VST UNLOADED", TOAST_GREY);
            } else if (!vst_editor_open(plugin)) {
                toast_show(app, "NO EDITOR", TOAST_GREY);
            }
            return true;
        }
        for (int knob = 0; knob < 2; knob++) {
            if (app_rect_has(knob ? l.slot_knob2[row] : l.slot_knob1[row], x, y)) {
                app->drag_mode = DRAG_FX_KNOB;
                app->drag_slot = slot;
                app->drag_knob = knob;
                app_fx_knob_drag(app, x);
                return true;
            }
        }
        if (app_rect_has(l.slot_button[row], x, y)) {
            if (!is_right(button))
                vst_picker_open(app, slot);
            else if (fxslot_remove_vst(app, slot))
                toast_show(app, "VST UNLOADED", TOAST_GREY);
            return true;
        }
    }
    return false;
}

static void click_instrument(AppState* app, int button)
{
    VstPlugin* inst = app->engine->instrument.load(rl);
    if (!inst) {
        vst_picker_open(app, -1);
    } else if (is_right(button)) {
        app_instrument_unload(app);
        toast_show(app, "INST UNLOADED", TOAST_GREY);
    } else if (vst_editor_is_open(inst) || !vst_editor_open(inst)) {
        typing_set(app, !app->musical_typing);
    }
}

static void click_button(AppState* app, int index, int button)
{
    switch (index) {
    case 0:
        transport_monitor(app);
        settings_save(app);
        break;
    case 1:
        app->overdub = app->overdub ? 0 : 1;
        settings_save(app);
        break;
    case 2:
        transport_clear(app);
        break;
    case 3:
        transport_export_wav(app);
        break;
    default:
        click_instrument(app, button);
        break;
    }
}

void app_handle_click(AppState* app, float x, float y, int button, int clicks)
{
    if (!app || !app->engine)
        return;
    Engine* e = app->engine;
    const AppLayout& l = app->layout;
    int step = is_right(button) ? -1 : 1;

    // 1-3: the logo, then the modal picker and settings list.
    if (button == SDL_BUTTON_LEFT && app_rect_has(app->logo_rect, x, y)) {
        if (app_settings_set_open(app, true))
            app->picker.open = 0;
        return;
    }
    if (app->picker.open) {
        click_picker(app, x, y, button);
        return;
    }
    if (app->settings_open) {
        click_settings(app, x, y, button);
        return;
    }

    // 4-8: the top switches and the side panels.
    if (app_rect_has(l.library_switch, x, y)) {
        app->library_toggle = 1;
        return;
    }
    if (app_rect_has(l.new_session, x, y)) {
        transport_new_session(app);
        return;
    }
    if (app_rect_has(l.video_switch, x, y)) {
        app->video_toggle = 1;
        return;
    }
    if (app->video_shown && x >= app->video_x) {
        click_video(app, x, y, button);
        return;
    }
    if (app->library_shown && click_library(app, x, y, button))
        return;

    // 9-20: the main view.
    if (app->musical_typing && app_rect_has(l.key_sheet, x, y)) {
        int key = app_key_sheet_key(app, x);
        app->clicked_key = key;
        typing_note_down(app, key, true);
        return;
    }
    if (app_rect_has(l.loop_display, x, y)) {
        app->drag_mode = DRAG_SEEK;
        loop_seek_fraction(e, (x - l.loop_display.x) / l.loop_display.w);
        return;
    }
    for (int pad = 0; pad < PAD_COUNT; pad++) {
        if (!app_rect_has(l.pads[pad], x, y))
            continue;
        switch (pad) {
        case PAD_RECORD: transport_record(app); break;
        case PAD_REVERSE: transport_play_dir(app, true); break;
        case PAD_STOP: transport_stop(app); break;
        case PAD_FORWARD: transport_play_dir(app, false); break;
        default: transport_hold_dub(app, true); break;
        }
        return;
    }
    if (app_rect_has(l.input_slider, x, y)) {
        click_input_slider(app, y, button, clicks);
        return;
    }
    if (app_rect_has(l.output_slider, x, y)) {
        app->output_clip = 0.0f;
        return;
    }
    for (int i = 0; i < 2; i++) {
        if (app_rect_has(l.pad_tabs[i], x, y)) {
            app->pad_mode = (uint8_t)i;
            if (app->pad_lock)
                app_pad_anchor(app);
            settings_save(app);
            return;
        }
        if (app_rect_has(l.patch_tabs[i], x, y)) {
            app->patch_b = (uint8_t)i;
            settings_save(app);
            return;
        }
    }
    if (app_rect_has(l.mix_pad, x, y)) {
        click_mix_pad(app, x, y, button);
        return;
    }
    if (app_rect_has(l.fx_switch, x, y)) {
        bool was_bypassed = e->fx_bypass.load(rl) != 0;
        e->fx_bypass.store(was_bypassed ? 0 : 1, rl);
        toast_show(app, was_bypassed ? "FX ON" : "FX BYPASS", TOAST_PURPLE);
        return;
    }
    if (click_slot_row(app, x, y, button))
        return;
    for (int i = 0; i < 5; i++) {
        if (app_rect_has(l.buttons[i], x, y)) {
            click_button(app, i, button);
            return;
        }
    }
    if (app_rect_has(l.status_left, x, y)) {
        engine_cycle_input_device(e, step);
        toast_show(app, e->input_name, TOAST_LIGHT_TEAL);
        settings_save(app);
        return;
    }
    if (app_rect_has(l.status_right, x, y)) {
        click_buffer(app, step, true);
    }
}
