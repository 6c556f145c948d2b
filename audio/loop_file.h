// loop_file.h - the loop as a WAV file: 16-bit export, the float session take, and
// loading a WAV file into the loop.
// Threads: the writers run on the UI thread or the session writer's thread and read the
//          loop while the callback may overdub it (a mix of old and new samples is
//          possible by design); loop_load_wav runs on the UI thread and writes the loop
//          under the engine's hold, once the loop's playback has faded out.
// Depends on: engine.h, looper.h, resampler.h, wav_read.h, wav_write.h, audiofile_sink.h,
//             platform/plat_file.h.
#pragma once
#include <cstdint>
#include <cstdio>

struct Engine;

// 16-bit stereo PCM at the engine's rate (truncated). False when there is no loop or
// any write or the close fails; a partial file is removed.
bool loop_write_wav16(Engine* e, const char* path);
// 32-bit float stereo, the session take's layout. False when the file cannot be made
// or any write or the close fails; a partial file is removed.
bool loop_write_wav_float(Engine* e, const char* path);
// The same two layouts written into an open file (nothing closed or removed): false
// when there is nothing to write or a write fails. The program's takes go through a
// temporary file this way (platform/plat_file.h, plat_file_write_via_temp).
bool loop_write_wav16_to(Engine* e, FILE* f);
bool loop_write_wav_float_to(Engine* e, FILE* f);

// What a load into the loop did not keep of the file as it is: a loop saved over the
// file gives back all it held only when none of these is set.
struct LoopLoadLoss {
    bool capped;          // longer than the loop holds: cut
    int32_t channels;     // the file's channels when it had more than two, else 0
    uint32_t file_rate;   // the file's rate when it was resampled to the loop's, else 0
    int32_t bits;         // the file's bits when its samples are finer than 32-bit float
};
bool loop_load_loss_any(const LoopLoadLoss* loss);

// Reads a PCM or float WAV into the loop: the first channel left, the second right (a
// mono file on both), resampled when its rate differs from the engine's (resampler.h:
// the whole file as the loop's cycle, frames x engine rate / file rate of them), at
// most the loop's capacity. A cut file loads the frames it holds. False, with the loop
// untouched, when the file is not usable. The content generation is not raised. *loss
// (may be null) tells what of the file the loop does not hold as it is.
bool loop_load_wav(Engine* e, const char* path, LoopLoadLoss* loss = nullptr);
