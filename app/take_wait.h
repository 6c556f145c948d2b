// take_wait.h - n, a LOOPS row, a decoded file, bars of a take and e wait for the loop
// to be secured (take_secure.h) without holding up the frame loop. n and a load first
// end a take still recording through its ramp, since they replace the loop anyway; e
// leaves the transport as it is. The clear, the load or the export's toast follows
// once the take is in place. A toast says what is waited for.
// Threads: UI thread only; the writers run on their own threads.
// Depends on: app/app_state.h, app/take_secure.h, app/takes.h, app/toast.h,
//             app/transport.h, audio/engine.h.
#pragma once
#include <cstdint>

struct AppState;

// Begins a wait for what (TAKE_WAIT_*; row_name: the LOOPS row's file name) and takes
// its first step at once. False when refused: the program
// closes, another wait runs (the toast then says what that one waits for), or e finds
// nothing to export ("NOTHING TO EXPORT": no loop yet, a first pass still recording).
bool take_wait_begin(AppState* app, uint8_t what, const char* row_name);
// Each frame, from the update: the wait's next step. A close ends the wait (the close
// secures the take itself), except an export's, which the close waits for. A write
// that fails keeps the loop ("TAKE NOT SAVED").
void take_wait_step(AppState* app);
// Whether a wait runs: keys are then held back until it ends, in their order.
bool take_waiting(const AppState* app);
// What the running wait shows: "EXPORTING..." or "SAVING TAKE...".
const char* take_wait_text(const AppState* app);
