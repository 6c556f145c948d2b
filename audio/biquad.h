// biquad.h - the second-order low-pass and high-pass section: its coefficients from a
// corner and a Q (the audio cookbook's formulas) and one sample through it in direct
// form I. The filter effects run it in float at their design rate; the resampler runs
// it in double, so corners far below a file's rate stay stable.
// Threads: any [RT]: no state of its own, nothing allocated.
// Depends on: nothing.
#pragma once
#include <cmath>

// c = b0, b1, b2, a1, a2 (over a0) of the low-pass, or of the high-pass when high,
// with its corner at w0 radians per sample and quality q.
template <typename T>
inline void biquad_pass(T w0, T q, bool high, T c[5])
{
    T cw = std::cos(w0);
    T alpha = std::sin(w0) / (T(2) * q);
    T a0 = T(1) + alpha;
    if (high) {
        c[0] = (T(1) + cw) / T(2) / a0;
        c[1] = -(T(1) + cw) / a0;
    } else {
        c[0] = (T(1) - cw) / T(2) / a0;
        c[1] = (T(1) - cw) / a0;
    }
    c[2] = c[0];
    c[3] = T(-2) * cw / a0;
    c[4] = (T(1) - alpha) / a0;
}

// One sample x through the section c; st holds x1, x2, y1, y2.
template <typename T>
inline T biquad_step(const T c[5], T st[4], T x)
{
    T y = c[0] * x + c[1] * st[0] + c[2] * st[1] - c[3] * st[2] - c[4] * st[3];
    st[1] = st[0];
    st[0] = x;
    st[3] = st[2];
    st[2] = y;
    return y;
}
