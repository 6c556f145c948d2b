// tempo_estimate.cpp - the tempo decision: an adaptive threshold on the onset envelope,
// a weighted autocorrelation over 70..180 BPM, then the period and the phase refined
// on a beat grid; done in slices whose cost the caller's budget bounds.
// Threads: UI thread only.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "audio/tempo.h"

static const int kHop = 512;
static const double kPreferredBpm = 120.0;
static const double kSpreadSquared = 0.3025;   // 0.55 octaves
static const int kPhaseSteps = 24;             // phases tried per period
static const int kPeriodSteps = 100;           // periods tried: winner - 1 + 0.02 i

// What slices cost, in the units of TEMPO_WINDOW_COST a window, as measured against
// the average window (its 1024-point FFT and its share of the 8192-point ones).
static const int64_t kThresholdSlice = 4096;   // values per threshold slice
static const int64_t kThresholdCost = 6;       // a thresholded value
static const int64_t kProductsPerUnit = 4;     // autocorrelation products
static const int64_t kGridCost = 4;            // one interpolated grid position

// Sum of e[i] * e[i + lag] over every i that has a partner, in four lanes so that the
// additions need not wait on each other.
static double lagged_dot(const float* e, int64_t n, int64_t lag)
{
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    int64_t count = n - lag, i = 0;
    for (; i + 4 <= count; i += 4) {
        s0 += (double)e[i] * e[i + lag];
        s1 += (double)e[i + 1] * e[i + 1 + lag];
        s2 += (double)e[i + 2] * e[i + 2 + lag];
        s3 += (double)e[i + 3] * e[i + 3 + lag];
    }
    for (; i < count; i++)
        s0 += (double)e[i] * e[i + lag];
    return (s0 + s1) + (s2 + s3);
}

// ---------------------------------------------------------------------------
// Slices
// ---------------------------------------------------------------------------

// What the decision needs from the record, recomputed by every slice.
struct Bounds {
    int64_t n;          // envelope values
    double r;           // envelope values per second
    int64_t shortest;   // lags, in envelope values: 180 BPM
    int64_t longest;    // 70 BPM
    int64_t half_width; // of the threshold's mean
};

static Bounds bounds_of(const TempoAnalysis* a)
{
    Bounds f;
    f.n = a->hops_total;
    f.r = a->sample_rate / kHop;
    f.shortest = (int64_t)(f.r * 60.0 / 180.0);
    f.longest = 1 + (int64_t)(f.r * 60.0 / 70.0);
    f.half_width = (int64_t)(f.r * 0.4);
    return f;
}

// Grid positions of one beat-grid mean, for the cost of a slice.
static int64_t grid_positions(const Bounds& f, double period)
{
    return (int64_t)((double)f.n / period) + 1;
}

static int32_t slice_start(TempoAnalysis* a, int64_t* cost)
{
    TempoDecision* d = &a->decision;
    *cost = 1;
    if (!a->envelope)
        return TEMPO_DECIDE_DONE;
    // Under 4 s nothing is decided. Compared as doubles before any conversion: with an
    // absurd rate the lag bounds would not fit their type, and then this test fails.
    double r = a->sample_rate / kHop;
    if ((double)a->hops_total < std::floor(r * 4.0))
        return TEMPO_DECIDE_DONE;
    Bounds f = bounds_of(a);
    if (f.shortest < 2)
        return TEMPO_DECIDE_DONE;
    d->thresholded = (float*)std::malloc((size_t)f.n * sizeof(float));
    if (!d->thresholded)
        return TEMPO_DECIDE_FAILED;
    d->window_sum = 0.0;
    for (int64_t j = 0; j <= f.half_width && j < f.n; j++)
        d->window_sum += a->envelope[j];
    d->cursor = 0;
    d->sum = d->squares = 0.0;
    *cost = f.half_width;
    return TEMPO_DECIDE_THRESHOLD;
}

// Each value less 1.1 times the mean of the original envelope over i - w .. i + w (cut
// to the envelope), floored at 0, into the copy; the mean slides along as a running sum.
static int32_t slice_threshold(TempoAnalysis* a, int64_t* cost)
{
    TempoDecision* d = &a->decision;
    Bounds f = bounds_of(a);
    const float* in = a->envelope;
    int64_t w = f.half_width, n = f.n;
    int64_t end = d->cursor + kThresholdSlice < n ? d->cursor + kThresholdSlice : n;
    *cost = (end - d->cursor) * kThresholdCost;
    for (int64_t i = d->cursor; i < end; i++) {
        int64_t lo = i - w < 0 ? 0 : i - w;
        int64_t hi = i + w > n - 1 ? n - 1 : i + w;
        double v = in[i] - 1.1 * (d->window_sum / (double)(hi - lo + 1));
        float out = v > 0.0 ? (float)v : 0.0f;
        d->thresholded[i] = out;
        d->sum += out;
        d->squares += (double)out * out;
        if (i + w + 1 < n)
            d->window_sum += in[i + w + 1];
        if (i - w >= 0)
            d->window_sum -= in[i - w];
    }
    d->cursor = end;
    if (end < n)
        return TEMPO_DECIDE_THRESHOLD;
    // Every later stage works on the thresholded envelope.
    std::free(a->envelope);
    a->envelope = d->thresholded;
    d->thresholded = nullptr;
    if (d->squares <= 1e-9)
        return TEMPO_DECIDE_DONE;
    d->cursor = f.shortest;
    d->multiple = 1;
    d->score = 0.0;
    d->winner = 0;
    d->best = 0.0;
    return TEMPO_DECIDE_LAGS;
}

// One multiple of one lag: the lag's score is its autocorrelation summed over its first
// four multiples; weighted by a log-normal preference for 120 BPM, the largest wins and
// the shorter lag wins ties.
static int32_t slice_lag(TempoAnalysis* a, int64_t* cost)
{
    TempoDecision* d = &a->decision;
    Bounds f = bounds_of(a);
    int64_t lag = d->cursor, k = d->multiple;
    *cost = 1;
    if (lag > f.longest || 2 * lag >= f.n) {
        if (d->winner == 0)
            return TEMPO_DECIDE_DONE;
        d->cursor = 0;
        d->value = -1.0;
        d->period = (double)d->winner;
        d->phase = 0.0;
        return TEMPO_DECIDE_PERIODS;
    }
    if (k * lag < f.n) {
        d->score += lagged_dot(a->envelope, f.n, k * lag) / (double)(f.n - k * lag) / (double)k;
        *cost += (f.n - k * lag) / kProductsPerUnit;
    }
    if (k < 4) {
        d->multiple = (int32_t)k + 1;
        return TEMPO_DECIDE_LAGS;
    }
    double octaves = std::log2((f.r * 60.0 / (double)lag) / kPreferredBpm);
    double v = std::exp(-0.5 * octaves * octaves / kSpreadSquared) * d->score;
    if (v > d->best) {
        d->best = v;
        d->winner = lag;
    }
    d->cursor = lag + 1;
    d->multiple = 1;
    d->score = 0.0;
    return TEMPO_DECIDE_LAGS;
}

// One period of the 101 within one value of the winning lag (steps of 0.02), at phases
// in 24ths of it: the beat grid that collects the most envelope so far is kept.
static int32_t slice_period(TempoAnalysis* a, int64_t* cost)
{
    TempoDecision* d = &a->decision;
    Bounds f = bounds_of(a);
    double p = (double)(d->winner - 1) + (double)d->cursor * 0.02;
    for (int j = 0; j < kPhaseSteps; j++) {
        double ph = j * p / kPhaseSteps;
        double v = tempo_envelope_mean(a->envelope, f.n, p, ph);
        if (v > d->value) {
            d->value = v;
            d->period = p;
            d->phase = ph;
        }
    }
    *cost = kPhaseSteps * grid_positions(f, p) * kGridCost;
    d->cursor++;
    return d->cursor <= kPeriodSteps ? TEMPO_DECIDE_PERIODS : TEMPO_DECIDE_PHASE;
}

// The phase again within one 24th either side, in 240ths of the period; then the
// verdict: the best grid must stand well above the envelope's mean.
static int32_t slice_phase(TempoAnalysis* a, int64_t* cost)
{
    TempoDecision* d = &a->decision;
    Bounds f = bounds_of(a);
    double period = d->period, value = d->value, phase = d->phase;
    double from = phase - period / kPhaseSteps;
    for (int i = 0; i <= 20; i++) {
        double ph = from + i * period / (10.0 * kPhaseSteps);
        if (ph < 0.0)
            ph += period;
        double v = tempo_envelope_mean(a->envelope, f.n, period, ph);
        if (v > value) {
            value = v;
            phase = ph;
        }
    }
    *cost = 21 * grid_positions(f, period) * kGridCost;
    double mean = d->sum / (double)f.n;
    double q = mean > 1e-9 ? value / mean : 0.0;
    double confidence = (q - 1.5) / 3.0;
    a->tempo_confidence = (float)(confidence < 0.0 ? 0.0 : confidence > 1.0 ? 1.0 : confidence);
    if (q >= 2.0 && value >= 0.5) {
        a->tempo = (float)(f.r * 60.0 / period);
        a->first_beat = (phase * kHop + kHop) / a->sample_rate;
    }
    return TEMPO_DECIDE_DONE;
}

// ---------------------------------------------------------------------------
// Decision
// ---------------------------------------------------------------------------

int32_t tempo_decide(TempoAnalysis* a, int64_t* allowance)
{
    if (!a || !allowance)
        return TEMPO_DECIDE_DONE;
    TempoDecision* d = &a->decision;
    do {
        int64_t cost = 0;
        switch (d->stage) {
        case TEMPO_DECIDE_START: d->stage = slice_start(a, &cost); break;
        case TEMPO_DECIDE_THRESHOLD: d->stage = slice_threshold(a, &cost); break;
        case TEMPO_DECIDE_LAGS: d->stage = slice_lag(a, &cost); break;
        case TEMPO_DECIDE_PERIODS: d->stage = slice_period(a, &cost); break;
        case TEMPO_DECIDE_PHASE: d->stage = slice_phase(a, &cost); break;
        default: return d->stage;
        }
        *allowance -= cost;
    } while (*allowance > 0 && d->stage < TEMPO_DECIDE_DONE);
    if (d->stage >= TEMPO_DECIDE_DONE) {
        std::free(d->thresholded);
        d->thresholded = nullptr;
    }
    return d->stage;
}

bool tempo_estimate(TempoAnalysis* a)
{
    if (!a)
        return true;
    std::free(a->decision.thresholded);
    a->decision = TempoDecision{};
    int64_t allowance = INT64_MAX;
    int32_t stage;
    do
        stage = tempo_decide(a, &allowance);
    while (stage < TEMPO_DECIDE_DONE);
    return stage != TEMPO_DECIDE_FAILED;
}
