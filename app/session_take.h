// session_take.h - the session take: the loop written as a 32-bit float WAV into the
// takes folder by a short-lived worker, through a temporary name and a move.
// Threads: UI thread; the writer runs on its own detached thread (or the UI thread when
//          none can start); the busy flag and counters are atomics.
// Depends on: app/app_state.h, app/take_names.h, app/toast.h, app/worker.h,
//             audio/engine.h, audio/loop_file.h, platform/plat_file.h, platform/plat_dir.h,
//             platform/plat_file_stamp.h, platform/plat_named_lock.h, platform/plat_time.h.
#pragma once
#include <cstdint>

struct AppState;
struct LoopLoadLoss;

// Loads the take file name (in the takes folder) into the loop; it becomes the session
// take, which the settings name. Later saves replace the file only when the loop holds
// all it held (loop_load_wav's loss, into *loss when not null) and it is neither an
// export nor a bar loop; otherwise the file stays as it is and the first save starts a
// new take. False when the file could not be loaded (the loop untouched).
bool session_take_load(AppState* app, const char* name, LoopLoadLoss* loss);
// Starts the writer on the loop as the session take when there is a loop and no write
// runs. A session take whose file is no longer the one this copy last read or wrote
// (another running copy saved over it) is left as it is: the loop becomes a new take,
// with a toast. The file is compared and replaced under the takes' lock; when the lock
// cannot be had (held elsewhere through the whole wait, or its folder unusable) the
// loop goes in place as a new take instead, replacing nothing, and the session goes on
// with that take ("TAKE SAVED AS A NEW TAKE: " and why, once until a save has the lock
// again). The session name is picked on the first save of a session. True when the
// write was started (it then runs on; session_wav_writes_failed tells its end).
bool session_wav_save(AppState* app);
bool session_wav_busy(void);
// Waits up to timeout_ms in 5 ms steps for the writer to be idle; whether it is.
bool session_wav_wait(int timeout_ms);
// Raised after each finished write, successful or not, so the update notices a write
// that began and ended within one frame.
uint32_t session_wav_writes_completed(void);
// Raised after each failed write (the previous take file is left as it was).
uint32_t session_wav_writes_failed(void);
// A write another running copy's save of the take kept out (the file changed under its
// name meanwhile): the loop becomes a new take, written again, with the toast "TAKE
// CHANGED ELSEWHERE: NEW TAKE". A write made a new take for want of the lock: the
// session goes on with that take. Called by the update and before a save.
void session_take_follow(AppState* app);
// Test hook: while held, a started writer waits before writing (a stuck disk).
void session_wav_test_hold(bool hold);
