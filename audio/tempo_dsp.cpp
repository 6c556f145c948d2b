// tempo_dsp.cpp - the analysis's two numeric helpers: the radix-2 FFT and the mean of
// the onset envelope along a beat grid.
// Threads: any thread (pure functions).
#include <cmath>
#include <utility>

#include "audio/tempo.h"

static inline void butterfly(float* re, float* im, int32_t i, int32_t k, float wr, float wi)
{
    float tr = re[k] * wr - im[k] * wi;
    float ti = re[k] * wi + im[k] * wr;
    re[k] = re[i] - tr;
    im[k] = im[i] - ti;
    re[i] += tr;
    im[i] += ti;
}

void tempo_fft(float* re, float* im, int32_t n)
{
    if (!re || !im || n < 2 || (n & (n - 1)) != 0)
        return;
    for (int32_t i = 1, j = 0; i < n; i++) {
        int32_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    // Twiddles of one stage, made by complex multiplication in double: accurate enough
    // over 4096 steps and far cheaper than a sine and cosine each.
    static const int32_t kTableMax = 4096;
    float tw_re[kTableMax], tw_im[kTableMax];
    for (int32_t len = 2; len <= n; len <<= 1) {
        int32_t half = len / 2;
        double angle = -2.0 * M_PI / len;
        double step_re = std::cos(angle), step_im = std::sin(angle);
        double w_re = 1.0, w_im = 0.0;
        if (half <= kTableMax) {
            for (int32_t j = 0; j < half; j++) {
                tw_re[j] = (float)w_re;
                tw_im[j] = (float)w_im;
                double next = w_re * step_re - w_im * step_im;
                w_im = w_re * step_im + w_im * step_re;
                w_re = next;
            }
            // Block by block, each walked in order: the data stays in cache.
            for (int32_t b = 0; b < n; b += len)
                for (int32_t j = 0; j < half; j++)
                    butterfly(re, im, b + j, b + j + half, tw_re[j], tw_im[j]);
            continue;
        }
        for (int32_t j = 0; j < half; j++) {
            for (int32_t i = j; i < n; i += len)
                butterfly(re, im, i, i + half, (float)w_re, (float)w_im);
            double next = w_re * step_re - w_im * step_im;
            w_im = w_re * step_im + w_im * step_re;
            w_re = next;
        }
    }
}

double tempo_envelope_mean(const float* envelope, int64_t count, double step, double start)
{
    // A step of 0 (or NaN) would never leave the loop.
    if (!envelope || count < 2 || !(step > 0.0) || !std::isfinite(step) || !std::isfinite(start))
        return 0.0;
    double last = (double)(count - 1);
    // Positions below 0 are all taken at 0: counted at once rather than walked, so a
    // far negative start costs nothing.
    double below = start < 0.0 ? std::ceil(-start / step) : 0.0;
    double first = start + below * step;
    if (first < 0.0)
        first = 0.0;
    double sum = below * envelope[0];
    double taken = below;
    for (int64_t k = 0;; k++) {
        double pos = first + (double)k * step;
        if (!(pos < last))
            break;
        int64_t i = (int64_t)pos;
        double frac = pos - (double)i;
        sum += envelope[i] * (1.0 - frac) + envelope[i + 1] * frac;
        taken += 1.0;
    }
    return taken > 0.0 ? sum / taken : 0.0;
}
