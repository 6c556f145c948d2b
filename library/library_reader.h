// library_reader.h - the library's reader thread: decodes files for waveform summaries
// and for playback, newest request first.
// Threads: library_reader_start/request/take/stop: the UI thread. The reader thread
//          runs inside library_reader.cpp. Shared: the request ring, the result queue
//          and the wake flag under the reader's one lock; stop and cancel flags atomic.
//          The record is reference counted (the UI's and the thread's): whoever lets
//          go last frees it, so a thread stuck in a long decode never reads freed memory.
// Depends on: audio/audiofile.h, audio/audiofile_sink.h, audio/sample_buffer.h,
//             platform/plat_thread.h.
#pragma once
#include <cstdint>

struct SampleBuffer;
struct LibraryReader;

enum {
    LIBRARY_PATH = 600,               // bytes of every path field, with the NUL
    LIBRARY_SUMMARY_COLUMNS = 80,
    LIBRARY_RING = 512,               // waiting requests
    LIBRARY_RESULTS = 64,             // waiting results
};

enum : uint32_t {
    LIBRARY_READ_SUMMARY = 0,
    LIBRARY_READ_LOAD = 1,            // decode for playback: the result keeps the samples
};

struct ReadRequest {
    uint32_t kind;
    char path[LIBRARY_PATH];
};

struct ReadResult {
    uint32_t kind;
    char path[LIBRARY_PATH];
    uint8_t ok;
    float summary[LIBRARY_SUMMARY_COLUMNS];   // peaks, normalised to the loudest column
    double duration;                          // seconds
    SampleBuffer* buffer;                     // an ok load's samples (owned), else null
};

// Largest take decoded for playback, in samples (all channels): 2 GiB of floats. A
// longer file fails its load instead of exhausting memory; its summary still comes.
static const int64_t LIBRARY_LOAD_SAMPLE_LIMIT = (int64_t)1 << 29;

// Starts the thread. Null when the record or the thread cannot be made.
LibraryReader* library_reader_start(void);
// Queues a request (urgent ones in front of the others) and wakes the thread. False
// when the ring is full (the request is dropped) or the path does not fit.
bool library_reader_request(LibraryReader* r, uint32_t kind, const char* path, bool urgent);
// Moves every waiting result (at most cap) into out, in arrival order; returns the
// count. Their buffers pass to the caller.
int32_t library_reader_take(LibraryReader* r, ReadResult* out, int32_t cap);
// Asks the thread to stop, cancels its decode, waits up to wait_ms for it to end and
// lets go of the record. True when the thread had ended. [blocks]
bool library_reader_stop(LibraryReader* r, int wait_ms);
// Reader records not freed yet, in the whole process (a reader stopped without
// waiting keeps its record until its thread ends).
int32_t library_reader_alive(void);
// Tests: results waiting to be taken, and whether the thread holds one more that
// waits for room (dropped, its samples freed, when the reader stops).
int32_t library_reader_waiting(LibraryReader* r, bool* holding);
// Tests: the playback size limit in samples (default LIBRARY_LOAD_SAMPLE_LIMIT).
void library_reader_set_load_limit(LibraryReader* r, int64_t samples);

// The summary of a decoded buffer and its duration (used for load results).
void library_summary_of(const SampleBuffer* b, float out[LIBRARY_SUMMARY_COLUMNS], double* duration);
