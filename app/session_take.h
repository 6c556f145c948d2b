// session_take.h - the session take: the loop written as a 32-bit float WAV into the
// takes folder by a short-lived worker, through a temporary name and a move.
// Threads: session_wav_save, session_wav_wait, take_settle_*, app_close_*,
//          app_save_on_exit: UI thread. The writer runs on its own detached thread
//          (or the UI thread when asked to wait); the busy flag and counters are
//          atomics.
// Depends on: app/app_state.h, app/take_names.h, app/toast.h, app/transport.h,
//             audio/engine.h, audio/loop_file.h, platform/plat_file.h,
//             platform/plat_dir.h, platform/plat_file_stamp.h, platform/plat_thread.h,
//             platform/plat_time.h.
#pragma once
#include <cstdint>

struct AppState;
struct LoopLoadLoss;
struct TakeSettle;

// How long the UI waits for a running writer before it gives up (a stuck disk must
// not freeze the screen).
constexpr int SESSION_WAIT_MS = 3000;

// Loads the take file name (in the takes folder) into the loop. It goes on as the
// session take, later saves replacing it, only when the loop holds all the file held
// (loop_load_wav's loss, into *loss when not null); otherwise the session name is
// emptied, the file stays as it is and the next save starts a new take. False when
// the file could not be loaded (the loop untouched).
bool session_take_load(AppState* app, const char* name, LoopLoadLoss* loss);
// Writes the loop as the session take when there is a loop. A session take whose file
// is no longer the one this copy last read or wrote (another running copy saved over
// it) is left as it is: the loop becomes a new take, with a toast. While a write is running:
// without wait returns at once; with wait waits up to SESSION_WAIT_MS and gives up
// (nothing written, false) when the writer is still busy. With wait the write runs on
// the calling thread. The session name is picked on the first save of a session. True
// when a write was started (or, with wait, done successfully).
bool session_wav_save(AppState* app, bool wait);
bool session_wav_busy(void);
// Waits up to timeout_ms in 5 ms steps for the writer to be idle; whether it is.
bool session_wav_wait(int timeout_ms);
// Raised after each finished write, successful or not, so the update notices a write
// that began and ended within one frame.
uint32_t session_wav_writes_completed(void);
// Raised after each failed write (the previous take file is left as it was).
uint32_t session_wav_writes_failed(void);
// Ends a take still recording as r ends it (a first pass becomes the loop with its
// seam cross-faded, an overdub fades out) and starts the wait for the loop to settle.
void take_settle_begin(AppState* app, TakeSettle* s);
// Whether the loop has stopped changing: two audio blocks have ended without writing
// it (the recording's fade and a stop's run-out are over), no stream runs, or the wait
// has lasted long enough for a stalled stream. Never blocks.
bool take_settle_done(AppState* app, TakeSettle* s);
// One step of securing the session take once the loop has settled, for the close and
// for n, a load or e: waits for a running writer, then writes the loop when it changed
// since the last take (again when it changed while written). written and failures are
// the caller's record of its own write. 1 once the take is in place (or there was
// nothing to write), 0 while it is written, -1 when the write failed or could not
// begin ("TAKE NOT SAVED"). Never blocks.
int session_take_secure_step(AppState* app, uint8_t* written, uint32_t* failures);
// A close request (the close button, SIGTERM) at now, in seconds. The first begins the
// close (app_close_begin). Requests within a second of it are the same close. A later
// one before the close's write began (and while no write runs) skips the fade's wait;
// otherwise, a write already under way or the close's write failed, the program ends
// at once (APP_CLOSING_NOW; the next start puts back what the killed writer left
// whole). True when the program is to end now.
bool app_close_request(AppState* app, double now);
// The first close request: closing becomes APP_CLOSING_SAVE, and a take still
// recording is ended as r ends it.
void app_close_begin(AppState* app);
// Each frame from the first close request on: once the loop has settled, waits for a
// running writer, then writes the session take when the loop changed. True once the
// take is in place (or there was nothing to write), or at once for APP_CLOSING_NOW:
// the program may end. A failed write leaves APP_CLOSING_FAILED with "TAKE NOT SAVED":
// false from then on, the window stays. Never blocks.
bool app_close_step(AppState* app);
// At exit: nothing after APP_CLOSING_NOW. Otherwise waits for a running writer, for
// as long as it takes, and writes the session take when the loop changed and no
// close step wrote it.
void app_save_on_exit(AppState* app);

// Test hook: while held, a started writer waits before writing (a stuck disk).
void session_wav_test_hold(bool hold);
