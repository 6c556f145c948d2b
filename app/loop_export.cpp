// loop_export.cpp - the loop exported as a 16-bit WAV into the takes folder under a
// name no earlier export holds, put in place only when whole.
#include <cerrno>
#include <cstdio>

#include "app/app_state.h"
#include "app/session_take.h"
#include "app/take_names.h"
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
    return take_name_stamped("tessel-loop-", t, n, out, out_cap);
}

static bool export_write(void* ctx, FILE* f)
{
    return loop_write_wav16_to((Engine*)ctx, f);
}

// Writes the loop under the first stamped name nothing holds, through a temporary
// file renamed into place only when whole: a killed export leaves no torn take, and
// a name another copy took meanwhile is passed over, never written over.
static bool loop_export_write(Engine* e, const char* folder, const PlatLocalTime* t)
{
    for (int n = 1; n <= kMaxSameSecond; n++) {
        char name[80], path[1100];
        if (!loop_export_name(t, n, name, sizeof name))
            return false;
        int len = snprintf(path, sizeof path, "%s/%s", folder, name);
        if (len < 0 || (size_t)len >= sizeof path)
            return false;
        if (take_name_taken(folder, name))
            continue;
        int err = plat_file_write_via_temp(path, false, export_write, e);
        if (err != EEXIST)
            return err == 0;
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
    bool ok = app->takes_folder[0] && plat_dir_make(app->takes_folder) && plat_local_time(&now) &&
              loop_export_write(e, app->takes_folder, &now);
    if (!ok) {
        toast_show(app, "EXPORT FAILED", TOAST_RED);
        return;
    }
    toast_show(app, "EXPORTED WAV", TOAST_TEAL);
    app->flashes[FLASH_EXPORTED].value = 1.0f;
    app_library_scan(app);
}
