// audiofile_sink.h - where the file readers put decoded audio: a SampleBuffer that
// grows, or a pair of callbacks fed through a scratch buffer; and the sample converter.
// Threads: a sink is used by one thread (the reader's).
// Depends on: sample_buffer.h.
#pragma once
#include <cstddef>
#include <cstdint>

struct SampleBuffer;

struct AudioSinkCallbacks {
    // Both return false to stop the reader. expected_frames is -1 when unknown.
    bool (*begin)(void* ctx, int32_t channels, double rate, int64_t expected_frames);
    bool (*append)(void* ctx, const float* interleaved, int64_t frames);
    void* ctx;
};

struct AudioSink {
    SampleBuffer* buffer = nullptr;               // buffer sink target, or null
    int64_t capacity = 0;                         // frames allocated in buffer->samples
    const AudioSinkCallbacks* callbacks = nullptr;   // callback sink
    int32_t channels = 0;                         // set by begin
    float* scratch = nullptr;                     // callback sink's conversion space
    int64_t scratch_capacity = 0;                 // in samples
};

AudioSink audiofile_buffer_sink(SampleBuffer* b);
AudioSink audiofile_callback_sink(const AudioSinkCallbacks* callbacks);

// Starts a stream of the given format. A buffer sink reserves room for the expected
// frames (bounded, whatever a container claims). False: stop (refused or no memory).
bool audiofile_sink_begin(AudioSink* s, int32_t channels, double rate, int64_t expected_frames);
// Converts frames of raw samples (bytes_per_sample each, integer or float) and takes
// them. Returns 1 to go on, 0 when the callbacks ask to stop, -1 out of memory.
int audiofile_sink_append(AudioSink* s, const void* data, int64_t frames, int32_t channels,
                          int bytes_per_sample, bool is_float);
// Two-step form for decoders that write floats themselves: room for frames at the
// buffer's end (or in the scratch), then the commit of what was written there.
float* audiofile_sink_reserve(AudioSink* s, int64_t frames);
int audiofile_sink_commit(AudioSink* s, int64_t frames);
void audiofile_sink_release(AudioSink* s);    // frees the scratch (a buffer stays its owner's)
void audiofile_sink_clear(AudioSink* s);      // after a failure: frees and clears the buffer

// Integer samples scale to -1..1 (1 byte unsigned, 2-4 bytes signed little-endian);
// float samples are 4 or 8 bytes. Anything not finite becomes 0.
void audiofile_convert_samples(float* dst, const void* src, int64_t count, int bytes_per_sample,
                               bool is_float);
void audiofile_scrub(float* samples, int64_t count);          // non-finite samples to 0

// Copies an error word into the caller's buffer, cut to fit; null buffers are fine.
void audiofile_error(char* err, size_t err_cap, const char* word);
