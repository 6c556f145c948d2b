// level_glyph.cpp - the shaded gem: a lit, dithered body in four tones drawn pixel row
// by pixel row through the canvas, and the busy gem beside the cursor.
#include <cmath>

#include "ui/canvas.h"
#include "ui/cursor.h"

static const uint8_t kBayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};
static const float kPi = 3.14159265f;

static void normalise(float* v)
{
    float n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (n > 0.0f)
        for (int k = 0; k < 3; k++)
            v[k] /= n;
}

// The surface normal at (u, v) of the unit disc; false outside the body.
static bool glyph_normal(float u, float v, float spin, float facet, float* n)
{
    if (facet < 0.0f) {
        float e = 2.0f + 7.0f * -facet;
        float d = std::pow(std::pow(std::fabs(u), e) + std::pow(std::fabs(v), e), 1.0f / e);
        if (d > 1.0f)
            return false;
        float r = std::sqrt(u * u + v * v);
        float sx = r > 0.0f ? u / r * d : 0.0f, sy = r > 0.0f ? v / r * d : 0.0f;
        n[0] = sx;
        n[1] = sy;
        n[2] = std::sqrt(std::fmax(0.0f, 1.0f - d * d)) + 0.15f;
        normalise(n);
        return true;
    }
    float r2 = u * u + v * v;
    if (r2 > 1.0f)
        return false;
    n[0] = u;
    n[1] = v;
    n[2] = std::sqrt(1.0f - r2);
    if (facet > 0.04f) {
        int32_t sectors = (int32_t)std::lround(14.0f - 10.0f * facet);
        sectors = sectors < 3 ? 3 : sectors;
        int32_t rings = sectors / 2 < 2 ? 2 : sectors / 2;
        float step = 2.0f * kPi / (float)sectors;
        float phi = std::atan2(v, u) - spin;
        phi = (std::floor(phi / step) + 0.5f) * step + spin;
        float r = std::sqrt(r2);
        float rs = (std::floor(r * (float)rings) + 0.5f) / (float)rings;
        rs = rs > 0.97f ? 0.97f : rs;
        float f[3] = {rs * std::cos(phi), rs * std::sin(phi), std::sqrt(1.0f - rs * rs)};
        float b = facet * 2.5f < 1.0f ? facet * 2.5f : 1.0f;
        for (int k = 0; k < 3; k++)
            n[k] += (f[k] - n[k]) * b;
        normalise(n);
    }
    return true;
}

void level_glyph_draw(Canvas* canvas, float x, float y, float radius, const float* colour, float glow,
                      float light_x, float light_y, float spin, float alpha, float facet)
{
    if (!canvas || !colour || !std::isfinite(x) || !std::isfinite(y) || !std::isfinite(radius) || !(radius > 1.0f) ||
        !(alpha > 0.0f))
        return;
    if (!std::isfinite(glow))
        glow = 0.0f;
    if (!std::isfinite(spin))
        spin = 0.0f;
    if (!std::isfinite(facet))
        facet = 0.0f;
    float scale = canvas_get_scale(canvas);
    float rp = std::ceil(radius * scale);
    int32_t r = rp > 512.0f ? 512 : (int32_t)rp;
    float tones[4][4];
    for (int k = 0; k < 3; k++) {
        tones[0][k] = colour[k] * 0.24f;
        tones[1][k] = colour[k] * 0.58f;
        tones[2][k] = colour[k];
        tones[3][k] = colour[k] + (1.0f - colour[k]) * 0.62f;
    }
    for (auto& t : tones)
        t[3] = alpha;
    float light[3] = {light_x * 0.75f - 0.45f, -0.55f - 0.75f * light_y, 0.7f};
    if (!std::isfinite(light[0]) || !std::isfinite(light[1]))
        light[0] = -0.45f, light[1] = -0.55f;
    normalise(light);
    canvas_set_additive(canvas, false);
    float px = 1.0f / scale;   // one device pixel in canvas units
    for (int32_t row = -r; row < r; row++) {
        int32_t run_start = 0, run_tone = -1;
        for (int32_t col = -r; col <= r; col++) {
            int32_t tone = -1;
            float n[3];
            if (col < r && glyph_normal(((float)col + 0.5f) / (float)r, ((float)row + 0.5f) / (float)r, spin, facet, n)) {
                float lit = n[0] * light[0] + n[1] * light[1] + n[2] * light[2];
                // The rim darkens and catches a little back light.
                float rim = -0.55f * (1.0f - n[2]) * (1.0f - n[2]) + 0.25f * std::fmax(0.0f, -lit) * (1.0f - n[2]);
                float t = 2.55f * lit + 0.15f + 1.3f * glow + rim;
                t = t < 0.0f ? 0.0f : t > 3.0f ? 3.0f : t;
                int32_t lo = (int32_t)t;
                float threshold = ((float)kBayer[((row + 512) & 3) * 4 + ((col + 512) & 3)] + 0.5f) / 16.0f;
                tone = lo + (t - (float)lo > threshold ? 1 : 0);
                tone = tone > 3 ? 3 : tone;
            }
            if (tone != run_tone) {
                if (run_tone >= 0)
                    canvas_fill_rect(canvas, x + (float)run_start * px, y + (float)row * px,
                                     (float)(col - run_start) * px, px, tones[run_tone]);
                run_start = col;
                run_tone = tone;
            }
        }
    }
}

void cursor_draw_busy_gem(Canvas* canvas, const CustomCursor* c, float mouse_x, float mouse_y, double clock,
                          uint8_t instant)
{
    (void)clock;
    if (!canvas || !c || !(c->busy_amount > 0.01f))
        return;
    float col[4];
    cursor_mode_color(col, c, 2, 1.0f, 0.0f);
    float a = c->busy_amount;
    level_glyph_draw(canvas, std::floor(mouse_x) + 18.0f, std::floor(mouse_y) + 20.0f, (a * 0.4f + 0.6f) * 7.0f, col,
                     0.35f, std::cos(c->busy_phase) * 0.6f, std::sin(c->busy_phase) * 0.2f + 0.5f,
                     instant ? 0.0f : c->busy_phase, a, 0.8f);
}
