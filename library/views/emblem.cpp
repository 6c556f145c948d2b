// emblem.cpp - the take emblem: a six-sided prism turning about its upright axis,
// projected in perspective, lit by a fixed light and filled pixel by pixel through a
// 4 x 4 Bayer matrix between four tones of the take's colour; it comes in through the
// noise-dither dissolve.
#include <cmath>
#include <cstdlib>

#include "library/views/lv_draw.h"
#include "library/views/wavestrip.h"
#include "ui/canvas.h"
#include "ui/dither.h"

static const float kPi = 3.14159265f;
static const int kBayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

struct Tri {
    float x[3], y[3];   // projected, unit space (-1..1)
    float depth;
    float light;
};

static int by_depth(const void* a, const void* b)
{
    float da = ((const Tri*)a)->depth, db = ((const Tri*)b)->depth;
    return da < db ? -1 : da > db ? 1 : 0;
}

static bool inside(const Tri* t, float px, float py)
{
    float d0 = (t->x[1] - t->x[0]) * (py - t->y[0]) - (t->y[1] - t->y[0]) * (px - t->x[0]);
    float d1 = (t->x[2] - t->x[1]) * (py - t->y[1]) - (t->y[2] - t->y[1]) * (px - t->x[1]);
    float d2 = (t->x[0] - t->x[2]) * (py - t->y[2]) - (t->y[0] - t->y[2]) * (px - t->x[2]);
    bool neg = d0 < 0 || d1 < 0 || d2 < 0, pos = d0 > 0 || d1 > 0 || d2 > 0;
    return !(neg && pos);
}

// The visible side triangles of the prism at a phase, far ones first.
static int32_t prism(float phase, Tri out[24])
{
    const float tilt = 0.45f, ct = std::cos(tilt), st = std::sin(tilt);
    const float light[3] = {-0.45f, -0.6f, 0.66f};
    float px[2][6], py[2][6], pz[2][6];
    for (int k = 0; k < 6; k++)
        for (int e = 0; e < 2; e++) {
            float a = phase + (float)k * kPi / 3.0f;
            float x = 0.66f * std::cos(a), z = 0.66f * std::sin(a), y = e ? 0.55f : -0.55f;
            // Tilted towards the viewer about the x axis.
            px[e][k] = x;
            py[e][k] = y * ct - z * st;
            pz[e][k] = y * st + z * ct;
        }
    int32_t n = 0;
    for (int k = 0; k < 6; k++) {
        int j = (k + 1) % 6;
        float quad[4][3] = {{px[0][k], py[0][k], pz[0][k]},
                            {px[0][j], py[0][j], pz[0][j]},
                            {px[1][j], py[1][j], pz[1][j]},
                            {px[1][k], py[1][k], pz[1][k]}};
        const int tris[2][3] = {{0, 1, 2}, {0, 2, 3}};
        for (const auto& t : tris) {
            const float* a = quad[t[0]];
            const float* b = quad[t[1]];
            const float* cc = quad[t[2]];
            float u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
            float v[3] = {cc[0] - a[0], cc[1] - a[1], cc[2] - a[2]};
            float nx = u[1] * v[2] - u[2] * v[1], ny = u[2] * v[0] - u[0] * v[2], nz = u[0] * v[1] - u[1] * v[0];
            float cx = (a[0] + b[0] + cc[0]) / 3.0f, cz = (a[2] + b[2] + cc[2]) / 3.0f;
            // Outward: away from the axis.
            if (nx * cx + nz * cz < 0.0f) {
                nx = -nx;
                ny = -ny;
                nz = -nz;
            }
            if (nz <= 0.0f)
                continue;   // faces away from the viewer
            float len = std::sqrt(nx * nx + ny * ny + nz * nz);
            float dot = (nx * light[0] + ny * light[1] + nz * light[2]) / (len > 0.0f ? len : 1.0f);
            Tri* o = &out[n++];
            o->light = std::fmin(0.999f, 0.1f + 0.9f * std::fmax(0.0f, dot));
            o->depth = (a[2] + b[2] + cc[2]) / 3.0f;
            for (int i = 0; i < 3; i++) {
                const float* p = quad[t[i]];
                float s = 4.0f / (4.0f - p[2]);
                o->x[i] = p[0] * s;
                o->y[i] = p[1] * s;
            }
        }
    }
    std::qsort(out, (size_t)n, sizeof(Tri), by_depth);
    return n;
}

void emblem_draw(Canvas* c, const CanvasRect* tile, const float* colour, float size, double time, double since,
                 uint8_t reduced_motion)
{
    if (!c || !tile || !colour || !(tile->w > 0.0f) || !(tile->h > 0.0f))
        return;
    int32_t step = reduced_motion ? 12 : dither_step_at(since);
    if (step <= 0)
        return;
    float s = size > 0.0f ? size : 0.75f * tile->h;
    s = s < 14.0f ? 14.0f : s > 32.0f ? 32.0f : s;
    float cx = tile->x + 0.5f * tile->w, cy = tile->y + tile->h - 0.5f * s;

    CanvasRect saved;
    bool had = canvas_get_clip(c, &saved);
    CanvasRect clip = *tile;
    if (had) {
        float x0 = std::fmax(clip.x, saved.x), y0 = std::fmax(clip.y, saved.y);
        float x1 = std::fmin(clip.x + clip.w, saved.x + saved.w), y1 = std::fmin(clip.y + clip.h, saved.y + saved.h);
        clip = CanvasRect{x0, y0, std::fmax(0.0f, x1 - x0), std::fmax(0.0f, y1 - y0)};
    }
    canvas_set_clip(c, &clip);

    float scale = canvas_get_scale(c);
    float px = 1.0f / (scale > 0.0f ? scale : 1.0f);
    float stem[4], white[4] = {1, 1, 1, 1};
    lv_mix(colour, white, 0.3f, stem);
    stem[3] = 0.9f;
    canvas_fill_rect(c, cx - 0.5f * px, tile->y, px, cy - tile->y, stem);

    // The base ellipse: cell by cell through the dissolve while it runs, whole after.
    float base[4] = {0, 0, 0, 0.35f};
    float ew = 0.42f * s, eh = 0.1f * s, ey = cy + 0.36f * s;
    if (step < 12) {
        for (float y = -eh; y < eh; y += px)
            for (float x = -ew; x < ew; x += px) {
                if ((x * x) / (ew * ew) + (y * y) / (eh * eh) > 1.0f)
                    continue;
                int cell = (((int)((y + eh) / px)) & 31) * 32 + (((int)((x + ew) / px)) & 31);
                if (dither_rank(cell) < dither_level_count(step))
                    canvas_fill_rect(c, cx + x, ey + y, px, px, base);
            }
    } else {
        // 32 segments as eight fans of four around the centre.
        float xs[6], ys[6];
        for (int q = 0; q < 8; q++) {
            xs[0] = cx * scale + c->level.origin_x;
            ys[0] = ey * scale + c->level.origin_y;
            for (int i = 0; i < 5; i++) {
                float a = 2.0f * kPi * (float)(q * 4 + i) / 32.0f;
                xs[i + 1] = (cx + ew * std::cos(a)) * scale + c->level.origin_x;
                ys[i + 1] = (ey + eh * std::sin(a)) * scale + c->level.origin_y;
            }
            canvas_fill_convex(c, xs, ys, 6, base);
        }
    }

    float phase = reduced_motion ? 0.55f : (float)std::fmod(time * 5.0 * kPi / 8.0, 2.0 * kPi);
    Tri tris[24];
    int32_t n = prism(phase, tris);
    float tones[4][4];
    const float ab[4][2] = {{0.74f, 0.0f}, {0.44f, 0.0f}, {0.0f, 0.0f}, {0.0f, 0.42f}};
    for (int t = 0; t < 4; t++) {
        for (int ch = 0; ch < 3; ch++)
            tones[t][ch] = colour[ch] * (1.0f - ab[t][0]) * (1.0f - ab[t][1]) + ab[t][1];
        tones[t][3] = colour[3];
    }
    float half = 0.5f * s;
    int32_t level_count = dither_level_count(step);
    for (float y = -half; y < half; y += px)
        for (float x = -half; x < half; x += px) {
            float ux = (x + 0.5f * px) / half, uy = (y + 0.5f * px) / half;
            const Tri* hit = nullptr;
            for (int32_t i = n - 1; i >= 0 && !hit; i--)
                if (inside(&tris[i], ux, uy))
                    hit = &tris[i];
            if (!hit)
                continue;
            int gx = (int)((x + half) / px), gy = (int)((y + half) / px);
            if (step < 12 && dither_rank((gy & 31) * 32 + (gx & 31)) >= level_count)
                continue;
            float v = hit->light * 3.0f;
            int tone = (int)v;
            tone = tone > 2 ? 2 : tone;
            float frac = v - (float)tone;
            float threshold = ((float)kBayer[(gy & 3) * 4 + (gx & 3)] + 0.5f) / 16.0f;
            canvas_fill_rect(c, cx + x, cy + y, px, px, tones[frac > threshold ? tone + 1 : tone]);
        }
    canvas_set_clip(c, had ? &saved : nullptr);
}
