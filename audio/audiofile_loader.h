// audiofile_loader.h - background load jobs: one file decoded on a loader thread of its
// own into a running overview of peaks (the samples are never kept), polled each frame.
// Threads: start/poll/release/shutdown: the owner's thread (the UI). The job's begin and
//          append run on its loader thread. A job's shared fields are guarded by its
//          lock; its state, cancel flag and references are atomic.
// Depends on: audiofile.h, audiofile_sink.h, platform/plat_thread.h.
#pragma once
#include <cstdint>

struct AudioLoadJob;

// Starts decoding path on a new loader thread. Null when the file kind is not
// supported or the job or its thread cannot be made.
AudioLoadJob* audiofile_loader_start(const char* path);

// Fills out with columns normalised peaks spread over the whole file (later columns 0
// while loading a file of known length), progress with 0..1 and duration with the
// file's seconds so far. Returns the state: 0 loading, 1 done, -1 failed (also for a
// null job).
int audiofile_loader_poll(AudioLoadJob* job, float* out, int columns, float* progress,
                          float* duration);

// Cancels the job and drops the owner's reference; the owner must not use it again.
// The loader thread stops at its next check and the last side out frees the job.
void audiofile_loader_release(AudioLoadJob* job);

// Cancels every running job and waits up to timeout_ms for their threads to end, so
// none decodes while the process exits. True when none runs any more. [blocks]
bool audiofile_loader_shutdown(int timeout_ms);
int audiofile_loader_running(void);       // loader threads not yet ended

// A job without a thread (one reference, the caller's), and the job's two sink steps:
// lets a caller feed a job directly.
AudioLoadJob* audiofile_loader_create(const char* path);
bool audiofile_loader_begin(void* job, int32_t channels, double rate, int64_t expected_frames);
bool audiofile_loader_append(void* job, const float* interleaved, int64_t frames);
