// loop_export.h - the loop exported as a 16-bit WAV into the takes folder under a name
// no earlier export holds, written by a worker of its own and put in place only when
// whole ("EXPORTED WAV", "NOTHING TO EXPORT", "EXPORT FAILED").
// Threads: UI thread; the writer runs on its own thread, reading the loop as a reader
//          the engine does not free under it.
// Depends on: app/app_state.h, app/take_names.h, app/take_wait.h, app/takes.h,
//             app/toast.h, app/transport.h, app/worker.h, audio/engine.h,
//             audio/loop_file.h, platform/plat_dir.h, platform/plat_file.h,
//             platform/plat_time.h.
#pragma once
#include <cstddef>

struct AppState;
struct PlatLocalTime;

// Starts the export's writer on the loop as it stands; false, with the toast, when
// there is nothing to export or it cannot begin.
bool loop_export_start(AppState* app);
// Once the export's writer has ended: its toast, flash and the take list; true then.
bool loop_export_finish(AppState* app);
bool loop_export_busy(void);
// The export's file name for a time, with "-n" before ".wav" when n > 1:
// "tessel-loop-%04d%02d%02d-%02d%02d%02d.wav". False when it does not fit.
bool loop_export_name(const PlatLocalTime* t, int n, char* out, size_t out_cap);
