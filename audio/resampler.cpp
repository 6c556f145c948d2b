// resampler.cpp - the low-pass and the interpolation of resampler.h.
//
// The low-pass is a 12th-order Butterworth: six second-order sections in double
// precision, run over the input at its own rate. The interpolation reads a
// Kaiser-windowed sinc of 16 taps from a table of 2048 phases, the phase nearest the
// position. Its pass band reaches past a third of the input's rate, so at a rate drop
// the low-pass alone shapes the response; when the rate rises it holds the images of
// the take's band down, by 60 dB and more for what lies below a third of its rate.
//
// The low-pass delays what passes it by some frames (its group delay at 0 Hz, the
// centre of an onset's response): positions are read that much later, so an onset
// keeps its place. A cycle is read as the frames of the extended input -lead, -lead +
// 1, ..., each frame k being the input's frame k mod end: the low-pass settles over
// the take's end before frame 0, and the kernel reads across the wrap both ways.
#include "audio/resampler.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "audio/biquad.h"

// ---------------------------------------------------------------------------
// Constants and types
// ---------------------------------------------------------------------------

static const int kSections = 6;
// The corner as a fraction of the new rate: a 96 kHz take going to 48 kHz keeps
// 18 kHz within 0.2 dB, and a 30 kHz component, which would fold back to 18 kHz,
// comes down by about 68 dB.
static const double kCutoffOfNewRate = 0.42;
static const int kHalf = 8;                   // taps each side of the position
static const int kTaps = 2 * kHalf;
static const int kPhases = 2048;
static const double kKaiserBeta = 5.7;        // about 60 dB down in the stop band
static const int64_t kWindow = 8192;          // input frames held per side
// Input frames the low-pass runs for, in frames of the new rate, before the first it
// is read at: its ringing lasts longer the lower its corner.
static const double kSettleFrames = 256.0;
static const double kPi = 3.14159265358979323846;

struct SincTable {
    double taps[kPhases + 1][kTaps];          // row j: the taps at a position j / kPhases past a frame
};

struct Resampler {
    double step;                              // input frames per output frame
    bool same;                                // equal rates: no low-pass, linear reads
    int32_t sections;                         // 0 when the rate does not drop
    double delay;                             // the low-pass's delay in input frames
    double coef[kSections][5];
    double state[2][kSections][4];
    bool primed;                              // the state has met the first frame
    float* fresh[2];                          // what one read gives, before the low-pass
    double* win[2];                           // the input frames [base, base + count), low-passed
    int64_t base, count;
    bool ended;                               // the reads have ended at base + count
};

static SincTable g_sinc;

// ---------------------------------------------------------------------------
// The interpolation table
// ---------------------------------------------------------------------------

// The modified Bessel function of order 0, by its series.
static double bessel_i0(double x)
{
    double sum = 1.0, term = 1.0;
    for (int k = 1; k < 64 && term > sum * 1e-17; k++) {
        term *= (x / (2.0 * k)) * (x / (2.0 * k));
        sum += term;
    }
    return sum;
}

static void sinc_fill(SincTable* t)
{
    const double norm = bessel_i0(kKaiserBeta);
    for (int j = 0; j <= kPhases; j++) {
        double f = (double)j / kPhases, sum = 0.0;
        for (int k = 0; k < kTaps; k++) {
            double x = (double)(k - kHalf + 1) - f;   // tap k reads frame floor(position) - kHalf + 1 + k
            double u = x / kHalf;
            double w = u * u < 1.0 ? bessel_i0(kKaiserBeta * std::sqrt(1.0 - u * u)) / norm : 0.0;
            double s = std::fabs(x - std::round(x)) < 1e-12 ? (std::round(x) == 0.0 ? 1.0 : 0.0)
                                                             : std::sin(kPi * x) / (kPi * x);
            t->taps[j][k] = s * w;
            sum += s * w;
        }
        // Unity gain at every phase: a constant reads back as itself.
        for (int k = 0; k < kTaps; k++)
            t->taps[j][k] /= sum;
    }
}

// ---------------------------------------------------------------------------
// Create and destroy
// ---------------------------------------------------------------------------

Resampler* resampler_create(double from_rate, double to_rate)
{
    if (!(from_rate > 0.0) || !(to_rate > 0.0))
        return nullptr;
    static const bool filled = (sinc_fill(&g_sinc), true);   // once, whichever thread comes first
    (void)filled;
    Resampler* r = (Resampler*)std::calloc(1, sizeof(Resampler));
    if (!r)
        return nullptr;
    r->step = from_rate / to_rate;
    r->same = r->step == 1.0;
    bool ok = true;
    for (int side = 0; side < 2; side++) {
        r->fresh[side] = (float*)std::malloc(sizeof(float) * (size_t)kWindow);
        r->win[side] = (double*)std::malloc(sizeof(double) * (size_t)kWindow);
        ok = ok && r->fresh[side] && r->win[side];
    }
    if (!ok) {
        resampler_destroy(r);
        return nullptr;
    }
    if (to_rate < from_rate) {
        double w = 2.0 * kPi * kCutoffOfNewRate * to_rate / from_rate;
        for (int k = 0; k < kSections; k++) {
            // The poles of a Butterworth filter of order 2 x sections, in conjugate pairs.
            double q = 1.0 / (2.0 * std::cos(kPi * (2 * k + 1) / (4.0 * kSections)));
            biquad_pass(w, q, false, r->coef[k]);
            // A section's group delay at 0 Hz: with b = b0 (1, 2, 1) it is
            // 1 - (a1 + 2 a2) / (1 + a1 + a2).
            const double* c = r->coef[k];
            r->delay += 1.0 - (c[3] + 2.0 * c[4]) / (1.0 + c[3] + c[4]);
        }
        r->sections = kSections;
    }
    return r;
}

// Input frames read before the first position: the kernel's reach, and the
// low-pass's settling when it runs.
static double resampler_lead(const Resampler* r)
{
    return kHalf + (r->sections ? kSettleFrames * r->step : 0.0);
}

void resampler_destroy(Resampler* r)
{
    if (!r)
        return;
    for (int side = 0; side < 2; side++) {
        std::free(r->fresh[side]);
        std::free(r->win[side]);
    }
    std::free(r);
}

// ---------------------------------------------------------------------------
// The input window
// ---------------------------------------------------------------------------

// A read's frames of one side into the window at out, through the low-pass when the
// rate drops. At another rate a sample that is no number would smear over its
// neighbours (and stay in the filter's state, silencing the rest of the take): it
// counts as silence.
static void window_take(Resampler* r, int side, const float* x, double* out, int64_t frames)
{
    if (r->same) {
        for (int64_t i = 0; i < frames; i++)
            out[i] = x[i];
        return;
    }
    for (int64_t i = 0; i < frames; i++)
        out[i] = std::isfinite(x[i]) ? x[i] : 0.0;
    if (r->sections == 0)
        return;
    if (!r->primed) {
        // Settled on the first frame, as if the take had held it before: no click.
        for (int k = 0; k < r->sections; k++)
            std::fill(r->state[side][k], r->state[side][k] + 4, out[0]);
    }
    // A section at a time over the whole read, its state held in registers.
    for (int k = 0; k < r->sections; k++) {
        double st[4];
        std::memcpy(st, r->state[side][k], sizeof st);
        for (int64_t i = 0; i < frames; i++)
            out[i] = biquad_step(r->coef[k], st, out[i]);
        std::memcpy(r->state[side][k], st, sizeof st);
    }
}

// Makes frame k readable, dropping frames below keep that no later frame needs; false
// when the reads end before it.
static bool window_reach(Resampler* r, const ResampleInput* in, int64_t k, int64_t keep)
{
    while (k >= r->base + r->count && !r->ended) {
        if (r->count == kWindow) {
            int64_t drop = std::clamp(keep - r->base, (int64_t)0, r->count);
            for (double* w : r->win)
                std::memmove(w, w + drop, sizeof(double) * (size_t)(r->count - drop));
            r->base += drop;
            r->count -= drop;
        }
        int64_t want = std::min(kWindow - r->count, in->end - (r->base + r->count));
        int64_t got = want > 0 ? in->read(in->ctx, r->fresh[0], r->fresh[1], want) : 0;
        if (got <= 0) {
            r->ended = true;
            break;
        }
        for (int side = 0; side < 2; side++)
            window_take(r, side, r->fresh[side], r->win[side] + r->count, got);
        r->primed = true;
        r->count += got;
    }
    return k < r->base + r->count;
}

// Frame k of side, held at the input's first and last frames read.
static double window_at(const Resampler* r, int side, int64_t k)
{
    k = std::clamp(k, r->base, r->base + r->count - 1);
    return r->win[side][k - r->base];
}

// ---------------------------------------------------------------------------
// Running
// ---------------------------------------------------------------------------

// Both sides at position i0 + f through the windowed sinc.
static void sinc_read(Resampler* r, const ResampleInput* in, int64_t i0, double f, float* l, float* rr)
{
    int64_t lo = i0 - kHalf + 1;
    if (i0 + kHalf >= r->base + r->count)
        window_reach(r, in, i0 + kHalf, lo);
    const double* t = g_sinc.taps[(int)(f * kPhases + 0.5)];
    // Two sums a side, so each add need not wait for the one before.
    double l0 = 0.0, l1 = 0.0, r0 = 0.0, r1 = 0.0;
    if (lo >= r->base && i0 + kHalf < r->base + r->count) {
        const double* x0 = r->win[0] + (lo - r->base);
        const double* x1 = r->win[1] + (lo - r->base);
        for (int k = 0; k < kTaps; k += 2) {
            l0 += t[k] * x0[k];
            l1 += t[k + 1] * x0[k + 1];
            r0 += t[k] * x1[k];
            r1 += t[k + 1] * x1[k + 1];
        }
    } else {
        for (int k = 0; k < kTaps; k++) {
            l0 += t[k] * window_at(r, 0, lo + k);
            r0 += t[k] * window_at(r, 1, lo + k);
        }
    }
    *l = (float)(l0 + l1);
    *rr = (float)(r0 + r1);
}

// Both sides at position i0 + f, linear between frame i0 and the next.
static void linear_read(Resampler* r, const ResampleInput* in, int64_t i0, float f, float* l, float* rr)
{
    float a0 = (float)window_at(r, 0, i0), a1 = (float)window_at(r, 1, i0);
    if (f == 0.0f) {
        *l = a0;
        *rr = a1;
        return;
    }
    int64_t i1 = i0 + 1 < in->end ? i0 + 1 : i0;
    window_reach(r, in, i1, i0);
    *l = (1.0f - f) * a0 + f * (float)window_at(r, 0, i1);
    *rr = (1.0f - f) * a1 + f * (float)window_at(r, 1, i1);
}

// Frames i = 0 .. n - 1 at input positions start + i x step, read from the low-pass's
// output that much later than its delay.
static int32_t run_positions(Resampler* r, const ResampleInput* in, double start, double step, float* left,
                             float* right, int32_t n)
{
    r->base = in->first;
    r->count = 0;
    r->ended = false;
    r->primed = false;
    int32_t made = 0;
    for (; made < n; made++) {
        double p = start + (double)made * step + r->delay;
        double fl = std::floor(p);
        int64_t i0 = std::clamp((int64_t)fl, in->first, in->end - 1);
        // A frame is made while the reads reach the neighbour it is read towards.
        int64_t hi = !r->same && i0 + 1 < in->end ? i0 + 1 : i0;
        if (hi >= r->base + r->count && !window_reach(r, in, hi, r->same ? i0 : i0 - kHalf + 1))
            break;
        if (r->same)
            linear_read(r, in, i0, (float)(p - fl), &left[made], &right[made]);
        else
            sinc_read(r, in, (int64_t)fl, p - fl, &left[made], &right[made]);
    }
    return made;
}

int32_t resampler_run(Resampler* r, const ResampleInput* in, double start, float* left, float* right,
                      int32_t n)
{
    if (!r || !in || !in->read || in->end <= in->first)
        return 0;
    return run_positions(r, in, start, r->step, left, right, n);
}

// ---------------------------------------------------------------------------
// Cycles
// ---------------------------------------------------------------------------

// The extended input of a cycle: frame k is the input's frame k mod frames, its reads
// going back to the input's frame 0 at each wrap.
struct CycleInput {
    const ResampleInput* in;
    int64_t frames;
    int64_t at;          // the extended frame the next read gives
    int64_t inner;       // the input's frame its next read gives; -1 before the first seek
};

static int64_t cycle_read(void* ctx, float* left, float* right, int64_t max)
{
    CycleInput* c = (CycleInput*)ctx;
    int64_t k = c->at % c->frames;
    k = k < 0 ? k + c->frames : k;
    if (k != c->inner) {
        if (!c->in->seek(c->in->ctx, k))
            return 0;
        c->inner = k;
    }
    int64_t got = c->in->read(c->in->ctx, left, right, std::min(max, c->frames - k));
    if (got <= 0)
        return 0;
    c->inner = k + got;
    c->at += got;
    return got;
}

int32_t resampler_run_cycle(Resampler* r, const ResampleInput* in, float* left, float* right, int32_t n)
{
    if (!r || !in || !in->read || !in->seek || in->end < 1 || n < 1)
        return 0;
    double step = (double)in->end / n;
    int64_t lead = (int64_t)std::ceil(resampler_lead(r));
    CycleInput c{in, in->end, -lead, -1};
    // Reads reach past the last position by the kernel's half and the next frame.
    int64_t end = (int64_t)std::ceil((double)(n - 1) * step + r->delay) + kHalf + 2;
    ResampleInput ext{cycle_read, &c, -lead, end, nullptr};
    return run_positions(r, &ext, 0.0, step, left, right, n);
}

int64_t resample_length(int64_t frames, double from_rate, double to_rate, int64_t cap)
{
    if (frames < 1 || !(from_rate > 0.0) || !(to_rate > 0.0) || cap < 1)
        return 0;
    const double whole = 4294967296.0;
    if (from_rate == std::floor(from_rate) && to_rate == std::floor(to_rate) && from_rate < whole &&
        to_rate < whole) {
        // frames = q x from + rem: q x to whole frames, and rem x to / from more, each
        // product within 64 bits.
        uint64_t from = (uint64_t)from_rate, to = (uint64_t)to_rate, f = (uint64_t)frames;
        uint64_t q = f / from, rem = f % from;
        if (q >= (uint64_t)cap || q >= UINT64_MAX / 2 / to)
            return cap;
        uint64_t n = q * to + rem * to / from;
        return n > (uint64_t)cap ? cap : (int64_t)n;
    }
    double n = std::floor((double)frames * (to_rate / from_rate));
    return n >= (double)cap ? cap : n >= 1.0 ? (int64_t)n : 0;
}

// ---------------------------------------------------------------------------
// Interleaved samples in memory
// ---------------------------------------------------------------------------

struct MemoryInput {
    const float* samples;
    int32_t channels, second;
    int64_t next, frames;
};

static int64_t memory_read(void* ctx, float* left, float* right, int64_t max)
{
    MemoryInput* m = (MemoryInput*)ctx;
    int64_t n = std::min(max, m->frames - m->next);
    for (int64_t i = 0; i < n; i++) {
        const float* x = m->samples + (m->next + i) * m->channels;
        left[i] = x[0];
        right[i] = x[m->second];
    }
    m->next += n;
    return n;
}

static bool memory_seek(void* ctx, int64_t k)
{
    ((MemoryInput*)ctx)->next = k;
    return true;
}

static void apply_gain(float gain, float* left, float* right, int32_t n)
{
    for (int32_t i = 0; i < n; i++) {
        left[i] *= gain;
        right[i] *= gain;
    }
}

bool resample_interleaved(const float* samples, int32_t channels, int64_t frames, double from_rate,
                          double to_rate, double start, float gain, float* left, float* right, int32_t n)
{
    if (!samples || channels < 1 || frames < 1 || n < 1)
        return false;
    Resampler* r = resampler_create(from_rate, to_rate);
    if (!r)
        return false;
    // Reading starts far enough before the first position for the kernel's reach and
    // for the low-pass to settle.
    double from = std::floor(start - resampler_lead(r));
    int64_t first = from > 0.0 ? (int64_t)std::min(from, (double)(frames - 1)) : 0;
    MemoryInput m{samples, channels, channels > 1 ? 1 : 0, first, frames};
    ResampleInput in{memory_read, &m, first, frames, memory_seek};
    int32_t made = resampler_run(r, &in, start, left, right, n);
    resampler_destroy(r);
    apply_gain(gain, left, right, made);
    return made == n;
}

bool resample_cycle(const float* samples, int32_t channels, int64_t frames, double from_rate, double to_rate,
                    float gain, float* left, float* right, int32_t n)
{
    if (!samples || channels < 1 || frames < 1 || n < 1)
        return false;
    Resampler* r = resampler_create(from_rate, to_rate);
    if (!r)
        return false;
    MemoryInput m{samples, channels, channels > 1 ? 1 : 0, 0, frames};
    ResampleInput in{memory_read, &m, 0, frames, memory_seek};
    int32_t made = resampler_run_cycle(r, &in, left, right, n);
    resampler_destroy(r);
    apply_gain(gain, left, right, made);
    return made == n;
}
