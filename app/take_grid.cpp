// take_grid.cpp - the beat grid of take_grid.h.
#include "app/take_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "app/takes.h"
#include "app/toast.h"
#include "audio/engine.h"
#include "audio/preview.h"
#include "audio/sample_buffer.h"
#include "library/library.h"

static constexpr auto rl = std::memory_order_relaxed;
static const double kFollowLead = 0.004;      // seconds: a position this close to a segment counts in it
static const double kHoldBefore = 0.05;       // seconds before the region that still holds it
static const double kHoldProbe = 0.06;        // seconds into the region that name its segment

static SampleBuffer* usable_buffer(const PreviewPlayer* p)
{
    SampleBuffer* b = p ? p->current.load(std::memory_order_acquire) : nullptr;
    if (!b || !b->samples || b->channels < 1 || b->frames < 1 || !(b->sample_rate > 0.0))
        return nullptr;
    return b;
}

static void grid_clear(TakeGridState* st)
{
    tempo_analysis_free(&st->analysis);
    std::free(st->envelope);
    st->envelope = nullptr;
    st->envelope_count = 0;
    st->has_result = 0;
    st->bpm = 0.0f;
    st->first_beat = 0.0;
    st->key = -1;
}

void take_grid_free(AppState* app)
{
    if (!app)
        return;
    grid_clear(&app->take_grid);
    app->take_grid.buffer = nullptr;
}

void take_beat_analysis(AppState* app)
{
    if (!app)
        return;
    TakeGridState* st = &app->take_grid;
    const SampleBuffer* b = usable_buffer(app->preview);
    int32_t gen = app->preview ? app->preview->generation.load(rl) : 0;
    if (b != st->buffer || gen != st->generation) {
        grid_clear(st);
        st->shift = 0;
        st->region_set = 0;
        app->segment_scroll = 0.0f;
        app->segment_press = 0;
        st->buffer = b;
        st->generation = gen;
        st->frames = b ? b->frames : 0;
        st->rate = b ? b->sample_rate : 0.0;
        if (b)
            tempo_analysis_begin(&st->analysis, b->samples, b->channels, b->frames, b->sample_rate);
    } else if (b && !st->has_result) {
        if (tempo_analysis_step(&st->analysis, TAKE_GRID_STEP_WINDOWS)) {
            st->has_result = 1;
            st->bpm = st->analysis.tempo;
            st->first_beat = st->analysis.first_beat;
            st->key = st->analysis.key;
            if (st->bpm > 0.0f)
                st->envelope = segment_envelope_make(b->samples, b->channels, b->frames, b->sample_rate, st->bpm,
                                                     &st->envelope_count);
        }
    }
    take_player_follow_grid(app);
}

bool take_beat_grid(AppState* app, TakeBeatGrid* grid)
{
    if (grid)
        *grid = TakeBeatGrid{};
    if (!app)
        return false;
    const TakeGridState* st = &app->take_grid;
    if (!st->buffer || !st->has_result || !(st->bpm > 0.0f))
        return false;
    SegmentGridInput in{st->bpm, st->first_beat, st->frames, st->rate, app->bars_per_segment, st->shift,
                        TAKE_GRID_STRIP_WIDTH};
    TakeBeatGrid g;
    bool ok = segment_grid_make(&in, &g);
    if (grid)
        *grid = g;
    return ok;
}

static void follow_region(AppState* app, const TakeBeatGrid& g)
{
    TakeGridState* st = &app->take_grid;
    PreviewPlayer* p = app->preview;
    double pos = preview_position(p) * g.duration;
    if (st->region_set && preview_region_active(p) && pos >= st->region_start - kHoldBefore &&
        pos <= st->region_end) {
        double s, e;
        int32_t k = segment_grid_at(&g, st->region_start + kHoldProbe);
        if (segment_grid_bounds(&g, k, &s, &e) && std::fabs(s - st->region_start) < 1e-9 &&
            std::fabs(e - st->region_end) < 1e-9)
            return;
    }
    double s, e;
    int32_t k = segment_grid_at(&g, pos + kFollowLead);
    if (!segment_grid_bounds(&g, k, &s, &e))
        return;
    preview_set_region(p, s / g.duration, e / g.duration, true);
    st->region_set = 1;
    st->region_start = s;
    st->region_end = e;
}

void take_player_follow_grid(AppState* app)
{
    if (!app || !app->preview)
        return;
    TakeGridState* st = &app->take_grid;
    TakeBeatGrid g;
    if (app->player_loop) {
        if (take_beat_grid(app, &g))
            follow_region(app, g);
        return;
    }
    if (!st->region_set)
        return;
    st->region_set = 0;
    const LibraryItem* item = library_loaded_item(app->library);
    if (item && item->has_marks)
        preview_set_region(app->preview, item->mark_in, item->mark_out, true);
    else
        preview_set_region(app->preview, 0.0, 1.0, false);
}

void take_bars_to_loop(AppState* app, int32_t segment)
{
    if (!app || !app->engine || !app->preview)
        return;
    SampleBuffer* b = usable_buffer(app->preview);
    TakeBeatGrid g;
    double start, end;
    if (!b || b != app->take_grid.buffer || !take_beat_grid(app, &g) || !segment_grid_bounds(&g, segment, &start, &end))
        return;
    Engine* e = app->engine;
    double rate = e->sample_rate > 0.0 ? e->sample_rate : 48000.0;
    double n_exact = std::round((end - start) * rate);
    int32_t n = (int32_t)std::min(n_exact, (double)TAKE_LOAD_MAX_FRAMES);
    if (n < 1) {
        toast_show(app, "CAN'T LOAD THAT", TOAST_RED);
        return;
    }
    // At the take's own rate the bars start on the nearest whole frame (10 us early or
    // late at most), so they are its frames as they are: reads between two frames would
    // dull the treble.
    double at = start * b->sample_rate;
    if (b->sample_rate == rate)
        at = std::round(at);
    char text[64];
    int32_t bars = app->bars_per_segment < 1 ? 4 : app->bars_per_segment;
    if (end - start > g.segment_length - SEGMENT_GRID_TOLERANCE)
        snprintf(text, sizeof text, "%d BAR%s  %.0f BPM", bars, bars == 1 ? "" : "S", app->take_grid.bpm);
    else
        snprintf(text, sizeof text, "%.1f BEATS  %.0f BPM", (end - start) / g.beat, app->take_grid.bpm);
    take_load_bars(app, b, at, n, text);
}

void take_grid_shift(AppState* app, int32_t beats)
{
    if (app)
        app->take_grid.shift += beats;
}
