// tempo.cpp - the analysis record's lifecycle and its windows: onset flux from a
// 1024-point spectrum every 512 frames, pitch-class energy from an 8192-point spectrum
// every 16th window.
// Threads: UI thread only.
#include "audio/tempo.h"

#include <cmath>
#include <cstdlib>

// ---------------------------------------------------------------------------
// Constants
// ---------------------------------------------------------------------------

static const int kHop = 512;
static const int kShort = 1024;
static const int kLong = 8192;
static const int kChromaEvery = 16;        // windows between pitch-class spectra
static const double kMaxSeconds = 600.0;   // longer takes are analysed over this much
static const double kMinRate = 8000.0;
// A damaged float file can hold NaN, infinities or absurd values; a single one would
// turn a whole spectrum into NaN or infinity and poison every result after it. NaN and
// infinities are read as 0, and finite values are clipped to this, which no real
// recording reaches and which keeps every sum of an 8192-point spectrum finite in float.
static const float kSampleLimit = 1.0e6f;

// ---------------------------------------------------------------------------
// Windows
// ---------------------------------------------------------------------------

// The mono signal at frame f: channel 1 alone, or the mean of channels 1 and 2; frames
// past the end are 0.
static inline float mono_at(const TempoAnalysis* a, int64_t f)
{
    if (f >= a->frames)
        return 0.0f;
    float v;
    if (a->channels == 1) {
        v = a->samples[f];
    } else {
        const float* s = a->samples + f * a->channels;
        v = 0.5f * s[0] + 0.5f * s[1];   // halves first: two huge values must not overflow
    }
    if (!std::isfinite(v))
        return 0.0f;
    return v > kSampleLimit ? kSampleLimit : (v < -kSampleLimit ? -kSampleLimit : v);
}

// Fills the FFT buffers with `len` windowed frames from `start`.
static void load_frames(TempoAnalysis* a, int64_t start, const float* window, int len)
{
    for (int i = 0; i < len; i++) {
        a->fft_re[i] = mono_at(a, start + i) * window[i];
        a->fft_im[i] = 0.0f;
    }
}

static void onset_window(TempoAnalysis* a, int64_t h)
{
    load_frames(a, h * kHop, a->short_window, kShort);
    tempo_fft(a->fft_re, a->fft_im, kShort);
    double flux = 0.0;
    for (int bin = 1; bin < kShort / 2; bin++) {
        float re = a->fft_re[bin], im = a->fft_im[bin];
        float mag = std::sqrt(re * re + im * im);
        float level = std::log(1.0f + mag * 200.0f / 512.0f);
        float rise = level - a->previous[bin];
        if (rise > 0.0f)
            flux += rise;
        a->previous[bin] = level;
    }
    a->envelope[h] = h == 0 ? 0.0f : (float)flux;
}

static void chroma_window(TempoAnalysis* a, int64_t h)
{
    load_frames(a, h * kHop, a->long_window, kLong);
    tempo_fft(a->fft_re, a->fft_im, kLong);
    double width = a->sample_rate / kLong;
    int lo = 1 + (int)(55.0 / width);
    int hi = (int)(2000.0 / width);
    if (hi > kLong / 2)
        hi = kLong / 2;
    for (int bin = lo; bin < hi; bin++) {
        double note = std::floor(12.0 * std::log2(bin * width / 440.0) + 69.0 + 0.5);
        int pc = (int)std::fmod(note, 12.0);
        if (pc < 0)
            pc += 12;
        float re = a->fft_re[bin], im = a->fft_im[bin];
        a->chroma[pc] += std::sqrt(re * re + im * im);
    }
}

static void analyse_window(TempoAnalysis* a, int64_t h)
{
    onset_window(a, h);
    if (h % kChromaEvery == 0 && h * kHop + kLong <= a->frames)
        chroma_window(a, h);
}

// ---------------------------------------------------------------------------
// Lifecycle
// ---------------------------------------------------------------------------

static void release_buffers(TempoAnalysis* a)
{
    std::free(a->envelope);
    std::free(a->fft_re);
    std::free(a->fft_im);
    std::free(a->short_window);
    std::free(a->long_window);
    std::free(a->decision.thresholded);
    a->envelope = a->fft_re = a->fft_im = a->short_window = a->long_window = nullptr;
    a->decision.thresholded = nullptr;
}

static void fill_hann(float* w, int len)
{
    for (int i = 0; i < len; i++)
        w[i] = (float)(0.5 - 0.5 * std::cos(2.0 * M_PI * i / (len - 1)));
}

static void end_without_results(TempoAnalysis* a)
{
    release_buffers(a);
    a->samples = nullptr;
    a->running = 0;
    a->done = 1;
    a->tempo = 0.0f;
    a->first_beat = 0.0;
    a->tempo_confidence = 0.0f;
    a->key = -1;
    a->key_confidence = 0.0f;
}

void tempo_analysis_begin(TempoAnalysis* a, const float* samples, int32_t channels, int64_t frames,
                          double rate)
{
    if (!a)
        return;
    release_buffers(a);
    *a = TempoAnalysis{};
    if (!samples || channels < 1 || frames < kShort || !(rate >= kMinRate) || !std::isfinite(rate)) {
        a->done = 1;
        return;
    }
    // Compared as doubles: the product cannot overflow the frame count's type.
    if ((double)frames > rate * kMaxSeconds)
        frames = (int64_t)(rate * kMaxSeconds);
    a->samples = samples;
    a->channels = channels;
    a->frames = frames;
    a->sample_rate = rate;
    a->hops_total = frames / kHop;
    a->envelope = (float*)std::calloc((size_t)a->hops_total + 1, sizeof(float));
    a->fft_re = (float*)std::malloc(kLong * sizeof(float));
    a->fft_im = (float*)std::malloc(kLong * sizeof(float));
    a->short_window = (float*)std::malloc(kShort * sizeof(float));
    a->long_window = (float*)std::malloc(kLong * sizeof(float));
    if (!a->envelope || !a->fft_re || !a->fft_im || !a->short_window || !a->long_window) {
        end_without_results(a);
        return;
    }
    fill_hann(a->short_window, kShort);
    fill_hann(a->long_window, kLong);
    a->running = 1;
}

int tempo_analysis_step(TempoAnalysis* a, int32_t windows)
{
    if (!a)
        return 1;
    if (!a->running)
        return a->done;
    int64_t allowance = windows > 0 ? (int64_t)windows * TEMPO_WINDOW_COST : 0;
    while (allowance > 0 && a->hops_done < a->hops_total) {
        analyse_window(a, a->hops_done);
        a->hops_done++;
        allowance -= TEMPO_WINDOW_COST;
    }
    if (a->hops_done < a->hops_total)
        return 0;
    int32_t stage = tempo_decide(a, &allowance);
    if (stage == TEMPO_DECIDE_FAILED) {
        end_without_results(a);
        return 1;
    }
    if (stage != TEMPO_DECIDE_DONE)
        return 0;
    key_estimate(a);
    release_buffers(a);
    a->samples = nullptr;
    a->running = 0;
    a->done = 1;
    return 1;
}

float tempo_analysis_progress(const TempoAnalysis* a)
{
    if (!a)
        return 0.0f;
    if (a->running)
        return a->hops_total > 0 ? (float)a->hops_done / (float)a->hops_total : 0.0f;
    return a->done ? 1.0f : 0.0f;
}

void tempo_analysis_free(TempoAnalysis* a)
{
    if (!a)
        return;
    release_buffers(a);
    a->running = 0;
    a->samples = nullptr;
}
