// transport.cpp - the transport commands, the monitor, exclusive-mode and broadcast
// switches, and plug-in removal.
#include "app/transport.h"

#include <cstdio>

#include "app/app_state.h"
#include "app/musical_typing.h"
#include "app/take_wait.h"
#include "app/takes.h"
#include "app/toast.h"
#include "audio/engine.h"
#include "audio/engine_retire.h"
#include "audio/looper.h"
#include "broadcast/tcstream.h"

static const auto rl = std::memory_order_relaxed;

static const float kLoopY = 221.0f;             // the loop display's centre line
static const float kPressDepth = 0.82f;         // a pad knocked down by a press
static const float kHoldDubDepth = 0.8f;

static void pad_bounce(AppState* app, int pad, float depth)
{
    PadSpring* p = &app->pads[pad];
    p->spring.value = depth;
    p->spring.target = 1.0f;
    p->pulse.value = 1.0f;
}

// While the program closes, its last take is being written, and while n, a load or e
// waits, the loop is being secured: the commands that would change it do nothing. Keys
// wait for the wait's end (the shell holds them back); a click on a pad or a button
// meanwhile is refused with the wait's toast.
static bool transport_held(AppState* app)
{
    if (!app || !app->engine || app->closing != APP_CLOSING_NONE)
        return true;
    if (!take_waiting(app))
        return false;
    toast_show(app, take_wait_text(app), TOAST_LIGHT_TEAL);
    return true;
}

void transport_record(AppState* app)
{
    if (transport_held(app))
        return;
    Engine* e = app->engine;
    if (!e->playing.load(rl))
        e->playing.store(1, rl);
    if (e->length.load(rl) == 0 && e->record.load(rl)) {
        // The first take: close it into the loop; with overdub on it goes on as an
        // overdub of the new loop.
        e->close_request.store(1, rl);
        if (!app->overdub)
            e->record.store(0, rl);
    } else {
        e->record.store(e->record.load(rl) ? 0 : 1, rl);
    }
    pad_bounce(app, PAD_RECORD, kPressDepth);
}

void transport_play_dir(AppState* app, bool reversed)
{
    if (!app || !app->engine)
        return;
    Engine* e = app->engine;
    if (e->playing.load(rl) && (e->reversed.load(rl) != 0) == reversed) {
        e->playing.store(0, rl);
    } else {
        e->reversed.store(reversed ? 1 : 0, rl);
        e->playing.store(1, rl);
    }
    pad_bounce(app, reversed ? PAD_REVERSE : PAD_FORWARD, kPressDepth);
}

void transport_stop(AppState* app)
{
    if (!app || !app->engine)
        return;
    Engine* e = app->engine;
    e->playing.store(0, rl);
    e->record.store(0, rl);
    loop_seek_fraction(e, 0.0);
    pad_bounce(app, PAD_STOP, kPressDepth);
}

void transport_clear(AppState* app)
{
    if (transport_held(app))
        return;
    transport_end_take(app);
    app->engine->clear_request.store(1, rl);
    toast_show(app, "CLEARED", TOAST_GREY);
    app->flashes[FLASH_CLEARED].value = 1.0f;
    app->shake += 0.6f;
    particles_spawn(&app->particles, 320, kLoopY, 0, -60, 240, 0.7f, 6, TOAST_GREY, 60);
}

void transport_hold_dub(AppState* app, bool down)
{
    if (!app || !app->engine || (down && transport_held(app)))
        return;
    Engine* e = app->engine;
    if (down && !app->hold_dub_held) {
        if (!e->playing.load(rl))
            e->playing.store(1, rl);
        app->hold_dub_held = 1;
        e->hold_dub.store(1, rl);
        app->shake += 0.45f;
        pad_bounce(app, PAD_HOLD_DUB, kHoldDubDepth);
    } else if (!down && app->hold_dub_held) {
        app->hold_dub_held = 0;
        e->hold_dub.store(0, rl);
    }
}

void transport_new_session(AppState* app)
{
    if (transport_held(app))
        return;
    // A take that could not be saved (a full disk) would be lost with the loop: the
    // old loop then stays.
    take_wait_begin(app, TAKE_WAIT_NEW, nullptr);
}

void transport_end_take(AppState* app)
{
    if (!app || !app->engine)
        return;
    Engine* e = app->engine;
    e->record.store(0, rl);
    e->hold_dub.store(0, rl);
    app->hold_dub_held = 0;
}

void transport_new_session_now(AppState* app)
{
    if (!app || !app->engine)
        return;
    transport_end_take(app);
    app->engine->clear_request.store(1, rl);
    app->session_name[0] = '\0';
    app_library_scan(app);
    toast_show(app, "NEW", TOAST_TEAL);
}

void transport_monitor(AppState* app)
{
    if (!app || !app->engine)
        return;
    Engine* e = app->engine;
    bool on = !e->monitor.load(rl);
    e->monitor.store(on ? 1 : 0, rl);
    toast_show(app, on ? "MONITOR ON" : "MONITOR OFF", TOAST_TEAL);
}

void transport_exclusive(AppState* app)
{
    if (!app || !app->engine)
        return;
    Engine* e = app->engine;
    engine_set_exclusive(e, e->exclusive_wanted ? 0 : 1);
    if (!e->exclusive_wanted)
        toast_show(app, "SHARED", TOAST_LIGHT_TEAL);
    else if (e->exclusive_granted)
        toast_show(app, "EXCLUSIVE", TOAST_LIGHT_TEAL);
    else
        toast_show(app, "EXCLUSIVE REFUSED", TOAST_RED);
}

void app_broadcast_set(AppState* app, bool on)
{
    if (!app)
        return;
    if (!app->station) {
        app->broadcast = 0;
        if (on)
            toast_show(app, "NO BROADCAST IN THIS BUILD", TOAST_RED);
        return;
    }
    if (on) {
        if (!tcstream_on_air(app->station) && tcstream_start(app->station) != 0) {
            app->broadcast = 0;
            toast_show(app, "BROADCAST REFUSED - PORT BUSY", TOAST_RED);
            return;
        }
        app->broadcast = 1;
        toast_show(app, "ON AIR", TOAST_TEAL);
        return;
    }
    if (tcstream_on_air(app->station)) {
        tcstream_stop(app->station);
        toast_show(app, "OFF AIR", TOAST_GREY);
    }
    app->broadcast = 0;
}

void app_instrument_unload(AppState* app)
{
    if (!app)
        return;
    // Note-offs first, while the instrument can still take them.
    typing_set(app, false);
    if (app->engine)
        engine_retire_plugin(app->engine, &app->engine->instrument);
}

bool fxslot_remove_vst(AppState* app, int slot)
{
    if (!app || !app->engine || slot < 0 || slot >= ENGINE_SLOTS)
        return false;
    std::atomic<VstPlugin*>* field = &app->engine->slots[slot].plugin;
    if (!field->load(rl))
        return false;
    engine_retire_plugin(app->engine, field);
    return true;
}

void app_set_gain(AppState* app, float gain)
{
    if (!app)
        return;
    app->gain = gain;
    if (app->engine)
        app->engine->gain.store(gain, rl);
}
