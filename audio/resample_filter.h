// resample_filter.h - the low-pass a take goes through before it is resampled to a
// lower rate, so that what it holds above the new Nyquist frequency is not folded
// back into the audible band as a tone the take never had.
// Threads: loaders and the UI thread; never the audio callback (one record per
//          channel, owned by its caller).
// Depends on: nothing.
#pragma once
#include <cstdint>

constexpr int RESAMPLE_FILTER_SECTIONS = 6;   // a 12th-order Butterworth

struct ResampleFilter {
    int32_t sections;                               // 0: passes everything
    double coef[RESAMPLE_FILTER_SECTIONS][5];       // b0, b1, b2, a1, a2
    double state[RESAMPLE_FILTER_SECTIONS][4];      // x1, x2, y1, y2
};

// Prepares f for content at from_rate going to to_rate: a low-pass just below the new
// Nyquist frequency when to_rate is the lower, else nothing (sections 0).
void resample_filter_init(ResampleFilter* f, double from_rate, double to_rate);
// Filters frames samples in place, stride floats apart (one channel of interleaved data).
void resample_filter_apply(ResampleFilter* f, float* samples, int64_t frames, int stride);
