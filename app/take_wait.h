// take_wait.h - n, a LOOPS row, a decoded file, bars of a take and e wait for the loop to be secured
// without holding up the frame loop: a take still recording is ended through its ramp,
// its fade and a stop's run-out are waited for, a changed loop goes to the session
// take's writer (e: to the export's writer), and the clear, the load or the export's
// toast follows once that is done. A toast says what is waited for.
// Threads: UI thread only; the writers run on their own threads.
// Depends on: app/app_state.h, app/session_take.h, app/take_grid.h, app/takes.h,
//             app/toast.h, app/transport.h, audio/engine.h, audio/looper.h.
#pragma once
#include <cstdint>

struct AppState;

// Begins a wait for what (TAKE_WAIT_*; row_name: the LOOPS row's file name; segment:
// the bars') and takes its first step at once. False when refused: the program
// closes, or another wait runs (the toast then says what that one waits for).
bool take_wait_begin(AppState* app, uint8_t what, const char* row_name, int32_t segment = -1);
// Each frame, from the update: the wait's next step. A close ends the wait (the close
// secures the take itself), except an export's, which the close waits for. A write
// that fails keeps the loop ("TAKE NOT SAVED").
void take_wait_step(AppState* app);
// Whether a wait runs: keys are then held back until it ends, in their order.
bool take_waiting(const AppState* app);
