// loop_export.cpp - the loop exported as a 16-bit WAV into the takes folder under a
// name no earlier export holds, put in place only when whole (see loop_export.h).
#include "app/loop_export.h"

#include <atomic>
#include <cerrno>
#include <cstdio>

#include "app/app_state.h"
#include "app/take_names.h"
#include "app/take_wait.h"
#include "app/takes.h"
#include "app/toast.h"
#include "app/transport.h"
#include "app/worker.h"
#include "audio/engine.h"
#include "audio/loop_file.h"
#include "platform/plat_dir.h"
#include "platform/plat_file.h"
#include "platform/plat_time.h"

// Exports within one second share the time stamp; "-2" .. "-99" tell them apart.
static const int kMaxSameSecond = 99;

bool loop_export_name(const PlatLocalTime* t, int n, char* out, size_t out_cap)
{
    return take_name_stamped("tessel-loop-", t, n, out, out_cap);
}

static bool export_write(void* ctx, FILE* f)
{
    return loop_write_wav16_to((Engine*)ctx, f);
}

// Writes the loop under the first stamped name nothing holds, through a temporary
// file renamed into place only when whole: a killed export leaves no torn take, and
// a name another copy took meanwhile is passed over, never written over. 0, or the
// errno that stopped it.
static int loop_export_write(Engine* e, const char* folder, const PlatLocalTime* t)
{
    for (int n = 1; n <= kMaxSameSecond; n++) {
        char name[80], path[1100];
        if (!loop_export_name(t, n, name, sizeof name))
            return ENAMETOOLONG;
        int len = snprintf(path, sizeof path, "%s/%s", folder, name);
        if (len < 0 || (size_t)len >= sizeof path)
            return ENAMETOOLONG;
        if (take_name_taken(folder, name))
            continue;
        int err = plat_file_write_via_temp(path, false, export_write, e);
        if (err != EEXIST)
            return err;
    }
    return EEXIST;
}

// The export's writer: one at a time, on its own thread, reading the loop as a reader
// the engine does not free under it.
struct ExportJob {
    Worker worker;
    int err = 0;                     // 0, or the errno the write ended with; read once collected
    Engine* engine = nullptr;
    char folder[600] = {};
    PlatLocalTime time{};
};

static ExportJob g_export;

static void export_thread(void* arg)
{
    ExportJob* job = (ExportJob*)arg;
    job->err = loop_export_write(job->engine, job->folder, &job->time);
    engine_loop_reader_leave(job->engine);
    worker_end(&job->worker, job->err == 0);
}

bool loop_export_busy(void)
{
    return worker_running(&g_export.worker);
}

bool loop_export_start(AppState* app)
{
    if (!app || !app->engine || g_export.worker.state.load(std::memory_order_acquire) != WORKER_IDLE)
        return false;
    Engine* e = app->engine;
    if (e->length.load(std::memory_order_relaxed) < 1) {
        toast_show(app, "NOTHING TO EXPORT", TOAST_RED);
        return false;
    }
    ExportJob* job = &g_export;
    bool ok = app->takes_folder[0] && plat_dir_make(app->takes_folder) && plat_local_time(&job->time) &&
              snprintf(job->folder, sizeof job->folder, "%s", app->takes_folder) < (int)sizeof job->folder;
    if (!ok) {
        toast_show(app, "EXPORT FAILED", TOAST_RED);
        return false;
    }
    job->engine = e;
    engine_loop_reader_enter(e);
    worker_start(&job->worker, export_thread, job, "tessel-export");
    return true;
}

bool loop_export_finish(AppState* app)
{
    if (!worker_collect(&g_export.worker))
        return false;
    if (g_export.err) {
        toast_show_failure(app, "EXPORT FAILED", g_export.err);
        return true;
    }
    toast_show(app, "EXPORTED WAV", TOAST_TEAL);
    app->flashes[FLASH_EXPORTED].value = 1.0f;
    app_library_scan(app);
    return true;
}

void transport_export_wav(AppState* app)
{
    if (!app || !app->engine)
        return;
    // A take still recording ends first, and the export reads the loop once its fade
    // and a stop's run-out are over.
    take_wait_begin(app, TAKE_WAIT_EXPORT, nullptr);
}
