// shell_lost.cpp - the X server gone: the take saved without a window, then the end
// (see shell_display_lost in shell.h).
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/app_close.h"
#include "app/app_state.h"
#include "app/settings.h"
#include "app/shell.h"
#include "audio/engine.h"
#include "platform/plat_time.h"

// The close's steps without a window: the update runs (writes, waits and their
// counters) but nothing is drawn or asked of the window system. A failed write is
// tried once more, as a second close would, and ends the close either way.
static void shell_lost_close(ShellCtx* sh)
{
    AppState* app = sh->app;
    app_close_begin(app);
    double prev = sh->clock();
    for (;;) {
        double t = sh->clock();
        app->ui_time = t;
        engine_watch(sh->engine);
        app_update(app, (float)std::min(t - prev, (double)SHELL_MAX_DT));
        prev = t;
        if (app->closing == APP_CLOSING_NONE)
            app_close_begin(app);   // the first write failed: the second close's
        if (app_close_step(app))
            return;
        plat_sleep_ms(5);
    }
}

void shell_display_lost(void* ctx)
{
    ShellCtx* sh = (ShellCtx*)ctx;
    fprintf(stderr, "tessel: the display was lost: saving the take without a window\n");
    if (sh && sh->app && sh->app->engine && !sh->take_steps_done) {
        shell_lost_close(sh);
        app_save_on_exit(sh->app);
        sh->take_steps_done = true;
        settings_save(sh->app);
        shell_rigs_flush(sh);
        engine_stop(sh->engine);
    }
    fprintf(stderr, "tessel: ended: the display was lost\n");
    fflush(stderr);
    std::_Exit(1);
}
