// resampler.h - the one way a take reaches the loop at another rate: a low-pass
// first when the rate drops, so what the new rate cannot hold is not folded back into
// the audible band, then band-limited interpolation at each new frame's position. The
// low-pass's delay is taken out, so what happens at a frame of the take lands at its
// place in the loop. At the same rate nothing is filtered: whole-frame positions copy
// their frames and a position between two frames is read linearly between them.
// A take that becomes the loop whole is resampled as the cycle it is: the low-pass
// comes in from the take's end and the interpolation reads across the wrap, so the
// seam is as smooth as any other point of the loop.
// Threads: loaders, the take loader's worker and the UI thread, one record per
//          resampling; never the audio callback.
// Depends on: biquad.h.
#pragma once
#include <cstdint>

// Reads the input's next frames, at most max, into left and right, from where the
// last read ended (or the last seek went); returns how many, 0 at the input's end.
typedef int64_t (*ResampleRead)(void* ctx, float* left, float* right, int64_t max);
// Moves the next read to frame k (0 <= k < end); false when it cannot.
typedef bool (*ResampleSeek)(void* ctx, int64_t k);

struct ResampleInput {
    ResampleRead read;
    void* ctx;
    int64_t first;        // the frame index of the first frame read gives
    int64_t end;          // one past the last frame the input declares (reads may end sooner)
    ResampleSeek seek;    // needed by resampler_run_cycle only
};

struct Resampler;

// A resampling from from_rate to to_rate; null when either is not above 0 or memory
// runs out.
Resampler* resampler_create(double from_rate, double to_rate);
void resampler_destroy(Resampler* r);   // null: nothing
// Writes up to n frames into left and right, frame i being the input at frame
// position start + i x from_rate / to_rate; before the input's first frame read and
// past its last it holds those frames. Returns the frames made: fewer than n only when
// the reads end before the input's declared end and a frame's neighbours are not
// there. Each run starts afresh from the input's first frame.
int32_t resampler_run(Resampler* r, const ResampleInput* in, double start, float* left, float* right,
                      int32_t n);
// The input's frames 0 .. end - 1 as one cycle of a loop of n frames: frame i is the
// input at position i x end / n, read around the wrap (a rate so near the two rates'
// ratio that the cycle fits n whole frames). Needs in->seek; in->first is not used.
// Returns the frames made: fewer than n only when a read or a seek fails.
int32_t resampler_run_cycle(Resampler* r, const ResampleInput* in, float* left, float* right, int32_t n);

// The frames a take of frames frames at from_rate comes to at to_rate: frames x to /
// from, truncated, worked in integers when both rates are whole (as every file's
// and device's is), so a whole second stays a whole second; at most cap.
int64_t resample_length(int64_t frames, double from_rate, double to_rate, int64_t cap);

// From interleaved samples in memory: channel 0 left, channel 1 right (a mono
// buffer's channel 0 on both), each times gain. resample_interleaved reads from
// position start on, the low-pass settling on the frames before it; resample_cycle
// makes the buffer the cycle of n frames. False when there is nothing to read or
// memory runs out.
bool resample_interleaved(const float* samples, int32_t channels, int64_t frames, double from_rate,
                          double to_rate, double start, float gain, float* left, float* right, int32_t n);
bool resample_cycle(const float* samples, int32_t channels, int64_t frames, double from_rate, double to_rate,
                    float gain, float* left, float* right, int32_t n);
