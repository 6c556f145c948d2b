// view_status_bar.cpp - the status bar on the last line: the input device with the
// broadcast state on the left, the buffer, rate and latency on the right.
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/panels/main/view.h"
#include "app/panels/main/view_palette.h"
#include "app/panels/main/view_status.h"
#include "audio/engine.h"
#include "broadcast/firewall.h"
#include "broadcast/tcstream.h"
#include "ui/drawkit.h"

static const float kTextScale = 1.4f;
static const float kLineY = 1012.0f;

bool view_status_left_text(const AppState* app, char* out, size_t cap)
{
    if (!out || cap == 0)
        return false;
    out[0] = '\0';
    if (!app)
        return false;
    const Engine* e = app->engine;
    bool running = e && e->running;
    snprintf(out, cap, "%.24s", running ? e->input_name : "AUDIO OFFLINE");
    if (app->station && tcstream_on_air(app->station)) {
        // snprintf keeps the text shorter than cap, so each append has room for its end.
        size_t n = strlen(out);
        int listeners = tcstream_listener_count(app->station);
        if (fw_needs_attention())
            snprintf(out + n, cap - n, "  %s", fw_status_text());
        else if (listeners > 0)
            snprintf(out + n, cap - n, "  ON AIR %d", listeners);
        else
            snprintf(out + n, cap - n, "  ON AIR");
    }
    // A close shows that it waits for the take from its first request on; a failed
    // save stands until a save succeeds.
    size_t n = strlen(out);
    if (app->session_saving || app->closing == APP_CLOSING_SAVE)
        snprintf(out + n, cap - n, "  SAVING");
    else if (app->take_unsaved)
        snprintf(out + n, cap - n, "  TAKE NOT SAVED");
    // The line is red while the stream is offline, and while the loop lives only in
    // memory: a retry that runs meanwhile has not saved it yet.
    return running && !app->take_unsaved;
}

void view_status_right_text(const Engine* e, char* out, size_t cap)
{
    if (!out || cap == 0)
        return;
    out[0] = '\0';
    if (!e)
        return;
    // While a stream runs, the block size its callback really gets: a server may run
    // its own (JACK's period) instead of the one asked for. Offline, the last stream's
    // figures, which belong together (a size chosen since has not run); before any
    // stream ran, the buffer and rate the settings ask for.
    int block = e->running ? engine_block_in_force(e) : e->latency_block;
    if (block <= 0) {
        snprintf(out, cap, "%d @ %.0fK", e->buffer_frames, e->sample_rate / 1000.0);
        return;
    }
    snprintf(out, cap, "%d @ %.0fK  %.1fMS%s", block, e->sample_rate / 1000.0, e->latency_ms,
             e->exclusive_granted ? "  EXCL" : "");
}

void view_status_bar(AppState* app, DrawKit* kit)
{
    if (!app || !kit)
        return;
    char text[VIEW_STATUS_CAP];
    bool calm = view_status_left_text(app, text, sizeof text);
    draw_text(kit, text, app->layout.status_left.x, kLineY, kTextScale, calm ? VIEW_MUTED : VIEW_RED);
    view_status_right_text(app->engine, text, sizeof text);
    draw_text(kit, text, app->layout.status_right.x, kLineY, kTextScale, VIEW_MUTED);
}
