// session_take.cpp - the session take writer (see session_take.h).
#include "app/session_take.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/take_names.h"
#include "app/toast.h"
#include "app/worker.h"
#include "audio/engine.h"
#include "audio/loop_file.h"
#include "platform/plat_dir.h"
#include "platform/plat_file.h"
#include "platform/plat_file_stamp.h"
#include "platform/plat_named_lock.h"
#include "platform/plat_time.h"

static constexpr auto rl = std::memory_order_relaxed;

// How long a save waits for another running copy to finish putting a take in place;
// the lock is held only to compare and move.
static const int kTakeLockWaitMs = 2000;

struct SessionWriter {
    Worker worker;
    std::atomic<uint32_t> elsewhere{0};   // writes another copy's save of the take kept out
    std::atomic<uint32_t> lockless{0};    // writes made a new take for want of the lock
    std::atomic<uint32_t> locked{0};      // writes put in place under the lock
    std::atomic<bool> hold{false};
    Engine* engine = nullptr;
    char folder[600] = {};
    char path[700] = {};
    char lock_folder[600] = {};
    PlatNamedLock lock = {-1};
    bool lock_tried = false;              // this write has asked for the lock
    int lock_err = 0;                     // why it was not had: an errno, -1 held elsewhere
    char new_name[80] = {};               // the new take a write without the lock became (a session name)
    bool changed = false;                 // the take was not the file this copy expected
    PlatFileStamp expected = {};          // the take's file as this copy last read or wrote it
    PlatFileStamp written = {};           // the file as this write made it
    PlatFileStamp* stamp_out = nullptr;   // where a write that is in place leaves it
};

static SessionWriter g_writer;

// The file this copy expects to replace is noted with the temporary, for the start-up
// sweep when the write never ends. The stamp is taken before the file is moved into
// place: it is what this copy expects to find under the take's name at its next save.
static bool session_write(void* ctx, FILE* f)
{
    SessionWriter* w = (SessionWriter*)ctx;
    plat_file_stamp_note(f, &w->expected);   // where notes cannot be kept, the sweep keeps it apart
    return loop_write_wav_float_to(w->engine, f) && plat_file_stamp_of(f, &w->written);
}

// Once the new take is whole: under the lock every running copy takes to put a take
// in place, the file is looked at again; only when it is still the one this copy
// expects does the new one go over it. The lock is released after the move. Without
// the lock nothing may be replaced: the loop goes in place as a take of its own,
// under a name nothing has.
static PlatGateAnswer session_gate(void* ctx, char* elsewhere, size_t cap)
{
    SessionWriter* w = (SessionWriter*)ctx;
    if (!w->lock_tried) {
        w->lock_tried = true;
        int err = 0;
        PlatLockResult r = plat_named_lock_take(w->lock_folder, TAKE_LOCK_NAME, kTakeLockWaitMs, &w->lock, &err);
        w->lock_err = r == PLAT_LOCK_TAKEN ? 0 : r == PLAT_LOCK_TIMEOUT ? -1 : err ? err : EIO;
    }
    if (w->lock_err == 0) {
        PlatFileStamp now;
        plat_file_stamp(w->path, &now);
        w->changed = !plat_file_stamp_equal(&now, &w->expected);
        return w->changed ? PLAT_GATE_REFUSE : PLAT_GATE_REPLACE;
    }
    PlatLocalTime t{};
    if (!plat_local_time(&t) || !take_name_free(w->folder, "tessel-", &t, w->new_name, sizeof w->new_name))
        return PLAT_GATE_REFUSE;
    int n = snprintf(elsewhere, cap, "%s/%s", w->folder, w->new_name);
    return n > 0 && (size_t)n < cap ? PLAT_GATE_ELSEWHERE : PLAT_GATE_REFUSE;
}

static void session_wav_thread(void* arg)
{
    SessionWriter* w = (SessionWriter*)arg;
    while (w->hold.load(std::memory_order_acquire))
        plat_sleep_ms(1);
    w->changed = false;
    w->lock_tried = false;
    w->lock_err = 0;
    bool ok = plat_file_write_via_temp_gated(w->path, session_write, session_gate, w) == 0;
    plat_named_lock_release(&w->lock);
    // The loop is no longer read: the engine may free it from here on.
    engine_loop_reader_leave(w->engine);
    if (ok)
        *w->stamp_out = w->written;   // read by the UI only once the run has ended
    if (ok)
        (w->lock_err ? w->lockless : w->locked).fetch_add(1, std::memory_order_release);
    if (w->changed)
        w->elsewhere.fetch_add(1, std::memory_order_release);
    // A save another copy's kept out is no failure: the loop goes to a new take.
    worker_end(&w->worker, ok || w->changed);
}

bool session_wav_busy(void)
{
    return worker_running(&g_writer.worker);
}

bool session_wav_wait(int timeout_ms)
{
    for (int waited = 0; session_wav_busy(); waited += 5) {
        if (waited >= timeout_ms)
            return false;
        plat_sleep_ms(5);
    }
    return true;
}

uint32_t session_wav_writes_completed(void)
{
    return g_writer.worker.ends.load(std::memory_order_acquire);
}

uint32_t session_wav_writes_failed(void)
{
    return g_writer.worker.failures.load(std::memory_order_acquire);
}

// A write that could not have the lock made the loop a new take: the session goes on
// with it. Why is said once, until a save has the lock again.
static void session_follow_lockless(AppState* app)
{
    uint32_t locked = g_writer.locked.load(std::memory_order_acquire);
    if (locked != app->session_locked_seen) {
        app->session_locked_seen = locked;
        app->session_lockless_told = 0;
    }
    uint32_t lockless = g_writer.lockless.load(std::memory_order_acquire);
    if (lockless == app->session_lockless_seen)
        return;
    app->session_lockless_seen = lockless;
    snprintf(app->session_name, sizeof app->session_name, "%s", g_writer.new_name);
    const char* why = g_writer.lock_err < 0 ? "another copy holds the lock" : std::strerror(g_writer.lock_err);
    fprintf(stderr, "tessel: the takes' lock was not had (%s): the loop went to %s as a new take\n", why,
            app->session_name);
    if (!app->session_lockless_told)
        toast_show_because(app, "TAKE SAVED AS A NEW TAKE", why, TOAST_YELLOW);
    app->session_lockless_told = 1;
}

void session_take_follow(AppState* app)
{
    if (!app || !app->engine || session_wav_busy())
        return;
    session_follow_lockless(app);
    uint32_t elsewhere = g_writer.elsewhere.load(std::memory_order_acquire);
    if (elsewhere == app->session_elsewhere_seen)
        return;
    app->session_elsewhere_seen = elsewhere;
    // What the other copy saved stays; this loop is not on disk yet: it is written
    // again under a name of its own.
    app->session_name[0] = '\0';
    app->session_gen_saved = app->engine->content_generation.load(rl) - 1u;
    toast_show(app, "TAKE CHANGED ELSEWHERE: NEW TAKE", TOAST_YELLOW);
}

void session_wav_test_hold(bool hold)
{
    g_writer.hold.store(hold, std::memory_order_release);
}

// The session take's path into out; false when it does not fit.
static bool session_take_path(const AppState* app, const char* name, char* out, size_t cap)
{
    int n = snprintf(out, cap, "%s/%s", app->takes_folder, name);
    return n >= 0 && (size_t)n < cap;
}

// Whether the session take's file is still the one this copy last read or wrote (or,
// for a name just picked, still absent).
static bool session_take_unchanged(const AppState* app)
{
    char path[sizeof g_writer.path];
    PlatFileStamp now;
    if (!session_take_path(app, app->session_name, path, sizeof path))
        return false;
    plat_file_stamp(path, &now);
    return plat_file_stamp_equal(&now, &app->session_stamp);
}

bool session_take_load(AppState* app, const char* name, LoopLoadLoss* loss)
{
    char path[sizeof g_writer.path];
    LoopLoadLoss lost{};
    PlatFileStamp seen;
    bool ok = session_take_path(app, name, path, sizeof path);
    // Stamped before it is read: a save another copy makes meanwhile counts as theirs.
    plat_file_stamp(ok ? path : nullptr, &seen);
    ok = ok && loop_load_wav(app->engine, path, &lost);
    if (loss)
        *loss = lost;
    // Saved back, the loop gives the file all it held only at the file's own rate, with
    // one or two channels, uncut. A name the session name cannot hold whole is not taken,
    // so a file named like its beginning is never overwritten.
    if (ok && std::strlen(name) < sizeof app->session_name) {
        if (name != app->session_name)
            snprintf(app->session_name, sizeof app->session_name, "%s", name);
        app->session_stamp = seen;
        // The session goes on naming the file (a start restores it), but a loop that
        // does not hold all of it, an export or a bar loop, is never saved over it:
        // its first save starts a new take.
        app->session_keep_file = loop_load_loss_any(&lost) || take_name_is_kept_copy(name);
    } else {
        app->session_name[0] = '\0';
    }
    return ok;
}

bool session_wav_save(AppState* app)
{
    if (!app || !app->engine)
        return false;
    if (session_wav_busy())
        return false;
    Engine* e = app->engine;
    if (e->length.load(rl) < 1)
        return false;
    plat_dir_make(app->takes_folder);
    session_take_follow(app);
    if (app->session_keep_file) {
        app->session_keep_file = 0;
        app->session_name[0] = '\0';
    }
    // The take goes on under its name only while the file is the one this copy last
    // read or wrote: another running copy on the same take may have saved over it, and
    // what that copy wrote is not replaced (looked at again under the take's lock before
    // the move).
    if (app->session_name[0] && !session_take_unchanged(app)) {
        app->session_name[0] = '\0';
        toast_show(app, "TAKE CHANGED ELSEWHERE: NEW TAKE", TOAST_YELLOW);
    }
    bool same_take = app->session_name[0] != '\0';
    // A new session's take never lands on a file that exists: another session's take
    // of the same second, or one another running copy writes.
    PlatLocalTime t{};
    if (app->session_name[0] == '\0' &&
        !(plat_local_time(&t) &&
          take_name_free(app->takes_folder, "tessel-", &t, app->session_name, sizeof app->session_name))) {
        app->session_name[0] = '\0';
        return false;
    }
    if (!same_take)
        app->session_stamp = PlatFileStamp{};   // a new name: no file is expected there
    if (!session_take_path(app, app->session_name, g_writer.path, sizeof g_writer.path))
        return false;
    char temp[sizeof g_writer.path + 16];   // the temporary's name must fit too
    if (!plat_file_temp_path(g_writer.path, temp, sizeof temp))
        return false;
    // Taken before writing: a change made while the file is written is saved next time.
    app->session_gen_saved = e->content_generation.load(rl);
    g_writer.engine = e;
    g_writer.expected = app->session_stamp;
    g_writer.stamp_out = &app->session_stamp;
    snprintf(g_writer.folder, sizeof g_writer.folder, "%s", app->takes_folder);
    snprintf(g_writer.lock_folder, sizeof g_writer.lock_folder, "%s",
             app->data_folder[0] ? app->data_folder : app->takes_folder);
    engine_loop_reader_enter(e);
    worker_start(&g_writer.worker, session_wav_thread, &g_writer, "tessel-session");
    return true;
}

