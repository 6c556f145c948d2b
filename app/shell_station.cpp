// shell_station.cpp - the station and the firewall check wired into the shell.
#include "app/shell_station.h"

#include "app/app_state.h"
#include "app/shell.h"
#include "app/transport.h"
#include "audio/engine.h"
#include "broadcast/firewall.h"
#include "broadcast/tcstream.h"

static Station g_station;

Station* shell_station_record(void)
{
    return &g_station;
}

void app_broadcast_tap(void* ctx, const float* samples, int32_t frames, int32_t rate)
{
    tcstream_feed((Station*)ctx, samples, frames, (double)rate);
}

// The engine's latency (input and output, ms) as the listeners' stamps are offset by.
// A stream that never opened has no rate and leaves the latency as it is.
static void set_latency(ShellCtx* sh)
{
    Engine* e = sh->engine;
    sh->station.seen_stamp = e->stream_stamp;
    if (e->sample_rate > 0.0)
        tcstream_set_latency_ns(&g_station, (int64_t)(e->latency_ms * 1000000.0));
}

void shell_station_start(ShellCtx* sh)
{
    AppState* app = sh->app;
    sh->station = ShellStation{};
    if (tcstream_init(&g_station, "tessel", "Tessel", "output", "out", TCSTREAM_PORT, sh->folders.data) != 0)
        return;
    sh->station.ready = true;
    app->station = &g_station;
    set_latency(sh);
    // The context goes in ahead of the function: the callback may already run.
    engine_set_output_tap(sh->engine, app_broadcast_tap, &g_station);
    if (app->broadcast)
        app_broadcast_set(app, true);
}

void shell_station_live(ShellCtx* sh)
{
    if (sh->station.ready)
        tcstream_set_live(&g_station, sh->engine->running ? 1 : 0);
}

void shell_station_firewall(ShellCtx* sh, double t)
{
    const AppState* app = sh->app;
    bool on_air = app->station && tcstream_on_air(app->station);
    if (on_air && !fw_was_checked())
        fw_ensure_rule(t);
    else if (!on_air && fw_was_checked())
        fw_reset();
    fw_poll(t);
}

void shell_station_follow_stream(ShellCtx* sh)
{
    if (sh->station.ready && sh->engine->stream_stamp != sh->station.seen_stamp)
        set_latency(sh);
}

void shell_station_stop(ShellCtx* sh)
{
    if (!sh->station.ready)
        return;
    // The tap stays in the engine; the stream has stopped, and a station off air
    // takes no block, so nothing reaches the freed ring.
    tcstream_shutdown(&g_station);
    sh->station.ready = false;
    sh->app->station = nullptr;
}
