// segment_grid.cpp - the segment grid of segment_grid.h.
#include "library/segment_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

bool segment_grid_make(const SegmentGridInput* in, SegmentGrid* grid)
{
    if (!grid)
        return false;
    *grid = SegmentGrid{};
    if (!in || !(in->bpm > 0.0) || !(in->rate > 0.0) || in->frames < 1 || !std::isfinite(in->first_beat))
        return false;
    double beat = 60.0 / in->bpm;
    double duration = (double)in->frames / in->rate;
    int32_t beats = 4 * (in->bars_per_segment < 1 ? 4 : in->bars_per_segment);
    double length = beats * beat;
    double phase = std::fmod(in->first_beat, beat);
    if (phase < 0.0)
        phase += beat;
    int32_t shift = ((in->shift % beats) + beats) % beats;
    double start = std::fmod(shift * beat + phase, length);
    int32_t lead = start > SEGMENT_GRID_TOLERANCE ? 1 : 0;
    if (!lead)
        start = 0.0;
    double rest = std::max(0.0, duration - start);
    int32_t whole = (int32_t)std::floor(rest / length + 1e-6);
    int32_t count = whole + (rest - whole * length > SEGMENT_GRID_TOLERANCE ? 1 : 0) + lead;
    if (count < 1 || !(duration > 0.0))
        return false;
    double pps = in->width > 0.0 ? in->width / duration : 1.0;
    if (length * pps < SEGMENT_GRID_MIN_WIDTH)
        pps = SEGMENT_GRID_MIN_WIDTH / length;
    *grid = SegmentGrid{start, length, beat, duration, pps, count, lead, (float)(length * pps)};
    return true;
}

bool segment_grid_bounds(const SegmentGrid* g, int32_t k, double* start, double* end)
{
    if (!g || k < 0 || k >= g->count)
        return false;
    double s, e;
    if (k == 0 && g->lead) {
        s = 0.0;
        e = g->start;
    } else {
        s = g->start + (k - g->lead) * g->segment_length;
        e = s + g->segment_length;
    }
    if (start)
        *start = std::min(s, g->duration);
    if (end)
        *end = std::min(e, g->duration);
    return true;
}

int32_t segment_grid_at(const SegmentGrid* g, double t)
{
    if (!g || g->count < 1 || !(t >= 0.0) || t > g->duration || !(g->segment_length > 0.0))
        return -1;
    if (t < g->start)
        return g->lead ? 0 : -1;
    int32_t k = (int32_t)std::floor((t - g->start) / g->segment_length) + g->lead;
    return std::min(k, g->count - 1);
}

bool segment_grid_partial(const SegmentGrid* g, int32_t k)
{
    double s, e;
    return segment_grid_bounds(g, k, &s, &e) && g->segment_length - SEGMENT_GRID_TOLERANCE > e - s;
}

float* segment_envelope_make(const float* samples, int32_t channels, int64_t frames, double rate, double bpm,
                             int32_t* count)
{
    if (count)
        *count = 0;
    if (!samples || channels < 1 || frames < 1 || !(rate > 0.0) || !(bpm > 0.0))
        return nullptr;
    double step = 60.0 / bpm * 0.25 * rate;
    if (!(step >= 16.0))
        return nullptr;
    int64_t n = std::min<int64_t>((int64_t)std::floor((double)frames / step) + 1, 400000);
    float* env = (float*)std::calloc((size_t)n, sizeof(float));
    if (!env)
        return nullptr;
    for (int64_t i = 0; i < n; i++) {
        int64_t a = (int64_t)(i * step), b = std::min(frames, (int64_t)((i + 1) * step));
        float peak = 0.0f;
        for (int64_t f = a; f < b; f += 8)
            peak = std::max(peak, std::fabs(samples[f * channels]));
        env[i] = peak;
    }
    if (count)
        *count = (int32_t)n;
    return env;
}
