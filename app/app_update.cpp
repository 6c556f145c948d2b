// app_update.cpp - the per-frame update: engine counters into toasts, flashes and
// particles; meters, clip lights, springs and pulses; the loop's waveform overview;
// the session-take and settings autosaves.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/app_state.h"
#include "app/meter.h"
#include "app/settings.h"
#include "app/session_take.h"
#include "app/take_wait.h"
#include "app/takes.h"
#include "app/toast.h"
#include "app/vst_picker.h"
#include "audio/engine.h"
#include "audio/looper.h"

static const float kSessionRetrySeconds = 5.0f;   // extra stillness before a retry
static const float kSessionQuietSeconds = 0.6f;
static const float kSettingsPeriod = 0.5f;
static const float kOverviewPeriod = 1.0f / 30.0f;
static const float kOverviewFloor = 0.05f;      // the overview's normaliser never goes below
static const float kRecordPhaseRate = 3.4f;
static const float kSparkRate = 192.0f;         // recording sparks per second, on average
static const float kLoopY = 221.0f;             // the loop display's centre line

static const auto rl = std::memory_order_relaxed;

static void pulse_fall(Pulse* p, float dt)
{
    if (!(p->value > 0.0f))
        return;
    float duration = p->duration > 0.0f ? p->duration : 0.3f;
    p->value = std::max(0.0f, p->value - dt / duration);
}

// Steps 1 to 4: the session take after the loop has been still, the settings file
// when its text changed.
static void app_autosave(AppState* app, Engine* e, float dt)
{
    // A finished write (even one that began and ended within the last frame) shows
    // up as a new completed-writes count: the take list is rescanned.
    session_take_follow(app);
    uint32_t writes = session_wav_writes_completed();
    if (writes != app->session_writes_seen) {
        app->session_writes_seen = writes;
        uint32_t failed = session_wav_writes_failed();
        if (failed != app->session_failures_seen) {
            app->session_failures_seen = failed;
            app->take_unsaved = 1;
            toast_show(app, "TAKE NOT SAVED", TOAST_RED);
            // The take lives only in memory now: write it again once the loop has
            // been still for a while longer, even if it never changes again.
            app->session_gen_saved = e->content_generation.load(rl) - 1u;
            app->session_quiet = -kSessionRetrySeconds;
        } else if (e->content_generation.load(rl) == app->session_gen_saved) {
            // The loop is on disk: the status line and a close start afresh. A good
            // write seen only after a later one could not even begin clears nothing.
            app->take_unsaved = 0;
            app->close_failed = 0;
        }
        if (app->library_shown)
            app_library_scan(app);
    }
    app->session_saving = session_wav_busy();

    uint32_t gen = e->content_generation.load(rl);
    if (gen == app->session_gen_seen) {
        app->session_quiet += dt;
    } else {
        app->session_gen_seen = gen;
        app->session_quiet = 0.0f;
    }
    if (gen != app->session_gen_saved && app->session_quiet > kSessionQuietSeconds && !session_wav_busy() &&
        !e->record.load(rl) && !e->hold_dub.load(rl))
        session_wav_save(app);

    app->settings_timer += dt;
    if (app->settings_timer > kSettingsPeriod) {
        app->settings_timer = 0.0f;
        static char text[APP_SETTINGS_TEXT];
        size_t n = settings_format(app, text, sizeof text);
        if (n < sizeof text && std::strcmp(text, app->settings_last) != 0)
            settings_save(app);
    }
}

// Steps 7 and 8: loop wraps and a newly set loop.
static void app_follow_counters(AppState* app, Engine* e)
{
    uint32_t wraps = e->wrap_count.load(rl);
    if (wraps != app->seen_wraps) {
        app->seen_wraps = wraps;
        app->flashes[FLASH_BEAT].value = 1.0f;
        if (e->record.load(rl) || app->hold_dub_held) {
            app->shake += 0.12f;
            particles_spawn(&app->particles, 46, kLoopY, 90, 0, 140, 0.5f, 4, TOAST_RED, 14);
        }
    }
    uint32_t sets = e->loop_set_count.load(rl);
    if (sets != app->seen_loop_sets) {
        app->shake += 0.8f;
        app->seen_loop_sets = sets;
        app->flashes[FLASH_LOOP_SET].value = 1.0f;
        double rate = e->sample_rate > 0 ? e->sample_rate : 48000.0;
        char text[APP_TOAST_TEXT];
        snprintf(text, sizeof text, "LOOP SET %.1fS", e->length.load(rl) / rate);
        toast_show(app, text, TOAST_MAGENTA);
        particles_spawn(&app->particles, 320, kLoopY, 0, -120, 320, 1.0f, 7, TOAST_MAGENTA, 90);
    }
}

// Steps 9 and 10: meters, the output level spring and the clip lights.
static void app_follow_levels(AppState* app, Engine* e, float dt)
{
    float in = meter_db_fraction(e->input_peak.load(rl));
    float out = meter_db_fraction(e->output_peak.load(rl));
    meter_follow(&app->input_meter, in, dt);
    meter_follow(&app->output_meter, out, dt);
    app->out_level.target = out;
    spring_step(&app->out_level, dt);
    app->smoothed_level += (out - app->smoothed_level) * std::min(1.0f, 4.0f * dt);

    // Taken by exchange: a clip the callback flags between a read and a clear is kept.
    if (e->input_clip.exchange(0, rl))
        app->input_clip = 1.0f;
    if (e->output_clip.exchange(0, rl))
        app->output_clip = 1.0f;
    float fall = std::min(1.0f, 0.65f * dt);
    app->input_clip -= app->input_clip * fall;
    app->output_clip -= app->output_clip * fall;
}

// Step 14: the loop's column peaks, normalised, eased towards every frame.
static void app_follow_overview(AppState* app, Engine* e, float dt)
{
    app->overview_timer += dt;
    if (app->overview_timer > kOverviewPeriod) {
        app->overview_timer = 0.0f;
        float* tl = app->overview_target_left;
        float* tr = app->overview_target_right;
        loop_waveform(e, tl, tr, APP_OVERVIEW_COLUMNS);
        float norm = kOverviewFloor;
        for (int i = 0; i < APP_OVERVIEW_COLUMNS; i++)
            norm = std::max(norm, std::max(tl[i], tr[i]));
        for (int i = 0; i < APP_OVERVIEW_COLUMNS; i++) {
            tl[i] /= norm;
            tr[i] /= norm;
        }
    }
    float k = std::min(1.0f, 22.0f * dt);
    for (int i = 0; i < APP_OVERVIEW_COLUMNS; i++) {
        app->overview_left[i] += (app->overview_target_left[i] - app->overview_left[i]) * k;
        app->overview_right[i] += (app->overview_target_right[i] - app->overview_right[i]) * k;
    }
}

// Step 16: sparks behind the play head while recording or hold-dubbing.
static void app_record_sparks(AppState* app, Engine* e, float dt)
{
    bool writing = e->record.load(rl) || app->hold_dub_held;
    int32_t len = e->length.load(rl);
    int32_t pos = e->position.load(rl);
    if (!writing || !e->playing.load(rl) || (len == 0 && pos == 0))
        return;
    double denom = len > 0 ? len : std::max(pos, 1);
    float x = (float)(pos / denom * 556.0 + 42.0);
    uint32_t s = app_random_next(&app->random_state);
    if (kSparkRate * dt > (float)(s & 0xFFFFFFu) / 16777215.0f)
        particles_spawn(&app->particles, x, kLoopY, -30, 0, 90, 0.55f, 4,
                        app->hold_dub_held ? TOAST_ORANGE : TOAST_RED, 2);
}

void app_update(AppState* app, float dt)
{
    if (!app || !app->engine)
        return;
    Engine* e = app->engine;

    app_autosave(app, e, dt);
    take_load_finish(app, dt);
    take_wait_step(app);
    if (app->picker.open && app->picker.identifying)
        vst_picker_identify_step(app);

    app_follow_counters(app, e);
    app_follow_levels(app, e, dt);

    if (e->record.load(rl))
        app->record_phase += kRecordPhaseRate * dt;

    for (PadSpring& p : app->pads) {
        spring_step(&p.spring, dt);
        pulse_fall(&p.pulse, dt);
    }
    for (Pulse& f : app->flashes)
        pulse_fall(&f, dt);
    for (Toast& t : app->toasts) {
        Pulse p{t.alpha, t.seconds};
        pulse_fall(&p, dt);
        t.alpha = p.value;
    }

    if (app->pad_mode) {
        app->pad_x.target = 1.0f - e->crossfade.load(rl);
        app->pad_y.target = 1.0f - e->wet_dry.load(rl);
    } else {
        app->pad_x.target = (app->pan + 1.0f) / 2.0f;
        app->pad_y.target = 1.0f - app->gain / 2.0f;
    }
    spring_step(&app->pad_x, dt);
    spring_step(&app->pad_y, dt);

    app_follow_overview(app, e, dt);
    particles_update(&app->particles, dt);
    app_record_sparks(app, e, dt);

    app->shake *= std::exp(-7.5f * dt);
    app->level_phase += (app->smoothed_level * 1.4f + 0.35f) * dt;
}
