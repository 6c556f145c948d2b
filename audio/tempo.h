// tempo.h - tempo, first beat and key of a decoded take, found a few analysis windows at
// a time so that the frame loop never stalls.
// Threads: UI thread only. The analysis reads the caller's samples without a lock: the
//          owner keeps them alive and unchanged until the analysis has ended or is freed.
// Depends on: nothing (the samples usually come from a SampleBuffer).
#pragma once
#include <cstdint>

// Where the tempo decision stands. Its work grows with the take's length times its rate
// (a 10-minute take at 48 kHz costs as much as a few hundred windows), so the steps do it
// in slices, each charged against their budget; the result is the same as in one go.
struct TempoDecision {
    int32_t stage = 0;                // TEMPO_DECIDE_*
    float* thresholded = nullptr;     // the envelope's thresholded copy while it is made
    int64_t cursor = 0;               // next value, lag or period of the stage
    int32_t multiple = 1;             // next multiple of the lag (1..4)
    double score = 0.0;               // the lag's score so far
    double window_sum = 0.0;          // the threshold's running sum
    double sum = 0.0, squares = 0.0;  // of the thresholded envelope
    int64_t winner = 0;               // best lag so far; 0 none
    double best = 0.0;                // its weighted score
    double period = 0.0, phase = 0.0, value = -1.0;   // best beat grid so far
};

// Lifecycle: cleared -> begin -> running -> steps ... -> done, with or without results.
// A new begin or a free ends an analysis at any point; the results stay readable after
// done. Work per step: one 1024-point FFT per window, one 8192-point FFT on every 16th
// window; once the windows are done, slices of the tempo decision, then the key.
struct TempoAnalysis {
    const float* samples = nullptr;   // interleaved, borrowed; cleared at the end
    int32_t channels = 0;
    int64_t frames = 0;               // frames analysed: at most 600 s of the buffer
    double sample_rate = 0.0;
    int64_t hops_done = 0;            // analysis windows processed
    int64_t hops_total = 0;           // frames / 512
    float* envelope = nullptr;        // onset envelope, hops_total + 1 values
    float previous[512] = {};         // log magnitudes of the previous window
    float* fft_re = nullptr;          // 8192 each: FFT work buffers
    float* fft_im = nullptr;
    float* short_window = nullptr;    // 1024-point Hann window
    float* long_window = nullptr;     // 8192-point Hann window
    double chroma[12] = {};           // energy per pitch class, C = 0 ... B = 11
    uint8_t running = 0;
    uint8_t done = 0;                 // ended, with or without results
    float tempo = 0.0f;               // BPM; 0 = not found
    double first_beat = 0.0;          // seconds from the start of the take
    float tempo_confidence = 0.0f;    // 0..1
    int32_t key = -1;                 // 0..11 major from C, 12..23 minor from C; -1 none
    float key_confidence = 0.0f;      // best profile correlation, 0 when not positive
    TempoDecision decision;
};

// Frees any previous state and clears the record (key -1), then starts on the samples.
// Unusable input (no samples, no channels, fewer than 1024 frames, a rate below
// 8000 Hz or not a finite number) and failed allocations end it at once: done, no
// results. Frames past 10 minutes are not analysed.
void tempo_analysis_begin(TempoAnalysis* a, const float* samples, int32_t channels, int64_t frames,
                          double rate);
// Processes up to `windows` analysis windows; once none remain, the budget left goes to
// the tempo decision (at least one slice of it per step); when that has ended, decides
// the key, frees the buffers and returns 1. Returns 0 while work remains. An analysis
// that is not running returns its done flag; a null one returns 1.
int tempo_analysis_step(TempoAnalysis* a, int32_t windows);
// hops_done / hops_total while running; 1 when done; 0 when never started or freed
// before its end.
float tempo_analysis_progress(const TempoAnalysis* a);
// Frees the buffers, clears running and the samples pointer; the results stay.
void tempo_analysis_free(TempoAnalysis* a);

// "C MAJ" ... "B MAJ", "C MIN" ... "B MIN"; "" outside 0..23.
const char* key_name(int32_t key);

// In-place radix-2 complex FFT, forward (twiddle e^(-2 pi i / len)), bit-reversed order
// first. n must be a power of two; any other n leaves the data untouched.
void tempo_fft(float* re, float* im, int32_t n);
// Mean of the envelope sampled at start, start + step, ... while below count - 1, each
// value interpolated linearly between neighbours (a position below 0 is taken as 0).
// 0 when no position qualifies, and for a step that is not a positive finite number.
double tempo_envelope_mean(const float* envelope, int64_t count, double step, double start);

// The two decisions in one go; they read the envelope (hops_total values) and the
// chroma. tempo_estimate replaces the envelope by its thresholded copy and returns false
// only when that copy cannot be allocated.
bool tempo_estimate(TempoAnalysis* a);
void key_estimate(TempoAnalysis* a);

// The tempo decision by slices: works until *allowance (in the units of
// TEMPO_WINDOW_COST a window) is spent, always at least one slice, and takes what it
// used from *allowance. Returns TEMPO_DECIDE_DONE when decided (with or without a
// tempo), TEMPO_DECIDE_FAILED when out of memory, else the stage it stopped in.
enum {
    TEMPO_DECIDE_START = 0,
    TEMPO_DECIDE_THRESHOLD,
    TEMPO_DECIDE_LAGS,
    TEMPO_DECIDE_PERIODS,
    TEMPO_DECIDE_PHASE,
    TEMPO_DECIDE_DONE,
    TEMPO_DECIDE_FAILED,
};
static const int64_t TEMPO_WINDOW_COST = 32768;
int32_t tempo_decide(TempoAnalysis* a, int64_t* allowance);
