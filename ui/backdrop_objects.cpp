// backdrop_objects.cpp - scene A's eight objects: galaxies, a ringed star, a comet
// streak and a cloud, each from soft ellipses and rings of small diamonds, every
// size, place and tint a hashed draw of the object's key.
#include <cmath>

#include "ui/backdrop_internal.h"

static const float kPi = 3.14159265f;
static const float kWarm[4] = {1.0f, 0.92f, 0.78f, 1.0f};
static const float kBlue[4] = {0.66f, 0.82f, 1.0f, 1.0f};
static const float kPink[4] = {1.0f, 0.7f, 0.86f, 1.0f};

struct SceneObject {
    uint32_t key, h;
    float px, py;        // position, parallax included
    float size, aspect;  // S, A
    float angle, spin;
    float s;             // scene scale
    float t;
    const float* colour;
};

static void with_alpha(const float* rgb, float a, float out[4])
{
    out[0] = rgb[0];
    out[1] = rgb[1];
    out[2] = rgb[2];
    out[3] = a;
}

static void ellipse(Canvas* c, const SceneObject& o, float rx, float ry, float angle, const float* rgb, float a)
{
    float col[4];
    with_alpha(rgb, a, col);
    backdrop_soft_ellipse(c, o.px, o.py, rx, ry, angle, col);
}

// A point (u, v) of the object's own frame turned by its angle and placed at P.
static void place(const SceneObject& o, float u, float v, float* x, float* y)
{
    float ca = std::cos(o.angle), sa = std::sin(o.angle);
    *x = o.px + ca * u - sa * v;
    *y = o.py + sa * u + ca * v;
}

static float range(const SceneObject& o, uint32_t n, float lo, float hi)
{
    return lo + backdrop_draw_of(o.h, n) * (hi - lo);
}

static void diamond(Canvas* c, float x, float y, float half, const float* col)
{
    canvas_fill_diamond(c, x, y, half, half, col);
}

static void spiral_arms(Canvas* c, const SceneObject& o, int32_t arms, int32_t n, float turns, float inner)
{
    for (int32_t a = 0; a < arms; a++) {
        for (int32_t j = 0; j < n; j++) {
            uint32_t d = 100u + 4u * (uint32_t)(a * n + j);
            float f = (float)j / (float)(n - 1);
            float ang = 2.0f * kPi * (float)a / (float)arms + o.spin + f * turns + range(o, d, -0.14f, 0.14f);
            float rad = range(o, d + 1, 0.92f, 1.08f) * (inner + (1.0f - inner) * f) * o.size;
            float x, y;
            place(o, std::cos(ang) * rad, std::sin(ang) * rad * o.aspect, &x, &y);
            float col[4];
            for (int k = 0; k < 3; k++)
                col[k] = kWarm[k] + (o.colour[k] - kWarm[k]) * f;
            col[3] = range(o, d + 3, 0.25f, 0.7f) * (1.0f - 0.7f * f);
            diamond(c, x, y, range(o, d + 2, 0.35f, 0.8f) * o.s, col);
        }
    }
}

static void ring(Canvas* c, const SceneObject& o)
{
    for (int32_t k = 0; k < 40; k++) {
        uint32_t d = 100u + 4u * (uint32_t)k;
        float ang = 2.0f * kPi * (float)k / 40.0f + o.spin + range(o, d, -0.06f, 0.06f);
        float rad = range(o, d + 1, 0.86f, 1.0f) * o.size;
        float x, y;
        place(o, std::cos(ang) * rad, std::sin(ang) * rad * o.aspect, &x, &y);
        float col[4];
        with_alpha(kBlue, range(o, d + 3, 0.3f, 0.75f), col);
        diamond(c, x, y, range(o, d + 2, 0.35f, 0.75f) * o.s, col);
    }
}

static void streak(Canvas* c, const SceneObject& o)
{
    for (int32_t k = 0; k < 22; k++) {
        uint32_t d = 100u + 4u * (uint32_t)k;
        float x, y;
        place(o, range(o, d, -1.4f, 1.4f) * o.size, range(o, d + 1, -0.05f, 0.05f) * o.size, &x, &y);
        float col[4];
        with_alpha(o.colour, range(o, d + 3, 0.2f, 0.55f), col);
        diamond(c, x, y, range(o, d + 2, 0.3f, 0.6f) * o.s, col);
    }
}

static void cloud(Canvas* c, const SceneObject& o)
{
    for (int32_t k = 0; k < 46; k++) {
        uint32_t d = 100u + 4u * (uint32_t)k;
        float u = range(o, d, -1.0f, 1.0f), v = range(o, d + 1, -1.0f, 1.0f);
        if (u * u + v * v > 1.0f)
            continue;
        float n = backdrop_noise(1.7f * u + 3.0f, 1.7f * v + 0.01f * o.t, o.key) * 0.5f + 0.5f;
        if (n < 0.42f)
            continue;
        float x, y;
        place(o, u * o.size, v * o.size * o.aspect, &x, &y);
        const float col[4] = {0.66f + 0.34f * n, 0.82f - 0.12f * n, 1.0f - 0.14f * n, 0.2f + 0.6f * n};
        diamond(c, x, y, (0.35f + 0.6f * n) * o.s, col);
    }
}

static uint32_t last_type(uint32_t k)
{
    uint32_t x = k * 0x7FEB352Du;
    x ^= x >> 15;
    uint32_t y = x * 0x846CA68Bu;
    y ^= y >> 16;
    return y % 7u;
}

static void draw_object(Canvas* c, const SceneObject& o, uint32_t type)
{
    const float S = o.size, A = o.aspect;
    static const float kCore[3] = {1.0f, 1.0f, 0.95f};
    switch (type) {
    case 0:
        ellipse(c, o, 1.1f * S, 1.1f * S * A, o.angle, o.colour, 0.06f);
        ellipse(c, o, 0.36f * S, 0.36f * S * A, o.angle, kWarm, 0.34f);
        spiral_arms(c, o, 2, 26, 4.4f, 0.14f);
        break;
    case 1:
        ellipse(c, o, 1.15f * S, 1.15f * S * A, o.angle, o.colour, 0.07f);
        ellipse(c, o, 0.28f * S, 0.28f * S * A, o.angle, kWarm, 0.38f);
        spiral_arms(c, o, 4, 18, 6.2f, 0.1f);
        break;
    case 2:
        ellipse(c, o, S, S * A, o.angle, o.colour, 0.05f);
        ellipse(c, o, 0.62f * S, 0.16f * S, o.angle + o.spin, kWarm, 0.36f);
        spiral_arms(c, o, 2, 24, 3.0f, 0.55f);
        break;
    case 3:
        ellipse(c, o, 1.2f * S, 0.85f * S, o.angle, kWarm, 0.1f);
        ellipse(c, o, 0.62f * S, 0.44f * S, o.angle, kWarm, 0.22f);
        ellipse(c, o, 0.22f * S, 0.16f * S, o.angle, kCore, 0.4f);
        break;
    case 4:
        ellipse(c, o, 0.24f * S, 0.24f * S * A, o.angle, kWarm, 0.4f);
        ellipse(c, o, 1.2f * S, 1.2f * S * A, o.angle, kBlue, 0.05f);
        ring(c, o);
        break;
    case 5:
        ellipse(c, o, 1.5f * S, 0.1f * S, o.angle, o.colour, 0.3f);
        ellipse(c, o, 0.4f * S, 0.22f * S, o.angle, kWarm, 0.36f);
        streak(c, o);
        break;
    default:
        cloud(c, o);
        ellipse(c, o, 0.9f * S, 0.6f * S, o.angle, kBlue, 0.07f);
        break;
    }
}

static float frac(float v)
{
    return v - std::floor(v);
}

void backdrop_draw_objects(Canvas* c, float w, float h, float s, float t, float scroll_x, float scroll_y,
                           float par_x, float par_y)
{
    const BackdropState* g = backdrop_state();
    for (uint32_t i = 0; i < 8; i++) {
        SceneObject o{};
        o.key = 53u * i + 300u;
        o.h = o.key * 0x9E3779B9u;
        o.angle = kPi * backdrop_draw_of(o.h, 1);
        o.spin = (0.006f + 0.01f * backdrop_draw_of(o.h, 2)) * t * ((i & 1u) ? -1.0f : 1.0f);
        o.colour = (backdrop_hash32(o.h + 3u) & 1u) ? kPink : kBlue;
        o.px = frac(backdrop_draw_of(o.h, 4) + 0.012f * scroll_x) * w + par_x + g->origin_x;
        o.py = frac(0.04f + 0.86f * backdrop_draw_of(o.h, 5) + 0.012f * scroll_y) * h + par_y + g->origin_y;
        o.size = (9.0f + 13.0f * backdrop_draw_of(o.h, 6)) * s;
        o.aspect = 0.34f + 0.36f * backdrop_draw_of(o.h, 7);
        o.s = s;
        o.t = t;
        draw_object(c, o, i < 7 ? i : last_type(o.key));
    }
}
