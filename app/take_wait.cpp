// take_wait.cpp - waiting for the loop to be secured before n, a load or e acts (see
// take_wait.h).
#include "app/take_wait.h"

#include <cstdio>

#include "app/app_state.h"
#include "app/session_take.h"
#include "app/take_grid.h"
#include "app/takes.h"
#include "app/toast.h"
#include "app/transport.h"
#include "audio/engine.h"
#include "audio/looper.h"

static constexpr auto rl = std::memory_order_relaxed;

// A wait shorter than this shows no toast; a longer one shows it again this often.
static const double kToastAfterSeconds = 0.3;
static const double kToastEverySeconds = 2.0;

static const char* wait_text(const AppState* app)
{
    return app->take_wait == TAKE_WAIT_EXPORT ? "EXPORTING..." : "SAVING TAKE...";
}

bool take_waiting(const AppState* app)
{
    return app && app->take_wait != TAKE_WAIT_NONE;
}

static void take_wait_end(AppState* app)
{
    app->take_wait = TAKE_WAIT_NONE;
    app->take_wait_row[0] = '\0';
}

// The wait ends without its action: the loop stays as it is.
static void take_wait_drop(AppState* app)
{
    if (app->take_wait == TAKE_WAIT_FILE)
        take_load_discard(app);
    take_wait_end(app);
}

// What the wait was for, now that the take is in place.
static void take_wait_act(AppState* app)
{
    uint8_t what = app->take_wait;
    int32_t segment = app->take_wait_segment;
    char row[sizeof app->take_wait_row];
    snprintf(row, sizeof row, "%s", app->take_wait_row);
    take_wait_end(app);
    // A loop a first pass became meanwhile is cleared or replaced now: it is not
    // announced as set (with the length of what replaces it).
    app->seen_loop_sets = app->engine->loop_set_count.load(rl);
    if (what == TAKE_WAIT_NEW)
        transport_new_session_now(app);
    else if (what == TAKE_WAIT_ROW)
        take_load_row_now(app, row);
    else if (what == TAKE_WAIT_FILE)
        take_load_finish_now(app);
    else if (what == TAKE_WAIT_BARS)
        take_bars_to_loop_now(app, segment);
}

// The session take once the loop has settled; true once it is in place. A write that
// fails drops the wait: the loop stays.
static bool take_wait_write(AppState* app)
{
    int secured = session_take_secure_step(app, &app->take_wait_written, &app->take_wait_failures);
    if (secured < 0)
        take_wait_drop(app);
    return secured > 0;
}

void take_wait_step(AppState* app)
{
    if (!take_waiting(app) || !app->engine)
        return;
    // A close secures the take itself; an export asked for before it still goes on.
    if (app->closing != APP_CLOSING_NONE && app->take_wait != TAKE_WAIT_EXPORT) {
        take_wait_drop(app);
        return;
    }
    double waited = app->ui_time - app->take_wait_settle.began;
    if (waited >= kToastAfterSeconds && app->ui_time - app->take_wait_toast >= kToastEverySeconds) {
        app->take_wait_toast = app->ui_time;
        toast_show(app, wait_text(app), TOAST_LIGHT_TEAL);
    }
    if (app->take_wait == TAKE_WAIT_EXPORT) {
        if (!app->take_wait_written) {
            if (!take_settle_done(app, &app->take_wait_settle))
                return;
            app->take_wait_written = 1;
            if (!loop_export_start(app)) {
                take_wait_end(app);
                return;
            }
        }
        if (loop_export_finish(app))
            take_wait_end(app);
        return;
    }
    if (!app->take_wait_written && !take_settle_done(app, &app->take_wait_settle))
        return;
    if (take_wait_write(app))
        take_wait_act(app);
}

bool take_wait_begin(AppState* app, uint8_t what, const char* row_name, int32_t segment)
{
    if (!app || !app->engine || app->closing != APP_CLOSING_NONE)
        return false;
    if (take_waiting(app)) {
        toast_show(app, wait_text(app), TOAST_LIGHT_TEAL);
        return false;
    }
    app->take_wait = what;
    app->take_wait_written = 0;
    app->take_wait_toast = -1.0e9;
    snprintf(app->take_wait_row, sizeof app->take_wait_row, "%s", row_name ? row_name : "");
    app->take_wait_segment = segment;
    take_settle_begin(app, &app->take_wait_settle);
    take_wait_step(app);
    return true;
}
