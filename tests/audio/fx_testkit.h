// fx_testkit.h - helpers shared by the effect tests: a slot that frees itself,
// one-frame processing, deterministic noise and spectrum reads.
#pragma once
#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <vector>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#endif

#include "audio/fx.h"

struct FxSlotFree {
    void operator()(FxSlot* s) const
    {
        fx_free(s);
        delete s;
    }
};
using FxSlotPtr = std::unique_ptr<FxSlot, FxSlotFree>;

// Sets type and knobs as the UI does and takes them as the callback's block does.
inline void fxt_set(FxSlot* s, int type, float k1, float k2)
{
    s->effect_type.store(type);
    s->knob1.store(k1);
    s->knob2.store(k2);
    fx_update(s);
}

// A set-up slot; smoothing off unless asked for, so knob values apply at once.
// Flushes denormals to zero as the callback does.
inline FxSlotPtr fxt_slot(int type, float k1, float k2, bool smoothing = false)
{
#if defined(__SSE__) || defined(__x86_64__)
    _mm_setcsr(_mm_getcsr() | 0x8040);
#endif
    FxSlotPtr s(new FxSlot());
    if (fx_init(s.get()) != 0)
        return nullptr;
    s->smoothing = smoothing ? 1 : 0;
    fxt_set(s.get(), type, k1, k2);
    return s;
}

// Runs one frame straight through the effect (no fx_mix, so no frame of delay).
inline float fxt_frame(FxSlot* s, float l, float r, float* out_r = nullptr)
{
    s->in_l = l;
    s->in_r = r;
    fx_process_frame(s);
    if (out_r)
        *out_r = s->out_r;
    return s->out_l;
}

// Runs a mono signal through both sides; returns the left output.
inline std::vector<float> fxt_run(FxSlot* s, const std::vector<float>& in)
{
    std::vector<float> out(in.size());
    for (size_t i = 0; i < in.size(); i++)
        out[i] = fxt_frame(s, in[i], in[i]);
    return out;
}

inline std::vector<float> fxt_impulse(size_t n)
{
    std::vector<float> v(n, 0.0f);
    v[0] = 1.0f;
    return v;
}

// Uniform white noise in [-1, 1).
struct FxtNoise {
    uint32_t seed = 0x2545F491u;
    float next()
    {
        seed = seed * 1103515245u + 12345u;
        return (float)(seed >> 8) / 8388608.0f - 1.0f;
    }
    std::vector<float> block(size_t n, float gain = 1.0f)
    {
        std::vector<float> v(n);
        for (float& x : v)
            x = next() * gain;
        return v;
    }
};

// Magnitude of the response h at frequency f (Hz, 48 kHz).
inline double fxt_magnitude(const std::vector<float>& h, double f)
{
    std::complex<double> acc = 0.0;
    for (size_t n = 0; n < h.size(); n++)
        acc += (double)h[n] * std::polar(1.0, -2.0 * M_PI * f / 48000.0 * (double)n);
    return std::abs(acc);
}

inline double fxt_rms(const std::vector<float>& v, size_t from = 0, size_t to = SIZE_MAX)
{
    to = to < v.size() ? to : v.size();
    double acc = 0.0;
    for (size_t i = from; i < to; i++)
        acc += (double)v[i] * v[i];
    return to > from ? std::sqrt(acc / (double)(to - from)) : 0.0;
}
