// session_take.cpp - the session take writer (see session_take.h).
#include "app/session_take.h"

#include <atomic>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "audio/engine.h"
#include "audio/loop_file.h"
#include "platform/plat_dir.h"
#include "platform/plat_file.h"
#include "platform/plat_thread.h"
#include "platform/plat_time.h"

static constexpr auto rl = std::memory_order_relaxed;

struct SessionWriter {
    std::atomic<int32_t> busy{0};
    std::atomic<uint32_t> completed{0};
    std::atomic<uint32_t> failed{0};
    std::atomic<bool> hold{false};
    Engine* engine = nullptr;
    char path[700] = {};
};

static SessionWriter g_writer;

static void session_wav_thread(void* arg)
{
    SessionWriter* w = (SessionWriter*)arg;
    while (w->hold.load(std::memory_order_acquire))
        plat_sleep_ms(1);
    char temp[sizeof w->path + 8];
    int n = snprintf(temp, sizeof temp, "%s.tmp", w->path);
    bool ok = n > 0 && (size_t)n < sizeof temp && loop_write_wav_float(w->engine, temp);
    if (ok)
        ok = plat_file_replace(temp, w->path);
    if (!ok) {
        plat_file_remove_regular(temp);
        w->failed.fetch_add(1, std::memory_order_release);
    }
    w->completed.fetch_add(1, std::memory_order_release);
    w->busy.exchange(0, std::memory_order_acq_rel);
}

bool session_wav_busy(void)
{
    return g_writer.busy.load(std::memory_order_acquire) != 0;
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
    return g_writer.completed.load(std::memory_order_acquire);
}

uint32_t session_wav_writes_failed(void)
{
    return g_writer.failed.load(std::memory_order_acquire);
}

void session_wav_test_hold(bool hold)
{
    g_writer.hold.store(hold, std::memory_order_release);
}

bool session_wav_save(AppState* app, bool wait)
{
    if (!app || !app->engine)
        return false;
    if (session_wav_busy()) {
        if (!wait || !session_wav_wait(SESSION_WAIT_MS))
            return false;
    }
    Engine* e = app->engine;
    if (e->length.load(rl) < 1)
        return false;
    if (app->session_name[0] == '\0') {
        PlatLocalTime t{};
        plat_local_time(&t);
        snprintf(app->session_name, sizeof app->session_name, "tessel-%04d%02d%02d-%02d%02d%02d.wav", t.year,
                 t.month, t.day, t.hour, t.minute, t.second);
    }
    plat_dir_make(app->takes_folder);
    int n = snprintf(g_writer.path, sizeof g_writer.path, "%s/%s", app->takes_folder, app->session_name);
    if (n < 0 || (size_t)n >= sizeof g_writer.path)
        return false;
    // Taken before writing: a change made while the file is written is saved next time.
    app->session_gen_saved = e->content_generation.load(rl);
    g_writer.engine = e;
    g_writer.busy.exchange(1, std::memory_order_acq_rel);
    uint32_t failed = session_wav_writes_failed();
    if (!wait && plat_thread_start_detached(session_wav_thread, &g_writer, "tessel-session"))
        return true;
    session_wav_thread(&g_writer);
    return session_wav_writes_failed() == failed;
}

void app_save_on_exit(AppState* app)
{
    if (!app || !app->engine)
        return;
    if (app->engine->content_generation.load(rl) != app->session_gen_saved)
        session_wav_save(app, true);
    session_wav_wait(SESSION_WAIT_MS);
}
