// looper.h - the real-time looper callback and the UI's operations on the loop.
// Threads: engine_audio_callback, fxpatch_process, engine_softclip: audio thread [RT].
//          loop_*: UI thread.
// Depends on: engine.h, fx.h, vst.h, rig/router.h.
#pragma once
#include <cstdint>

struct Engine;

// [RT] The stream callback: interleaved float input (the engine's input channels, or
// null for an output-only stream) and interleaved stereo output. Always returns 0.
int engine_audio_callback(const void* input, void* output, unsigned long frames,
                          const void* time_info, unsigned long status_flags, void* user);

// [RT] Runs slots first and first + 1 in place on the two buffers. Returns false when
// neither slot touched them (both pass the signal as it is).
bool fxpatch_process(Engine* e, int first_slot, float* left, float* right, int frames);

// [RT] The soft clipper: identity to 2/3, a parabola to +-1 at 4/3; NaN gives 0.
float engine_softclip(float x);
// [RT] A first pass that has ended at *pos: longer than 0.1 s it becomes the loop
// (*len, loop set raised), else it is dropped with no fade-out tail; *pos returns to 0.
void loop_close_first_pass(Engine* e, int32_t* pos, int32_t* len);

// Holds the callback off the loop arrays, position, length and requests (monitored
// input still plays) so the UI thread may write them; waits up to about 200 ms for
// the callback to see the hold. Returns false when a block that may not have seen
// the hold is still running after that (a stalled audio thread): the hold is then
// released and the caller must leave the loop alone. On true, end with loop_end_write.
bool loop_begin_write(Engine* e);
void loop_end_write(Engine* e);
// For a write that replaces the loop: first fades the loop's playback out as a stop
// fades it (the position and an overdub run on unheard) and waits, bounded, for the
// callback to report it silent, or for no stream to run; then holds as loop_begin_write
// does. Playback comes back through its fade after loop_end_replace.
bool loop_begin_replace(Engine* e);
void loop_end_replace(Engine* e);

// Closes a first pass the callback has not closed yet (one still recording, or one
// whose recording was just stopped) into the loop now, as the callback closes a first
// take: longer than 0.1 s it becomes the loop, else it is dropped. Runs under the
// hold; true when nothing was left open, false for a stalled callback.
bool loop_close_open_pass(Engine* e);

// Replaces the loop; false (loop untouched) for no frames or a stalled callback.
bool loop_set_buffers(Engine* e, const float* left, const float* right, int32_t frames);
void loop_seek_fraction(Engine* e, double fraction);
// Zero-fills beyond the end when the loop grows and requests the length; no hold.
void loop_resize(Engine* e, int32_t frames);
void loop_waveform(Engine* e, float* left_out, float* right_out, int columns);
