// loop_export.cpp - the loop exported as a 16-bit WAV into the takes folder under a
// name no earlier export holds.
#include <cstdio>

#include "app/app_state.h"
#include "app/session_take.h"
#include "app/takes.h"
#include "app/toast.h"
#include "app/transport.h"
#include "audio/engine.h"
#include "audio/loop_file.h"
#include "platform/plat_dir.h"
#include "platform/plat_file.h"
#include "platform/plat_time.h"

// Exports within one second share the time stamp; "-2" .. "-99" tell them apart.
static const int kMaxSameSecond = 99;

bool loop_export_name(const PlatLocalTime* t, int n, char* out, size_t out_cap)
{
    if (!t || !out || out_cap == 0)
        return false;
    char suffix[16] = "";
    if (n > 1)
        snprintf(suffix, sizeof suffix, "-%d", n);
    int len = snprintf(out, out_cap, "tessel-loop-%04d%02d%02d-%02d%02d%02d%s.wav", t->year, t->month, t->day,
                       t->hour, t->minute, t->second, suffix);
    return len > 0 && (size_t)len < out_cap;
}

// The first "<folder>/<name>" no file holds yet.
static bool loop_export_free_path(const char* folder, const PlatLocalTime* t, char* path, size_t cap)
{
    for (int n = 1; n <= kMaxSameSecond; n++) {
        char name[80];
        if (!loop_export_name(t, n, name, sizeof name))
            return false;
        int len = snprintf(path, cap, "%s/%s", folder, name);
        if (len < 0 || (size_t)len >= cap)
            return false;
        if (!plat_path_exists(path))
            return true;
    }
    return false;
}

void transport_export_wav(AppState* app)
{
    if (!app || !app->engine)
        return;
    Engine* e = app->engine;
    if (e->length.load(std::memory_order_relaxed) < 1) {
        toast_show(app, "NOTHING TO EXPORT", TOAST_RED);
        return;
    }
    PlatLocalTime now;
    char path[sizeof app->takes_folder + 80];
    bool ok = app->takes_folder[0] && plat_dir_make(app->takes_folder) && plat_local_time(&now) &&
              loop_export_free_path(app->takes_folder, &now, path, sizeof path) && loop_write_wav16(e, path);
    if (!ok) {
        toast_show(app, "EXPORT FAILED", TOAST_RED);
        return;
    }
    toast_show(app, "EXPORTED WAV", TOAST_TEAL);
    app->flashes[FLASH_EXPORTED].value = 1.0f;
    app_library_scan(app);
}
