// app_drag.cpp - pointer drags and releases: seek, mix pad, gain and gate, effect
// knobs, video trim, and the mouse gliding over the key sheet.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "app/app_events.h"
#include "app/app_state.h"
#include "app/musical_typing.h"
#include "app/settings.h"
#include "app/toast.h"
#include "app/transport.h"
#include "app/video_panel.h"
#include "audio/engine.h"
#include "audio/looper.h"
#include "audio/vst.h"

static const auto rl = std::memory_order_relaxed;

static const float kGainDbPerUnit = 0.14f;
static const float kGainFloorDb = -60.0f;       // a start gain at or below 0.001
static const float kGainMuteDb = -59.0f;        // at or below: gain 0
static const float kGainMax = 2.0f;
static const double kVideoDefaultRate = 48000.0;

float app_gain_drag_value(float start_gain, float start_y, float y)
{
    float start_db = start_gain > 0.001f ? 20.0f * std::log10(start_gain) : kGainFloorDb;
    float db = start_db + (start_y - y) * kGainDbPerUnit;
    if (!(db > kGainMuteDb))
        return 0.0f;
    return std::min(kGainMax, std::pow(10.0f, db / 20.0f));
}

float app_gate_drag_value(float f)
{
    if (!(1.0f - f >= 0.02f))
        return 0.0f;
    return std::pow(10.0f, (std::min(1.0f, 1.0f - f) * 60.0f - 60.0f) / 20.0f);
}

void app_pad_anchor(AppState* app)
{
    if (!app || !app->engine)
        return;
    Engine* e = app->engine;
    app->pad_anchor_x = app->mouse_x;
    app->pad_anchor_y = app->mouse_y;
    app->pad_relative = 1;
    if (app->pad_mode) {
        app->pad_anchor_u = 1.0f - e->crossfade.load(rl);
        app->pad_anchor_v = 1.0f - e->wet_dry.load(rl);
    } else {
        app->pad_anchor_u = (app->pan + 1.0f) / 2.0f;
        app->pad_anchor_v = 1.0f - app->gain / 2.0f;
    }
}

void app_pad_drag(AppState* app, float x, float y)
{
    if (!app || !app->engine)
        return;
    Engine* e = app->engine;
    const HitRect& pad = app->layout.mix_pad;
    if (!(pad.w > 0.0f) || !(pad.h > 0.0f))
        return;
    float u, v;
    if (app->pad_relative) {
        u = app->pad_anchor_u + (x - app->pad_anchor_x) / pad.w;
        v = app->pad_anchor_v + (y - app->pad_anchor_y) / pad.h;
    } else {
        u = (x - pad.x) / pad.w;
        v = (y - pad.y) / pad.h;
    }
    u = std::clamp(u, 0.0f, 1.0f);
    float w = 1.0f - std::clamp(v, 0.0f, 1.0f);
    if (app->pad_mode) {
        e->crossfade.store(1.0f - u, rl);
        e->wet_dry.store(w, rl);
    } else {
        app_set_gain(app, 2.0f * w);
        app->pan = 2.0f * u - 1.0f;
        e->pan.store(app->pan, rl);
    }
}

void app_fx_knob_drag(AppState* app, float x)
{
    if (!app || !app->engine || app->drag_slot < 0 || app->drag_slot >= ENGINE_SLOTS)
        return;
    int row = app->drag_slot % 2;
    const HitRect& knob = app->drag_knob ? app->layout.slot_knob2[row] : app->layout.slot_knob1[row];
    if (!(knob.w > 0.0f))
        return;
    float value = std::clamp((x - knob.x) / knob.w, 0.0f, 1.0f);
    FxSlot* slot = &app->engine->slots[app->drag_slot];
    if (VstPlugin* p = slot->plugin.load(rl))
        vst_set_parameter(p, app->drag_knob ? 1 : 0, value);
    else if (app->drag_knob)
        slot->knob2.store(value, rl);
    else
        slot->knob1.store(value, rl);
}

// The key of the sheet under x: clamp(floor((x - sheet x) / (width / 13)), 0, 12).
int app_key_sheet_key(AppState* app, float x)
{
    const HitRect& sheet = app->layout.key_sheet;
    if (!(sheet.w > 0.0f))
        return 0;
    float k = std::floor((x - sheet.x) / (sheet.w / (float)TYPING_KEYS));
    return (int)std::clamp(k, 0.0f, (float)(TYPING_KEYS - 1));
}

void app_handle_drag(AppState* app, float x, float y)
{
    if (!app || !app->engine)
        return;
    app->mouse_x = x;
    app->mouse_y = y;
    if (app->pad_lock && app->drag_mode == DRAG_NONE)
        app_pad_drag(app, x, y);
    switch (app->drag_mode) {
    case DRAG_SEEK: {
        const HitRect& d = app->layout.loop_display;
        if (d.w > 0.0f)
            loop_seek_fraction(app->engine, std::clamp((x - d.x) / d.w, 0.0f, 1.0f));
        break;
    }
    case DRAG_PAD:
        app_pad_drag(app, x, y);
        break;
    case DRAG_GAIN:
        app_set_gain(app, app_gain_drag_value(app->drag_start_gain, app->drag_start_y, y));
        break;
    case DRAG_GATE: {
        const HitRect& s = app->layout.input_slider;
        if (s.h > 0.0f)
            app->engine->gate_threshold.store(app_gate_drag_value((y - s.y) / s.h), rl);
        break;
    }
    case DRAG_FX_KNOB:
        app_fx_knob_drag(app, x);
        break;
    case DRAG_VIDEO_TRIM:
        video_panel_trim_drag(app, x);
        break;
    default:
        break;
    }
    // The mouse slides from key to key on the sheet.
    if (app->musical_typing && app->clicked_key >= 0 && app_rect_has(app->layout.key_sheet, x, y)) {
        int key = app_key_sheet_key(app, x);
        if (key != app->clicked_key) {
            typing_note_up(app, app->clicked_key, true);
            app->clicked_key = key;
            typing_note_down(app, key, true);
        }
    }
}

void app_handle_release(AppState* app)
{
    if (!app || !app->engine)
        return;
    transport_hold_dub(app, false);
    if (app->clicked_key >= 0) {
        typing_note_up(app, app->clicked_key, true);
        app->clicked_key = -1;
    }
    if (app->drag_mode == DRAG_VIDEO_TRIM && app->video_ready && app->video_out > app->video_in) {
        double rate = app->engine->sample_rate > 0.0 ? app->engine->sample_rate : kVideoDefaultRate;
        int32_t frames = video_panel_trim_frames(app);
        loop_resize(app->engine, frames);
        // The loop holds at most its capacity: the toast says the length it gets.
        double seconds = std::min(frames, (int32_t)ENGINE_LOOP_CAPACITY) / rate;
        char text[APP_TOAST_TEXT];
        snprintf(text, sizeof text, "LOOP %.2f S", seconds);
        toast_show(app, text, TOAST_TEAL);
        settings_save(app);
    }
    app->drag_mode = DRAG_NONE;
    if (app->pad_lock)
        app_pad_anchor(app);
    else
        app->pad_relative = 0;
}
