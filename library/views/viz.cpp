// viz.cpp - the shared drawing functions of the library's views.
#include "library/views/viz.h"

#include <cmath>
#include <cstdio>
#include <cstring>

static const float kRestStiffness = 64.0f;
static const float kStrikeStiffness = 200.0f;
static const float kDamping = 4.0f;
static const float kReleaseScale = 10.0f;
static const float kLevelMix = 0.88f;
static const float kGlowCap = 1.5f;

static float clamp01(float v)
{
    return std::isnan(v) ? 0.0f : v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
}

void viz_bands_init(BandVisualiser* v, int32_t bands, float glow_gain, float glow_decay)
{
    if (!v)
        return;
    std::memset(v, 0, sizeof *v);
    v->bands = bands < 1 ? 1 : bands > VIZ_MAX_BANDS ? VIZ_MAX_BANDS : bands;
    v->glow_gain = glow_gain;
    v->glow_decay = glow_decay;
    for (int32_t i = 0; i < v->bands; i++) {
        double s = std::sin(i * 12.9898 + 78.233) * 43758.547;
        v->factor[i] = (float)(1.0 + 0.36 * ((s - std::floor(s)) - 0.5));
    }
    viz_bands_clear(v);
}

void viz_bands_clear(BandVisualiser* v)
{
    if (!v)
        return;
    for (int32_t i = 0; i < v->bands; i++) {
        v->displacement[i] = v->velocity[i] = v->glow[i] = 0.0f;
        v->level[i] = 1.0f;
        v->struck[i] = 0;
    }
    v->last_time = -1.0;
    v->playhead = -1.0f;
}

void viz_bands_update(BandVisualiser* v, double position, const float* summary, double time)
{
    if (!v || v->bands < 1)
        return;
    float dt = 1.0f / 24.0f;
    if (v->last_time >= 0.0) {
        double d = time - v->last_time;
        dt = (float)(d < 0.001 ? 0.001 : d > 0.05 ? 0.05 : d);
    }
    v->last_time = time;
    int32_t n = v->bands;
    for (int32_t i = 0; i < n; i++)
        v->level[i] = summary ? clamp01(summary[i]) : 1.0f;
    bool head = position >= 0.0;
    float p = head ? (float)(n * position) : -1.0f;
    bool release_all = head && v->playhead >= 0.0f && std::fabs(p - v->playhead) > n / 4.0f;
    float lo = 1e9f, hi = -1e9f;
    if (head) {
        float prev = v->playhead >= 0.0f ? v->playhead : p;
        lo = std::fmin(prev, p) - 1.0f;
        hi = std::fmax(prev, p) + 1.0f;
    }
    float decay = std::pow(v->glow_decay, 60.0f * dt);
    for (int32_t i = 0; i < n; i++) {
        bool in_span = head && i >= lo && i <= hi;
        bool moving = std::fabs(v->displacement[i]) > 0.001f || std::fabs(v->velocity[i]) > 0.001f ||
                      v->glow[i] > 0.001f;
        if (!in_span && !v->struck[i] && !moving)
            continue;
        if (release_all)
            v->struck[i] = 0;
        else if (in_span && !v->struck[i])
            v->struck[i] = 1;
        if (v->struck[i] && std::fabs(v->displacement[i]) > (kLevelMix * v->level[i] + 0.12f) * kReleaseScale)
            v->struck[i] = 0;
        float target = head && v->struck[i] ? p - (float)i : 0.0f;
        float k = head && v->struck[i] ? kStrikeStiffness : kRestStiffness;
        v->velocity[i] += (-k * v->factor[i] * (v->displacement[i] - target) - kDamping * v->velocity[i]) * dt;
        v->displacement[i] += v->velocity[i] * dt;
        float g = std::fmax(v->glow[i] * decay, std::fmin(v->glow_gain * std::fabs(v->velocity[i]), kGlowCap));
        v->glow[i] = g < 0.001f ? 0.0f : g;
    }
    v->playhead = p;
}

void viz_band_motion(float x, float level, float* displacement, float* glow)
{
    float d_out = 0.0f, g_out = 0.0f;
    if (!std::isnan(x) && x >= -1.0f) {
        float d = (kLevelMix * clamp01(level) + 0.12f) * kReleaseScale;
        if (x <= d) {
            d_out = x;
            g_out = 1.2f;
        } else {
            float tau = (x - d) * 0.125f;
            float w = 8.0f * std::sqrt(0.9375f);
            float e = std::exp(-2.0f * tau);
            d_out = e * (d * std::cos(w * tau) + ((2.0f * d + 8.0f) / w) * std::sin(w * tau));
            float speed = std::fabs(e * (8.0f * std::cos(w * tau) - ((64.0f * d + 16.0f) / w) * std::sin(w * tau)));
            g_out = std::fmin(1.5f, std::fmax(0.15f * speed, 1.2f * std::pow(0.961f, 60.0f * tau)));
        }
        if (std::fabs(d_out) < 0.001f)
            d_out = 0.0f;
        if (g_out < 0.001f)
            g_out = 0.0f;
    }
    if (displacement)
        *displacement = d_out;
    if (glow)
        *glow = g_out;
}

void bezier_points(const float p[8], int32_t n, float* xs, float* ys)
{
    if (!p || n < 1 || !xs || !ys)
        return;
    for (int32_t i = 0; i <= n; i++) {
        float t = (float)i / (float)n, u = 1.0f - t;
        float a = u * u * u, b = 3.0f * t * u * u, c = 3.0f * t * t * u, d = t * t * t;
        xs[i] = a * p[0] + b * p[2] + c * p[4] + d * p[6];
        ys[i] = a * p[1] + b * p[3] + c * p[5] + d * p[7];
    }
}

int32_t viz_draw_wave(const VizWaveShape* s, int32_t steps, float* xs, float* ys)
{
    if (!s || !xs || !ys)
        return 0;
    steps = steps < 1 ? 1 : steps > 10 ? 10 : steps;
    float f = s->flip ? -1.0f : 1.0f;
    float s2 = s->skew;
    float limit = 0.85f * s->skew + s->cap;
    if (std::fabs(s2) > std::fabs(limit))
        s2 = limit;
    float left[8] = {s->x - s->w, s->y, s->x - 0.7f * s->w + 0.08f * s->skew, s->y + 0.3f * s->h * f,
                     s->x - 0.25f * s->w + s2, s->y + 0.85f * s->h * f, s->x + s->skew,
                     s->y + (s->h + s->extra) * f};
    float right[8] = {s->x + s->w, s->y, s->x + 0.7f * s->w + 0.08f * s->skew, s->y + 0.3f * s->h * f,
                      s->x + 0.25f * s->w + s2, s->y + 0.85f * s->h * f, s->x + s->skew,
                      s->y + (s->h + s->extra) * f};
    bezier_points(left, steps, xs, ys);
    float rx[11], ry[11];
    bezier_points(right, steps, rx, ry);
    for (int32_t i = 0; i <= steps; i++) {
        xs[steps + 1 + i] = rx[steps - i];
        ys[steps + 1 + i] = ry[steps - i];
    }
    return 2 * (steps + 1);
}

float viz_glow_width(float level, float size, bool wide)
{
    return std::fmax(0.055f * size, std::fmax(1.9f * level, wide ? 6.0f : 2.0f));
}

static float gradient_at(int32_t n)
{
    return (((n * 1619) ^ (n * 6971)) & 1) ? 1.0f : -1.0f;
}

float value_noise_1d(float x)
{
    if (std::isnan(x))
        return 0.0f;
    float fl = std::floor(x);
    int32_t n = (int32_t)fl;
    float t = x - fl;
    float a = gradient_at(n) * t, b = gradient_at(n + 1) * (t - 1.0f);
    float s = 3.0f * t * t - 2.0f * t * t * t;
    return a + (b - a) * s;
}

float spring_curve(float t)
{
    if (std::isnan(t) || t >= 0.6f)
        return 1.0f;
    if (t <= 0.0f)
        return 0.0f;
    float w = 23.0f * std::sqrt(0.7191f);
    return 1.0f - (std::cos(w * t) + (12.19f / w) * std::sin(w * t)) * std::exp(-12.19f * t);
}

float fade_curve(float t)
{
    if (t <= 0.0f)
        return 1.0f;
    if (!(t < 4.0f))
        return 0.0f;
    float u = 1.0f - t / 4.0f;
    return u * u * u;
}

float beat_flash_amount(float x)
{
    return clamp01((x - 1.3f) / 1.3f);
}

void format_duration(double seconds, char* out, size_t cap)
{
    if (!out || cap == 0)
        return;
    out[0] = '\0';
    if (!(seconds > 0.0))
        return;
    long long s = std::llround(seconds);
    snprintf(out, cap, "%lld:%02lld", s / 60, s % 60);
}

void format_size(uint64_t bytes, char* out, size_t cap)
{
    if (!out || cap == 0)
        return;
    out[0] = '\0';
    if (bytes < 1)
        return;
    if (bytes < 1024)
        snprintf(out, cap, "%lld B", (long long)bytes);
    else if (bytes < 1048576)
        snprintf(out, cap, "%lld KB", (long long)(bytes / 1024));
    else if (bytes < 1073741824ull)
        snprintf(out, cap, "%.1f MB", (double)bytes / 1048576.0);
    else
        snprintf(out, cap, "%.2f GB", (double)bytes / 1073741824.0);
}

bool layout_clamp_range(float a, float b, float width, float* x0, float* x1)
{
    if (!(b > a) || !(width > 0.0f))
        return false;
    float l = a * width, r = b * width;
    if (r - l < 2.0f) {
        float c = 0.5f * (l + r);
        l = c - 1.0f;
        r = c + 1.0f;
    }
    if (l < 0.0f) {
        r -= l;
        l = 0.0f;
    }
    if (r > width) {
        l -= r - width;
        r = width;
    }
    *x0 = l < 0.0f ? 0.0f : l;
    *x1 = r;
    return true;
}
