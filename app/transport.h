// transport.h - the transport commands of the main view (record, play, stop, clear,
// hold-dub, export, new session) and the switches beside them (monitor, exclusive
// mode, broadcast, plug-in removal), each with its toast, bounce, flash or burst.
// While the program closes (AppState closing), or n, a load or e waits for the loop
// to be secured, record, clear, new session and a hold-dub press do nothing (during a
// wait a toast says what it waits for).
// Threads: UI thread only. Engine flags and requests are single relaxed stores the
// callback reads at its next block; plug-ins leave through the host's retire.
// Depends on: app/app_state.h, app/toast.h, app/musical_typing.h,
//             audio/engine.h, audio/engine_retire.h, audio/looper.h, audio/loop_file.h,
//             broadcast/tcstream.h.
#pragma once
#include <cstddef>
#include <cstdint>

struct AppState;

// r: plays when stopped; while the first take records, asks the loop to close and
// keeps recording only with overdub on; otherwise flips recording.
void transport_record(AppState* app);
// Stops when already playing in that direction, else sets it and plays.
void transport_play_dir(AppState* app, bool reversed);
// Stops playing and recording and seeks to the start (hold-dub is left as it is).
void transport_stop(AppState* app);
// Recording and hold-dub off, the loop cleared: "CLEARED", a flash, a shake, a burst.
void transport_clear(AppState* app);
// Press and release of the hold-dub key or pad.
void transport_hold_dub(AppState* app, bool down);
// The loop as a 16-bit WAV in the takes folder (made with its parents), written by a
// worker (loop_export.h). The transport is left as it is: during an overdub the loop
// is exported as it stands and the overdub goes on; after a stop the export waits for
// the fade and the run-out (take_wait.h). "NOTHING TO EXPORT" without a loop (a first
// pass still recording too), "EXPORT FAILED" when it cannot begin, "EXPORT FAILED: "
// and the reason when the write fails (no file left behind).
void transport_export_wav(AppState* app);
// Ends a take still recording as r ends it: a first pass becomes the loop with its
// seam cross-faded, an overdub fades out; the hold-dub ends too.
void transport_end_take(AppState* app);
// Once the loop is secured (take_wait.h), clears it and starts a new session name.
void transport_new_session(AppState* app);
// The clear and the new session name, now.
void transport_new_session_now(AppState* app);
// m: flips monitoring.
void transport_monitor(AppState* app);
// x: asks for exclusive mode flipped; the stream reopens.
void transport_exclusive(AppState* app);
// w: puts the station on or off air.
void app_broadcast_set(AppState* app, bool on);

// Ends musical typing (note-offs for every held note), then retires the instrument.
void app_instrument_unload(AppState* app);
// Retires the slot's plug-in; false when the slot held none.
bool fxslot_remove_vst(AppState* app, int slot);

// Sets the input gain in the AppState and the engine.
void app_set_gain(AppState* app, float gain);
