// audiofile.h - audio files of the supported kinds decoded into sinks and buffers, and
// the peak overview of a decoded buffer.
// Threads: any thread (the take loader, loader threads, the UI).
// Depends on: wav_read.h, mf_decode.h, audiofile_sink.h, sample_buffer.h.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

struct AudioSink;
struct SampleBuffer;

// ".wav", ".mp3", ".m4a", ".aac", ".flac", ".wma", ".ogg", ".opus", in any case, after
// the last dot of the file name.
bool audiofile_is_supported(const char* path);

// WAV goes to the own reader first and to the general decoder when that reader does
// not handle the coding; the other kinds go to the general decoder. Result codes as
// wav_read's; the error buffer is emptied first.
int audiofile_load(const char* path, AudioSink* sink, const std::atomic<int32_t>* cancel,
                   char* err, size_t err_cap);
// The same into a buffer, which is cleared first and is empty after a failure.
int audiofile_load_into(const char* path, SampleBuffer* b, const std::atomic<int32_t>* cancel,
                        char* err, size_t err_cap);

// Normalised peaks of |sample| over all channels in columns equal shares of the frames.
// (At most 4096 frames are read per column: a long file costs its decode, not its scan.)
void audiofile_overview(const SampleBuffer* b, float* out, int columns);
// The same from every frame of every channel (frame f in column f * columns / frames),
// so that no short peak is missed.
void audiofile_peaks(const SampleBuffer* b, float* out, int columns);
