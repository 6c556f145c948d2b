// take_analysis.cpp - the take view's per-frame step: the region loop kept on, and
// with the tempo row the tempo and key of the player's take found a slice per frame,
// its segment grid and the chop loop that follows the play position.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "audio/preview.h"
#include "library/library.h"
#include "library/library_seams.h"
#include "library/marks.h"

static const int32_t kStepWindows = 96;
static const double kFollowLead = 0.004;
static const double kHoldBefore = 0.05;

static const SampleBuffer* usable_buffer(const PreviewPlayer* p)
{
    if (!p)
        return nullptr;
    const SampleBuffer* b = p->current.load(std::memory_order_acquire);
    if (!b)
        b = p->pending.load(std::memory_order_acquire);
    if (!b || !b->samples || b->frames < 1 || b->channels < 1 || !(b->sample_rate > 0.0))
        return nullptr;
    return b;
}

static void clear_results(LibraryTake* t)
{
    tempo_analysis_free(&t->analysis);
    std::free(t->envelope);
    t->envelope = nullptr;
    t->envelope_count = 0;
    t->found = 0;
    t->bpm = 0.0f;
    t->first_beat = 0.0;
    t->key = -1;
    t->chop = 0;
}

void library_take_free(Library* lib)
{
    if (!lib)
        return;
    clear_results(&lib->take);
    lib->take.buffer = nullptr;
}

void library_set_tempo_row(Library* lib, bool on)
{
    if (!lib)
        return;
    lib->tempo_row = on ? 1 : 0;
    if (!on)
        library_take_free(lib);
}

void library_take_status(Library* lib, const char* text, double now)
{
    if (!lib)
        return;
    snprintf(lib->take.status, sizeof lib->take.status, "%s", text ? text : "");
    lib->take.status_time = now;
}

static int32_t loaded_shift(Library* lib)
{
    int32_t i = library_find_bars(lib, lib->loaded_path);
    return i >= 0 ? lib->bars[i].shift : 0;
}

void library_update_analysis(Library* lib)
{
    if (!lib || !lib->player)
        return;
    LibraryTake* t = &lib->take;
    const LibraryItem* item = library_loaded_item(lib);
    if (lib->region_loop && !preview_region_active(lib->player) && item)
        preview_set_region(lib->player, item->mark_in, item->mark_out, true);
    if (!lib->tempo_row)
        return;
    const SampleBuffer* b = usable_buffer(lib->player);
    int32_t gen = lib->player->generation.load(std::memory_order_relaxed);
    if (b != t->buffer || gen != t->generation) {
        clear_results(t);
        t->buffer = b;
        t->generation = gen;
        t->frames = b ? b->frames : 0;
        t->rate = b ? b->sample_rate : 0.0;
        t->shift = loaded_shift(lib);
        t->segment_scroll = 0.0f;
        t->segment_press = -1;
        if (b)
            tempo_analysis_begin(&t->analysis, b->samples, b->channels, b->frames, b->sample_rate);
        return;
    }
    if (!b)
        return;
    if (!t->found && tempo_analysis_step(&t->analysis, kStepWindows)) {
        t->found = 1;
        t->bpm = t->analysis.tempo;
        t->first_beat = t->analysis.first_beat;
        t->key = t->analysis.key;
        if (t->bpm > 0.0f)
            t->envelope = segment_envelope_make(b->samples, b->channels, b->frames, b->sample_rate, t->bpm,
                                                &t->envelope_count);
    }
    library_follow_segment(lib);
}

bool library_segment_grid(Library* lib, SegmentGrid* grid)
{
    if (grid)
        *grid = SegmentGrid{};
    if (!lib || !lib->take.buffer || !lib->take.found)
        return false;
    const LibraryTake* t = &lib->take;
    SegmentGridInput in{t->bpm, t->first_beat, t->frames, t->rate, lib->bars_per_segment, t->shift, t->wave.w};
    SegmentGrid g;
    bool ok = segment_grid_make(&in, &g);
    if (grid)
        *grid = g;
    return ok;
}

bool library_segment(Library* lib, int32_t index, LibrarySegment* out)
{
    SegmentGrid g;
    double s, e;
    if (!library_segment_grid(lib, &g) || !segment_grid_bounds(&g, index, &s, &e))
        return false;
    if (out)
        *out = LibrarySegment{library_loaded_item(lib),
                              s,
                              e - s,
                              lib->take.bpm,
                              lib->bars_per_segment < 1 ? 4 : lib->bars_per_segment,
                              (uint8_t)segment_grid_partial(&g, index),
                              lib->volume};
    return true;
}

void library_follow_segment(Library* lib)
{
    if (!lib || !lib->player || !lib->tempo_row || lib->region_loop ||
        !lib->player->looping.load(std::memory_order_relaxed))
        return;
    LibraryTake* t = &lib->take;
    SegmentGrid g;
    if (!library_segment_grid(lib, &g))
        return;
    double pos = preview_position(lib->player) * g.duration;
    if (t->chop && pos >= t->chop_start - kHoldBefore && pos <= t->chop_end)
        return;
    double s, e;
    if (!segment_grid_bounds(&g, segment_grid_at(&g, pos + kFollowLead), &s, &e))
        return;
    preview_set_region(lib->player, s / g.duration, e / g.duration, true);
    t->chop = 1;
    t->chop_start = s;
    t->chop_end = e;
}
