// shell_station.h - the broadcast side of the shell: the station made at start-up with
// the engine's output tap, its live flag every frame, its latency at every new
// stream, the firewall check while it is on air, and its end after the stream stops.
// Threads: UI thread, except app_broadcast_tap (audio thread).
// Depends on: broadcast/tcstream.h, broadcast/firewall.h, audio/engine.h,
//             app/app_state.h, app/shell.h.
#pragma once
#include <cstdint>

struct ShellCtx;

// What the shell keeps for the station; all 0 at start.
struct ShellStation {
    bool ready;                 // tcstream_init returned 0
    uint32_t seen_stamp;        // the engine's stream stamp whose latency was set last
};

// The engine's output tap: one block of the program's output, passed on to the
// station (the context) with the rate as a double. [audio thread]
void app_broadcast_tap(void* ctx, const float* samples, int32_t frames, int32_t rate);

// Start-up: the station, its latency, the tap, and on air when the settings say so.
void shell_station_start(ShellCtx* sh);
// Frame: the live flag follows the engine's running flag.
void shell_station_live(ShellCtx* sh);
// Frame: the firewall check while on air, its reset off air, its poll.
void shell_station_firewall(ShellCtx* sh, double t);
// Frame: a new stream (a new stamp) sets the latency again.
void shell_station_follow_stream(ShellCtx* sh);
// Shutdown, after the stream stopped: off air, buffers freed.
void shell_station_stop(ShellCtx* sh);
// The station record the shell uses (for tests).
struct Station* shell_station_record(void);
