// library_update.cpp - the library's frame: results of the reader applied to items and
// to the player, the pending tree pick, the retired buffer, easing and the band
// visualiser's clock.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/audiofile.h"
#include "audio/preview.h"
#include "audio/sample_buffer.h"
#include "library/library.h"
#include "library/library_seams.h"

static const double kPickDelay = 0.15;          // seconds a tree pick waits before it opens
static const double kVisualStep = 1.0 / 24.0;
static const float kInitialZoom = 0.54f;
static const float kMinZoom = 0.02f;

// The loaded take arrived: its waveform, the window that shows the reference length,
// the buffer to the player, and the item's marks as the player's region.
static void take_arrived(Library* lib, SampleBuffer* buffer)
{
    audiofile_peaks(buffer, lib->take_waveform, LIBRARY_WAVEFORM_COLUMNS);
    lib->waveform_ready = 1;
    lib->take_dirty = 1;
    double duration = sample_buffer_seconds(buffer);
    float zoom = lib->reference_length > 0.0f && duration > 0.0 ? (float)(lib->reference_length / duration)
                                                               : kInitialZoom;
    lib->zoom = zoom < kMinZoom ? kMinZoom : zoom > 1.0f ? 1.0f : zoom;
    // The window keeps its start from the last take, inside this one.
    lib->window_start = std::clamp(lib->window_start, 0.0f, 1.0f - lib->zoom);

    preview_load(lib->player, buffer, true);
    const LibraryItem* item = library_loaded_item(lib);
    if (item && item->has_marks) {
        preview_set_region(lib->player, item->mark_in, item->mark_out, true);
        preview_seek(lib->player, item->mark_in);
    } else {
        preview_set_region(lib->player, 0.0, 1.0, false);
    }
    lib->loading = 0;
    lib->previous_path[0] = '\0';
}

// The take asked for cannot be played: the one the player held before is the loaded
// take again (still in the player, stopped), and the failure is counted for the shell.
static void take_failed(Library* lib)
{
    lib->load_failures++;
    lib->loading = 0;
    if (lib->previous_path[0] && library_find_item(lib, lib->previous_path) >= 0) {
        std::memcpy(lib->loaded_path, lib->previous_path, LIBRARY_PATH);
        lib->waveform_ready = lib->previous_waveform_ready;
        lib->take_dirty = 1;
    } else {
        if (lib->previous_path[0] && lib->player)
            preview_stop(lib->player);
        lib->loaded_path[0] = '\0';
    }
    lib->previous_path[0] = '\0';
}

static void apply_result(Library* lib, ReadResult* r)
{
    int32_t index = library_find_item(lib, r->path);
    if (r->kind == LIBRARY_READ_SUMMARY)
        lib->done++;
    if (index >= 0) {
        LibraryItem* item = &lib->items[index];
        if (r->ok) {
            std::memcpy(item->summary, r->summary, sizeof item->summary);
            item->ready = 1;
            item->duration = r->duration;
        } else {
            item->failed = 1;
        }
    }
    if (r->kind != LIBRARY_READ_LOAD)
        return;
    bool current = lib->loaded_path[0] && std::strcmp(r->path, lib->loaded_path) == 0;
    if (r->ok && r->buffer && lib->player && current) {
        take_arrived(lib, r->buffer);
        r->buffer = nullptr;
        return;
    }
    sample_buffer_destroy(r->buffer);
    r->buffer = nullptr;
    if (current)
        take_failed(lib);
}

void library_update(Library* lib, double now, float dt)
{
    if (!lib)
        return;
    lib->dt = std::isfinite(dt) ? dt : 0.0f;
    library_view_frame(lib, lib->dt);

    // Results: copied out in one block, handled outside the reader's lock.
    int32_t n = library_reader_take(lib->reader, lib->arrived, LIBRARY_RESULTS);
    for (int32_t i = 0; i < n; i++)
        apply_result(lib, &lib->arrived[i]);
    // Items whose summary request found the ring full are asked for again as it drains.
    if (lib->unrequested > 0) {
        int32_t left = 0;
        for (int32_t i = 0; i < lib->count; i++) {
            LibraryItem* item = &lib->items[i];
            if (item->requested || item->kind != LIBRARY_KIND_LOCAL)
                continue;
            if (left == 0 && library_request_read(lib, LIBRARY_READ_SUMMARY, item, false)) {
                item->requested = 1;
                lib->queued++;
            } else {
                left++;
            }
        }
        lib->unrequested = left;
    }
    if (lib->done >= lib->queued) {
        lib->done = 0;
        lib->queued = 0;
    }

    // A file picked in the tree opens once the pick has rested.
    if (lib->pending_pick[0]) {
        if (lib->pending_time < 0.0)
            lib->pending_time = now;
        if (now - lib->pending_time >= kPickDelay) {
            char path[LIBRARY_PATH];
            std::memcpy(path, lib->pending_pick, sizeof path);
            lib->pending_pick[0] = '\0';
            library_open_transient(lib, path);
        }
    }

    if (lib->player) {
        library_update_analysis(lib);
        sample_buffer_destroy(preview_take_retired(lib->player));
    }

    lib->state.scroll = spring_ease(lib->state.scroll, lib->scroll_target, 18.0f, lib->dt);
    spring_step(&lib->removal, lib->dt > 0.0f ? lib->dt : 0.0f);
    // A card sprung back (a cancel, a refused trash) is no longer the removing one.
    if (lib->removing >= 0 && lib->removal.target == 0.0f && std::fabs(lib->removal.value) < 0.5f &&
        std::fabs(lib->removal.velocity) < 1.0f)
        lib->removing = -1;

    // The band visualiser runs at a fixed 24 steps a second whatever the frame rate.
    if (lib->next_visual_time <= 0.0)
        lib->next_visual_time = now;
    while (now >= lib->next_visual_time) {
        double position = lib->player && preview_is_playing(lib->player) ? preview_position(lib->player) : -1.0;
        const LibraryItem* item = library_loaded_item(lib);
        library_visual_step(lib, position, item && item->ready ? item->summary : nullptr, lib->next_visual_time);
        lib->next_visual_time += kVisualStep;
        if (now - lib->next_visual_time > 1.0)
            lib->next_visual_time = now;
    }
}
