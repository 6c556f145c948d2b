// wav_read.h - RIFF/WAVE reading: the header walk, the reader into a sink, and the
// duration probe.
// Threads: any thread (loader threads, the take loader, the UI); the cancel flag may be
//          set from another thread.
// Depends on: audiofile_sink.h, platform/plat_file.h.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>

struct AudioSink;

enum {
    WAV_OK = 0,
    WAV_FAILED = -1,          // file, read or memory trouble
    WAV_UNSUPPORTED = -2,     // not a WAV this reader handles: the general decoder may try
    WAV_STOPPED = -3,         // cancelled, or the sink asked to stop
};

struct WavFormat {
    uint16_t format = 0;          // 1 PCM or 3 float (an extensible file's sub-format)
    int32_t channels = 0;
    uint32_t sample_rate = 0;
    int32_t bits = 0;
    int32_t bytes_per_sample = 0; // (bits + 7) / 8
    int64_t frame_bytes = 0;
    uint32_t data_declared = 0;   // the data chunk's size field as written
    int64_t data_bytes = 0;       // bytes of data to read: the declared size (0 and
                                  // 0xFFFFFFFF: up to the end), cut to what the file holds
    int64_t data_wanted = 0;      // the same before the cut
};

// Reads the RIFF header and walks the chunks up to "data" (f left at its first byte),
// checking the coding and the sample size. Returns a WAV_ code and *word, the error
// word, on failure; integer samples narrower than 8 bits are WAV_FAILED (no reader
// takes them).
int wav_read_header(FILE* f, WavFormat* out, const char** word);
// Float data of 4 or 8 bytes a sample, integer data of 1 to 4.
bool wav_sample_size_ok(const WavFormat* h);
// Frames per read: up to 4096, fewer when the raw or the converted block would pass
// 256 KiB, at least 1.
int64_t wav_block_frames(const WavFormat* h);

// Reads a PCM (8 to 32 bit) or float (32 or 64 bit) WAV into the sink. Error words go to
// err ("FILE NOT FOUND", "NOT A WAV", "TRUNCATED", ...). On failure after the sink's
// begin the sink's buffer is freed.
int wav_read(const char* path, AudioSink* sink, const std::atomic<int32_t>* cancel, char* err,
             size_t err_cap);

// Length of the data in seconds from the header alone; 0 on any problem.
float wav_duration_seconds(const char* path);
