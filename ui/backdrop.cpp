// backdrop.cpp - the backdrop's hash and noise, the star seeding, the tilt, scene A's
// colour field and the star points; the shapes both scenes draw.
#include "ui/backdrop.h"

#include <cmath>

#include "ui/backdrop_internal.h"
#include "ui/hitregion.h"

static BackdropState backdrop_fresh(void)
{
    BackdropState s{};
    for (int64_t& g : s.generation)
        g = -1;
    s.spawn_countdown = 1.0f;
    return s;
}

static BackdropState g_backdrop = backdrop_fresh();

BackdropState* backdrop_state(void)
{
    return &g_backdrop;
}

float backdrop_next_draw(uint32_t salt)
{
    return backdrop_unit(++g_backdrop.draw_counter * 0x2C1B3C6Du + salt);
}

void backdrop_reset(void)
{
    g_backdrop = backdrop_fresh();
}

// ---------------------------------------------------------------------------
// Hash and noise
// ---------------------------------------------------------------------------

uint32_t backdrop_hash32(uint32_t v)
{
    v ^= v >> 16;
    v *= 0x7FEB352Du;
    v ^= v >> 15;
    v *= 0x846CA68Bu;
    v ^= v >> 16;
    return v;
}

float backdrop_unit(uint32_t v)
{
    return (float)(backdrop_hash32(v) & 0xFFFFFFu) / 16777216.0f;
}

static float gradient(uint32_t h, float dx, float dy)
{
    switch (backdrop_hash32(h) & 7u) {
    case 0: return dx + dy;
    case 1: return dx - dy;
    case 2: return dy - dx;
    case 3: return -dx - dy;
    case 4: return dx;
    case 5: return -dx;
    case 6: return dy;
    default: return -dy;
    }
}

static float fade(float t)
{
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}

float backdrop_noise(float x, float y, uint32_t seed)
{
    // Far outside any window the cell index would not fit; such points are blank.
    if (!(std::fabs(x) < 1e9f) || !(std::fabs(y) < 1e9f))
        return 0.0f;
    float fx = std::floor(x), fy = std::floor(y);
    uint32_t i = (uint32_t)(int64_t)fx, j = (uint32_t)(int64_t)fy;
    float dx = x - fx, dy = y - fy;
    uint32_t h = i * 374761393u + j * 668265263u + seed;
    float n00 = gradient(h, dx, dy);
    float n10 = gradient(h + 374761393u, dx - 1.0f, dy);
    float n01 = gradient(h + 668265263u, dx, dy - 1.0f);
    float n11 = gradient(h + 1043026656u, dx - 1.0f, dy - 1.0f);
    float u = fade(dx), v = fade(dy);
    float a = n00 + (n10 - n00) * u;
    float b = n01 + (n11 - n01) * u;
    return (a + (b - a) * v) * 1.41f;
}

float backdrop_fractal(float x, float y, uint32_t seed, int32_t octaves)
{
    float sum = 0.0f, norm = 0.0f, amp = 0.5f;
    for (int32_t o = 0; o < octaves; o++) {
        sum += amp * backdrop_noise(x, y, seed + 1013u * (uint32_t)o);
        norm += amp;
        amp *= 0.5f;
        x = x * 2.03f + 17.1f;
        y = y * 2.03f - 9.7f;
    }
    return norm > 0.0f ? sum / norm : 0.0f;
}

// ---------------------------------------------------------------------------
// Seeding, colours, tilt
// ---------------------------------------------------------------------------

void backdrop_init(BackdropStar* stars)
{
    if (!stars)
        return;
    struct Group {
        int32_t count;
        float b_lo, b_hi, s_lo, s_hi, depth;
    };
    static const Group kGroups[3] = {
        {90, 0.3f, 0.65f, 0.5f, 0.9f, 0.25f},
        {55, 0.45f, 0.85f, 0.7f, 1.2f, 0.55f},
        {28, 0.6f, 1.0f, 1.0f, 1.7f, 0.88f},
    };
    uint64_t state = 0xC0FFEFu;
    auto draw = [&state]() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return (float)(state & 0xFFFFFFu) / 16777216.0f;
    };
    int32_t n = 0;
    for (const Group& g : kGroups) {
        for (int32_t k = 0; k < g.count; k++, n++) {
            float* p = stars[n];
            p[0] = draw();
            p[1] = draw();
            p[2] = g.b_lo + draw() * (g.b_hi - g.b_lo);
            p[3] = g.s_lo + draw() * (g.s_hi - g.s_lo);
            p[4] = g.depth;
        }
    }
}

void backdrop_default_colors(float colours[2][4])
{
    if (!colours)
        return;
    static const float kDefault[2][4] = {{0.3f, 0.76f, 0.72f, 1.0f}, {0.31f, 0.76f, 0.97f, 1.0f}};
    for (int i = 0; i < 2; i++)
        for (int k = 0; k < 4; k++)
            colours[i][k] = kDefault[i][k];
}

static float tilt_axis(float v)
{
    return std::isfinite(v) ? backdrop_clampf(v, -1.0f, 1.0f) : 0.0f;
}

void backdrop_set_tilt(float x, float y)
{
    g_backdrop.target_x = tilt_axis(x);
    g_backdrop.target_y = tilt_axis(y);
}

void backdrop_tilt(float* target_x, float* target_y, float* current_x, float* current_y)
{
    if (target_x)
        *target_x = g_backdrop.target_x;
    if (target_y)
        *target_y = g_backdrop.target_y;
    if (current_x)
        *current_x = g_backdrop.tilt_x;
    if (current_y)
        *current_y = g_backdrop.tilt_y;
}

void backdrop_grid(float w, float h, int32_t* cols, int32_t* rows, float* scale)
{
    auto cells = [](float v) {
        float n = std::ceil(v / 30.0f);
        return n >= (float)BACKDROP_GRID_MAX ? BACKDROP_GRID_MAX : n < 1.0f ? 1 : (int32_t)n;
    };
    if (cols)
        *cols = cells(w);
    if (rows)
        *rows = cells(h);
    if (scale)
        *scale = backdrop_clampf((w < h ? w : h) / 720.0f, 0.6f, 1.7f);
}

// ---------------------------------------------------------------------------
// Shapes
// ---------------------------------------------------------------------------

void backdrop_soft_ellipse(Canvas* c, float cx, float cy, float rx, float ry, float angle, const float* colour)
{
    if (!c || !(colour[3] > 0.002f) || !(rx > 0.3f) || !(ry > 0.3f))
        return;
    const float rim[4] = {colour[0], colour[1], colour[2], 0.0f};
    const float* const colours[4] = {colour, rim, rim, colour};
    float ca = std::cos(angle), sa = std::sin(angle);
    float px = cx + ca * rx, py = cy + sa * rx;
    for (int k = 1; k <= 16; k++) {
        float a = 6.2831853f * (float)k / 16.0f;
        float ex = std::cos(a) * rx, ey = std::sin(a) * ry;
        float nx = cx + ca * ex - sa * ey, ny = cy + sa * ex + ca * ey;
        const float xs[4] = {cx, px, nx, cx};
        const float ys[4] = {cy, py, ny, cy};
        canvas_fill_quad(c, xs, ys, colours);
        px = nx;
        py = ny;
    }
}

void backdrop_faceted(Canvas* c, uint32_t key, float cx, float cy, float radius, int32_t sides, float rotation,
                      float jag, const float* dark, const float* light, float alpha)
{
    if (!c || sides < 3 || !(radius > 0.4f) || !(alpha > 0.003f))
        return;
    if (sides > 14)
        sides = 14;
    float vx[14], vy[14];
    for (int32_t k = 0; k < sides; k++) {
        float a = 6.2831853f * (float)k / (float)sides + rotation;
        float r = (1.0f - 0.42f * jag * backdrop_draw_of(key, 1 + (uint32_t)k)) * radius;
        vx[k] = cx + std::cos(a) * r;
        vy[k] = cy + std::sin(a) * r;
    }
    // The faces meet at a point off the centre, so the body looks lit from one side.
    float ha = 6.2831853f * backdrop_draw_of(key, 20);
    float hx = cx + std::cos(ha) * 0.18f * radius, hy = cy + std::sin(ha) * 0.18f * radius;
    for (int32_t k = 0; k < sides; k++) {
        int32_t n = (k + 1) % sides;
        float mx = 0.5f * (vx[k] + vx[n]) - cx, my = 0.5f * (vy[k] + vy[n]) - cy;
        float shade = (std::cos(std::atan2(my, mx) + 2.2f) * 0.5f + 0.5f) *
                      (0.82f + 0.36f * backdrop_draw_of(key, 30 + (uint32_t)k));
        float f = shade < 1.0f ? shade : 1.0f;
        float col[4] = {dark[0] + (light[0] - dark[0]) * f, dark[1] + (light[1] - dark[1]) * f,
                        dark[2] + (light[2] - dark[2]) * f, alpha};
        canvas_fill_triangle(c, hx, hy, vx[k], vy[k], vx[n], vy[n], col);
    }
}

// ---------------------------------------------------------------------------
// Scene A
// ---------------------------------------------------------------------------

static const float* colour_pair(const float (*colours)[4], int i)
{
    static float defaults[2][4];
    static bool made = false;
    if (colours)
        return colours[i];
    if (!made) {
        backdrop_default_colors(defaults);
        made = true;
    }
    return defaults[i];
}

void backdrop_field_color(float x, float y, float ox, float oy, float t, const float (*colours)[4], float out[4])
{
    float u = ox * 0.6f + x / 360.0f + t * 0.0035f;
    float v = oy * 0.6f + y / 360.0f - t * 0.0012f;
    float a = backdrop_fractal(0.7f * u + 31.4f, 0.7f * v - 0.004f * t, 911, 2);
    float b = backdrop_fractal(0.7f * u - 12.9f, 0.7f * v + 0.003f * t, 577, 2);
    float cc = backdrop_fractal(2.6f * u - b, 2.6f * v + a, 333, 2);
    float d = backdrop_fractal(0.45f * u + 5.0f, 0.45f * v + 0.002f * t, 707, 2);
    float e = backdrop_clampf((backdrop_fractal(u + 0.9f * a, v + 0.9f * b, 101, 4) + 0.1f) * 1.9f, 0.0f, 1.0f);
    float p = backdrop_clampf((0.5f * d + 0.5f) * 1.25f - 0.12f, 0.0f, 0.999f) * 4.0f;
    const float* ca = colour_pair(colours, 0);
    const float stops[5][3] = {{0.2f, 0.36f, 0.92f},
                               {ca[0], ca[1], ca[2]},
                               {0.6f, 0.3f, 0.88f},
                               {0.92f, 0.32f, 0.58f},
                               {0.96f, 0.58f, 0.26f}};
    int32_t s = (int32_t)p;
    float f = p - (float)s;
    for (int k = 0; k < 3; k++)
        out[k] = stops[s][k] + (stops[s + 1][k] - stops[s][k]) * f;
    out[3] = (backdrop_clampf(1.6f * cc + 0.5f, 0.0f, 1.0f) * 0.45f + 0.55f) * e * e * 0.2f;
}

// Sample colours of the last field, (cols + 1) x (rows + 1).
static float g_field[(BACKDROP_GRID_MAX + 1) * (BACKDROP_GRID_MAX + 1)][4];

static bool rect_drawable(const CanvasRect& r)
{
    return r.w > 1.0f && r.h > 1.0f && std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.w) &&
           std::isfinite(r.h);
}

// The field as one small image, a pixel per sample point, stretched with linear
// filtering so that each pixel's centre lands on its grid point: the smooth field of
// the quads below for one textured rectangle, however large the window.
static bool field_as_image(Canvas* c, const CanvasRect& r, int32_t cols, int32_t rows)
{
    static uint32_t pixels[(BACKDROP_GRID_MAX + 1) * (BACKDROP_GRID_MAX + 1)];
    int32_t n = (cols + 1) * (rows + 1);
    for (int32_t k = 0; k < n; k++) {
        SDL_Color p = canvas_pack_color(nullptr, g_field[k], 1.0f);
        pixels[k] = (uint32_t)p.r | (uint32_t)p.g << 8 | (uint32_t)p.b << 16 | (uint32_t)p.a << 24;
    }
    float cw = r.w / (float)cols, ch = r.h / (float)rows;
    CanvasRect to{r.x - cw / 2, r.y - ch / 2, cw * (float)(cols + 1), ch * (float)(rows + 1)};
    return canvas_draw_image(c, pixels, cols + 1, rows + 1, &to);
}

// The field as a quad per cell, nearly transparent cells skipped: where no image can
// be made.
static void field_as_quads(Canvas* c, const CanvasRect& r, int32_t cols, int32_t rows)
{
    float cw = r.w / (float)cols, ch = r.h / (float)rows;
    for (int32_t j = 0; j < rows; j++) {
        for (int32_t i = 0; i < cols; i++) {
            const float* c00 = g_field[j * (cols + 1) + i];
            const float* c10 = g_field[j * (cols + 1) + i + 1];
            const float* c11 = g_field[(j + 1) * (cols + 1) + i + 1];
            const float* c01 = g_field[(j + 1) * (cols + 1) + i];
            if (c00[3] + c10[3] + c11[3] + c01[3] < 0.004f)
                continue;
            float x0 = r.x + (float)i * cw, x1 = r.x + (float)(i + 1) * cw;
            float y0 = r.y + (float)j * ch, y1 = r.y + (float)(j + 1) * ch;
            const float xs[4] = {x0, x1, x1, x0};
            const float ys[4] = {y0, y0, y1, y1};
            const float* const cs[4] = {c00, c10, c11, c01};
            canvas_fill_quad(c, xs, ys, cs);
        }
    }
}

// The tilt eases only here; scene B and the stars read it. A second call with the same
// running clock eases nothing, so a frame that eases first and draws scene A later
// moves the tilt once.
void backdrop_ease(double clock)
{
    BackdropState& g = g_backdrop;
    if (!std::isfinite(clock))
        clock = 0.0;
    double dt = clock - g.last_clock_a;
    if (clock > 0.0 && dt == 0.0 && !g.paused)
        return;
    g.last_clock_a = clock;
    if (!(clock > 0.0)) {
        g.paused = 1;
        g.tilt_x = g.tilt_y = 0.0f;
        return;
    }
    g.paused = 0;
    if (!(dt > 0.0 && dt <= 0.25))
        dt = 1.0 / 60.0;
    float k = 1.0f - (float)std::exp(-5.0 * dt);
    g.tilt_x += (g.target_x - g.tilt_x) * k;
    g.tilt_y += (g.target_y - g.tilt_y) * k;
}

void backdrop_register(const float (*colours)[4], CanvasRect r)
{
    if (rect_drawable(r))
        hitregion_add_coloured(nullptr, HitRect{r.x, r.y, r.w, r.h}, 1, colour_pair(colours, 1));
}

void backdrop_draw(Canvas* c, const float (*colours)[4], CanvasRect r, float scroll_x, float scroll_y,
                   double clock)
{
    if (!c || !rect_drawable(r))
        return;
    if (!std::isfinite(clock))
        clock = 0.0;
    BackdropState& g = g_backdrop;
    float t = (float)std::fmod(clock, 86400.0);
    g.origin_x = r.x;
    g.origin_y = r.y;
    int32_t cols = 0, rows = 0;
    float s = 1.0f;
    backdrop_grid(r.w, r.h, &cols, &rows, &s);
    backdrop_register(colours, r);
    backdrop_ease(clock);
    float px = g.paused ? 0.0f : -4.6f * g.tilt_x;
    float py = g.paused ? 0.0f : -4.6f * g.tilt_y;

    canvas_set_additive(c, true);
    float cw = r.w / (float)cols, ch = r.h / (float)rows;
    for (int32_t j = 0; j <= rows; j++)
        for (int32_t i = 0; i <= cols; i++)
            backdrop_field_color((float)i * cw - px, (float)j * ch - py, scroll_x, scroll_y, t, colours,
                                 g_field[j * (cols + 1) + i]);
    if (!field_as_image(c, r, cols, rows))
        field_as_quads(c, r, cols, rows);
    float par = g.paused ? 0.0f : -46.0f * 0.2f * s;
    backdrop_draw_objects(c, r.w, r.h, s, t, scroll_x, scroll_y, par * g.tilt_x, par * g.tilt_y);
    canvas_set_additive(c, false);
}

// ---------------------------------------------------------------------------
// Star points
// ---------------------------------------------------------------------------

static float frac(float v)
{
    return v - std::floor(v);
}

void backdrop_draw_particles(Canvas* c, const BackdropStar* stars, CanvasRect r, float drift_x, float drift_y,
                             float opacity)
{
    if (!c || !stars || !rect_drawable(r))
        return;
    const BackdropState& g = g_backdrop;
    canvas_set_additive(c, false);
    for (int32_t i = 0; i < BACKDROP_STAR_COUNT; i++) {
        const float* p = stars[i];
        float size = p[3];
        float alpha = p[2] * 0.85f * opacity;
        if (!(size > 0.0f) || !(alpha > 0.0f))
            continue;
        float x = frac(p[4] * drift_x + p[0]) * r.w;
        float y = frac(p[4] * drift_y + p[1]) * r.h;
        float k = g.paused ? 0.0f : (backdrop_clampf(size / 2.0f, 0.0f, 1.0f) * 0.16f + 0.22f) * -46.0f;
        const float white[4] = {1.0f, 1.0f, 1.0f, alpha};
        canvas_fill_diamond(c, x + g.tilt_x * k + r.x, y + g.tilt_y * k + r.y, size, size, white);
    }
}
