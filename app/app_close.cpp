// app_close.cpp - the close of the program (see app_close.h).
#include "app/app_close.h"

#include "app/app_state.h"
#include "app/loop_export.h"
#include "app/session_take.h"
#include "app/take_secure.h"
#include "app/transport.h"
#include "audio/engine.h"
#include "platform/plat_time.h"

static constexpr auto rl = std::memory_order_relaxed;

// Close requests this close to the first are the same close.
static const double kSameCloseSeconds = 1.0;
// Writes at exit: the loop, and again after another copy's save kept one out (its
// next is a new take, which nothing else holds).
static const int kExitWrites = 3;

void app_close_begin(AppState* app)
{
    if (!app || !app->engine || app->closing != APP_CLOSING_NONE)
        return;
    app->closing = APP_CLOSING_SAVE;
    app->closing_asked = app->ui_time;
    // A first pass becomes the loop with its seam cross-faded, an overdub fades out;
    // the take is written after the fade.
    transport_end_take(app);
    take_secure_begin(app, &app->closing_secure, true, false);
}

bool app_close_request(AppState* app, double now)
{
    if (!app || !app->engine)
        return true;
    if (app->closing == APP_CLOSING_NONE) {
        app_close_begin(app);
        app->closing_asked = now;
        return false;
    }
    if (app->closing == APP_CLOSING_SAVE && now - app->closing_asked >= kSameCloseSeconds)
        app->closing_secure.hurry = 1;
    return false;
}

bool app_close_step(AppState* app)
{
    if (!app || !app->engine || app->closing == APP_CLOSING_END)
        return true;
    if (app->closing != APP_CLOSING_SAVE)
        return false;
    // An export asked for before the close is waited for too.
    if (loop_export_busy() || app->take_wait == TAKE_WAIT_EXPORT)
        return false;
    uint8_t state = take_secure_step(app, &app->closing_secure);
    if (state == TAKE_SECURE_FAILED && !app->close_failed) {
        app->close_failed = 1;
        app->closing = APP_CLOSING_NONE;
        return false;
    }
    if (state != TAKE_SECURE_DONE && state != TAKE_SECURE_FAILED)
        return false;
    app->closing = APP_CLOSING_END;
    return true;
}

void app_save_on_exit(AppState* app)
{
    if (!app || !app->engine)
        return;
    // A second close whose write failed too ends at once.
    if (app->closing == APP_CLOSING_END && app->closing_secure.state == TAKE_SECURE_FAILED)
        return;
    while (loop_export_busy())
        plat_sleep_ms(5);
    // A write that another copy's save of the take kept out leaves the loop unsaved
    // (session_take_follow): it is written again, as a new take, like every save.
    for (int i = 0; i < kExitWrites; i++) {
        while (!session_wav_wait(1000))
            continue;
        session_take_follow(app);
        if (app->engine->content_generation.load(rl) == app->session_gen_saved || !session_wav_save(app))
            return;
    }
    while (!session_wav_wait(1000))
        continue;
}
