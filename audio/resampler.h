// resampler.h - the one way a take reaches the loop at another rate: a low-pass
// first when the rate drops, so what the new rate cannot hold is not folded back into
// the audible band, then band-limited interpolation at each new frame's position. At
// the same rate nothing is filtered: whole-frame positions copy their frames and a
// position between two frames is read linearly between them.
// Threads: loaders and the UI thread, one record per resampling; never the audio
//          callback.
// Depends on: biquad.h.
#pragma once
#include <cstdint>

// Reads the input's next frames, at most max, into left and right, from where the
// last read ended; returns how many, 0 at the input's end.
typedef int64_t (*ResampleRead)(void* ctx, float* left, float* right, int64_t max);

struct ResampleInput {
    ResampleRead read;
    void* ctx;
    int64_t first;   // the frame index of the first frame read gives
    int64_t end;     // one past the last frame the input declares (reads may end sooner)
};

struct Resampler;

// A resampling from from_rate to to_rate; null when either is not above 0 or memory
// runs out.
Resampler* resampler_create(double from_rate, double to_rate);
void resampler_destroy(Resampler* r);   // null: nothing
// Writes up to n frames into left and right, frame i being the input at frame
// position start + i x from_rate / to_rate; past the input's last frame it repeats
// that frame. Returns the frames made: fewer than n only when the reads end before
// the input's declared end and a frame's neighbours are not there. Each run starts
// afresh from the input's first frame.
int32_t resampler_run(Resampler* r, const ResampleInput* in, double start, float* left, float* right,
                      int32_t n);

// The same from interleaved samples in memory: channel 0 left, channel 1 right (a mono
// buffer's channel 0 on both), each times gain. False when there is nothing to read
// or memory runs out.
bool resample_interleaved(const float* samples, int32_t channels, int64_t frames, double from_rate,
                          double to_rate, double start, float gain, float* left, float* right, int32_t n);
