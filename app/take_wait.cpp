// take_wait.cpp - waiting for the loop to be secured before n, a load or e acts (see
// take_wait.h).
#include "app/take_wait.h"

#include <cstdio>

#include "app/app_state.h"
#include "app/take_secure.h"
#include "app/takes.h"
#include "app/toast.h"
#include "app/transport.h"
#include "audio/engine.h"

static constexpr auto rl = std::memory_order_relaxed;

// A wait shorter than this shows no toast; a longer one shows it again this often.
static const double kToastAfterSeconds = 0.3;
static const double kToastEverySeconds = 2.0;

const char* take_wait_text(const AppState* app)
{
    return app && app->take_wait == TAKE_WAIT_EXPORT ? "EXPORTING..." : "SAVING TAKE...";
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
    if (app->take_wait == TAKE_WAIT_LOAD)
        take_load_discard(app);
    take_wait_end(app);
}

// What the wait was for, now that the take is in place.
static void take_wait_act(AppState* app)
{
    uint8_t what = app->take_wait;
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
    else if (what == TAKE_WAIT_LOAD)
        take_load_finish_now(app);
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
    double waited = app->ui_time - app->take_wait_secure.settle.began;
    if (waited >= kToastAfterSeconds && app->ui_time - app->take_wait_toast >= kToastEverySeconds) {
        app->take_wait_toast = app->ui_time;
        toast_show(app, take_wait_text(app), TOAST_LIGHT_TEAL);
    }
    uint8_t state = take_secure_step(app, &app->take_wait_secure);
    if (state == TAKE_SECURE_FAILED)
        take_wait_drop(app);
    else if (state == TAKE_SECURE_DONE && app->take_wait == TAKE_WAIT_EXPORT)
        take_wait_end(app);
    else if (state == TAKE_SECURE_DONE)
        take_wait_act(app);
}

bool take_wait_begin(AppState* app, uint8_t what, const char* row_name)
{
    if (!app || !app->engine || app->closing != APP_CLOSING_NONE)
        return false;
    if (take_waiting(app)) {
        toast_show(app, take_wait_text(app), TOAST_LIGHT_TEAL);
        return false;
    }
    Engine* e = app->engine;
    bool to_export = what == TAKE_WAIT_EXPORT;
    // Without a loop there is nothing to export: a first pass still recording goes on
    // (one r has just closed is waited for).
    if (to_export && e->length.load(rl) < 1 && !e->close_request.load(rl)) {
        toast_show(app, "NOTHING TO EXPORT", TOAST_RED);
        return false;
    }
    // n and a load replace the loop: a take still recording ends first. An export
    // reads the loop as it stands while an overdub goes on; after a stop it waits for
    // the fade and the run-out.
    bool recording = e->record.load(rl) || e->hold_dub.load(rl);
    if (!to_export)
        transport_end_take(app);
    app->take_wait = what;
    app->take_wait_toast = -1.0e9;
    snprintf(app->take_wait_row, sizeof app->take_wait_row, "%s", row_name ? row_name : "");
    take_secure_begin(app, &app->take_wait_secure, !(to_export && recording), to_export);
    take_wait_step(app);
    return true;
}
