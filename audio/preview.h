// preview.h - the preview player: one decoded take played beside the loop, with a
// loop region, seek and gain, rendered through the engine's render hook.
// Threads: preview_render: audio thread [RT]. Every other function: UI thread only.
//          The two threads share the record through atomic fields only: buffers move
//          by pointer exchange, commands are flags the audio thread takes up, and the
//          position comes back as a whole number of frames. Writers per field below.
// Depends on: sample_buffer.h.
#pragma once
#include <atomic>
#include <cstdint>

#include "audio/sample_buffer.h"

// Buffers handed to the player come from sample_buffer_create; whoever takes one out
// of the player frees it with sample_buffer_destroy.
//
// Buffer hand-over:
//  - The UI posts a buffer as pending. The audio thread adopts it at its next render
//    (pending -> current) and parks the buffer it replaced as retired. It adopts only
//    while the retired slot is empty, so a retired buffer is never overwritten and lost.
//  - A retired buffer is out of the audio thread's reach once it is parked (the render
//    reads the current buffer only after adopting): the UI may free it at once.
//  - The current buffer taken out by preview_detach_buffers may still be read by a
//    render in progress: free it only after the callback has left it
//    (engine_wait_blocks_passed, or after engine_clear_render_hook returned true).
//  - The audio thread never frees anything.
struct PreviewPlayer {
    std::atomic<SampleBuffer*> current{nullptr};   // audio thread adopts; UI detaches
    std::atomic<SampleBuffer*> pending{nullptr};   // UI posts; audio thread adopts
    std::atomic<SampleBuffer*> retired{nullptr};   // audio thread parks; UI takes
    std::atomic<int32_t> playing{0};               // both: UI starts and stops, audio ends
    std::atomic<int32_t> looping{0};               // UI: wrap to the region start at the end
    std::atomic<int32_t> seek_pending{0};          // UI sets, audio thread clears
    std::atomic<int32_t> generation{0};            // UI: raised by every load
    std::atomic<double> seek_target{0.0};          // UI: frame to move to
    std::atomic<double> position{0.0};             // audio thread: fractional frame
    std::atomic<int64_t> published_position{0};    // audio thread, UI (seek): whole frames
    std::atomic<int32_t> ended{0};                 // audio thread sets, UI clears
    std::atomic<float> gain{1.0f};                 // UI: a plain 32-bit store
    std::atomic<int32_t> region_set{0};            // UI: a loop region is defined
    std::atomic<int32_t> in_region{0};             // UI: the position lies in the region
    std::atomic<int64_t> region_start{0};          // UI: frames
    std::atomic<int64_t> region_end{0};            // UI: frames
};

static_assert(std::atomic<double>::is_always_lock_free);
static_assert(std::atomic<int64_t>::is_always_lock_free);
static_assert(std::atomic<SampleBuffer*>::is_always_lock_free);

void preview_init(PreviewPlayer* p);              // every field cleared, gain 1.0

// Posts buffer (owned by the player from here) to be played from frame 0 at the next
// render: stops, clears the ended flag, the published position and the region, frees
// the retired buffer and a pending one not yet adopted, raises the generation, and
// plays when play is true. A null player leaves the buffer with the caller.
void preview_load(PreviewPlayer* p, SampleBuffer* buffer, bool play);
// Plays; after an end without looping, first goes back to the region start (when the
// region applies) or to 0.
void preview_play(PreviewPlayer* p);
bool preview_pause(PreviewPlayer* p);             // stops; whether it was playing
void preview_stop(PreviewPlayer* p);              // stops and seeks to 0
// Moves to fraction (0..1) of the buffer (pending, else current); the region applies
// from then on only when the new place lies in it (half a frame of tolerance). The
// published position moves at once. Returns the previous published position.
int64_t preview_seek(PreviewPlayer* p, double fraction);
// With enable and a buffer (pending, else current) of at least one frame, sets the
// region to start..end (fractions; an end below the start gives an empty region at
// the start) and makes it apply; otherwise removes it. Returns the previous
// region-set flag.
bool preview_set_region(PreviewPlayer* p, double start, double end, bool enable);
void preview_set_looping(PreviewPlayer* p, bool looping);
void preview_set_gain(PreviewPlayer* p, float gain);
bool preview_is_playing(const PreviewPlayer* p);
bool preview_region_active(const PreviewPlayer* p);    // set and applying
double preview_duration(const PreviewPlayer* p);       // seconds: current, else pending, else 0
double preview_position(const PreviewPlayer* p);       // 0..1 of current (else pending); 0 without
// Takes the retired buffer out (null when none); the caller frees it.
SampleBuffer* preview_take_retired(PreviewPlayer* p);
// Stops, frees the pending buffer, and hands the current and the retired buffers to
// the caller (each taken out only when its out pointer is given; null when none);
// the published position becomes 0. See the hand-over rules above before freeing
// the current buffer. A buffer the audio thread adopts at that very moment stays in
// the player until the next load or detach.
void preview_detach_buffers(PreviewPlayer* p, SampleBuffer** current, SampleBuffer** retired);

// [RT] Adds the player's output into left and right (zeroed by the engine's callback),
// converted to the device rate by linear interpolation. Allocates, frees, locks and
// waits for nothing.
void preview_render(PreviewPlayer* p, float* left, float* right, int32_t frames, double device_rate);
