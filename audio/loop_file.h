// loop_file.h - the loop as a WAV file: 16-bit export, the float session take, and
// loading a WAV file into the loop.
// Threads: the writers run on the UI thread or the session writer's thread and read the
//          loop while the callback may overdub it (a mix of old and new samples is
//          possible by design); loop_load_wav runs on the UI thread and writes the loop
//          under the engine's hold.
// Depends on: engine.h, looper.h, wav_read.h, wav_write.h, audiofile_sink.h,
//             platform/plat_file.h.
#pragma once
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

// Reads a PCM or float WAV into the loop: the first channel left, the second right (a
// mono file on both), resampled linearly when its rate differs from the engine's, at
// most the loop's capacity. A cut file loads the frames it holds. False, with the
// loop untouched, when the file is not usable. The content generation is not raised.
// *capped (may be null) tells whether the file was longer than the loop holds.
bool loop_load_wav(Engine* e, const char* path, bool* capped = nullptr);
