// mf_decode.h - the general decoder: any audio file the platform's media decoder reads
// (mp3, m4a, aac, flac, wma, ogg, opus, and WAV codings the own reader refuses).
// Threads: any thread; the cancel flag may be set from another thread.
// Depends on: audiofile_sink.h, platform/plat_media_decode.h.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

struct AudioSink;

// Decodes the file's first audio stream into the sink as floats. Returns 0, or -1
// ("OUT OF MEMORY"), -2 ("COULDN'T READ THAT FILE": cannot open or decode, a read
// error, a change of rate or channels, no frames at all) or -3 (cancelled or stopped
// by the sink). Every failure frees the sink's buffer. A buffer sink (someone waits for
// the samples) decodes on as many threads as the codec can use; a callback sink (a
// background job, of which many may run) on its own thread alone.
int mf_decode_file(const char* path, AudioSink* sink, const std::atomic<int32_t>* cancel,
                   char* err, size_t err_cap);
