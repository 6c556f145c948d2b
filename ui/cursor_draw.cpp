// cursor_draw.cpp - the custom cursor's colours and its drawing with the SDL renderer:
// trail dots, sparks, the hover ring and orbit, and the dithered tile, every shape a
// rectangle snapped to whole window pixels.
#include <SDL.h>

#include <algorithm>
#include <cmath>

#include "ui/cursor.h"

static const float kPi = 3.14159265f;
static const uint8_t kPalette[5][3] = {{66, 54, 20}, {143, 117, 43}, {255, 209, 77}, {255, 228, 151}, {79, 195, 247}};
static const uint8_t kBayer[16] = {0, 8, 2, 10, 12, 4, 14, 6, 3, 11, 1, 9, 15, 7, 13, 5};

static float clamp01(float v)
{
    return v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
}

static float luminance(const float* c)
{
    return 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2];
}

void cursor_mode_color(float out[4], const CustomCursor* c, int32_t shade, float alpha, float warm)
{
    if (!out || !c)
        return;
    shade = shade < 0 ? 0 : shade > 4 ? 4 : shade;
    float base[3] = {kPalette[shade][0] / 255.0f, kPalette[shade][1] / 255.0f, kPalette[shade][2] / 255.0f};
    float m = base[2] > 100.0f / 255.0f ? 0.25f : 0.0f;
    const float tint[3] = {c->tint_r, c->tint_g, c->tint_b};
    float col[3];
    // The shades are yellows whose red carries their brightness, so the tint scales the
    // base's red in every channel.
    for (int k = 0; k < 3; k++)
        col[k] = base[k] + (base[0] * tint[k] * (1.0f - m) + m - base[k]) * c->tint_weight;
    float y = luminance(col);
    float sat = clamp01(c->pointer_morph + c->ring_morph) * 0.78f + 0.22f;
    for (float& v : col)
        v = y + (v - y) * sat;
    if (warm > 0.001f) {
        float l = luminance(base) / 0.82058513f;
        l = l < 0.35f ? 0.35f : l > 1.25f ? 1.25f : l;
        const float target[3] = {clamp01(l), clamp01(0.33f * l), clamp01(0.7f * l)};
        float w = clamp01(warm);
        for (int k = 0; k < 3; k++)
            col[k] += (target[k] - col[k]) * w;
    }
    out[0] = col[0];
    out[1] = col[1];
    out[2] = col[2];
    out[3] = alpha;
}

static uint8_t to_byte(float v)
{
    v = clamp01(v) * 255.0f + 0.5f;
    return (uint8_t)v;
}

// A rectangle in cursor units, corners snapped to whole window pixels, at least one
// pixel wide and high.
static void cursor_fill_rect(SDL_Renderer* r, float x, float y, float w, float h, float scale, const float* col)
{
    if (!(col[3] > 0.0f))
        return;
    float x0 = std::floor(x * scale + 0.5f), y0 = std::floor(y * scale + 0.5f);
    float x1 = std::floor((x + w) * scale + 0.5f), y1 = std::floor((y + h) * scale + 0.5f);
    if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
        return;
    SDL_FRect rect{x0, y0, std::max(1.0f, x1 - x0), std::max(1.0f, y1 - y0)};
    SDL_SetRenderDrawColor(r, to_byte(col[0]), to_byte(col[1]), to_byte(col[2]), to_byte(col[3]));
    SDL_RenderFillRectF(r, &rect);
}

static void square(SDL_Renderer* r, float cx, float cy, float side, float scale, const float* col)
{
    cursor_fill_rect(r, cx - side / 2.0f, cy - side / 2.0f, side, side, scale, col);
}

static void draw_trail(SDL_Renderer* r, const CustomCursor* c, float scale, double clock)
{
    for (int32_t i = 0; i < c->trail_count; i++) {
        const CursorDot& d = c->trail[i];
        float a = (float)(clock - d.time);
        float f = 1.0f - a / 0.55f;
        if (!(f > 0.0f) || a < 0.0f)
            continue;
        float col[4];
        cursor_mode_color(col, c, 2, f * f, 0.0f);
        square(r, d.x + 14.0f * a * std::sin(d.spin), d.y + 12.0f * a, 1.0f + 1.5f * f * f, scale, col);
    }
}

static void draw_sparks(SDL_Renderer* r, const CustomCursor* c, float scale, double clock)
{
    for (int32_t i = 0; i < c->spark_count; i++) {
        const CursorSpark& s = c->sparks[i];
        float a = (float)(clock - s.time);
        if (a < 0.0f || a > 0.42f)
            continue;
        float f = 1.0f - a / 0.42f;
        // Travelled distance of a velocity damped by exp(-3a), turned about the origin.
        float k = (1.0f - std::exp(-3.0f * a)) / 3.0f;
        float px = s.x + s.vx * k - s.origin_x, py = s.y + s.vy * k - s.origin_y;
        float turn = s.spin * a * 0.2f, ct = std::cos(turn), st = std::sin(turn);
        float col[4];
        cursor_mode_color(col, c, 3, 0.65f * f * f, 0.0f);
        square(r, s.origin_x + ct * px - st * py, s.origin_y + st * px + ct * py, 1.0f + f, scale, col);
    }
}

static void draw_hover(SDL_Renderer* r, const CustomCursor* c, float mx, float my, float scale, double clock)
{
    float age = (float)(clock - c->hover_change_time);
    if (age >= 0.0f && age < 0.35f) {
        float p = age / 0.35f, q = 1.0f - p;
        float radius = 6.0f + 24.0f * (1.0f - q * q * q);
        float col[4];
        cursor_mode_color(col, c, 2, 0.9f, 0.0f);
        for (int i = 0; i < 24; i++) {
            if (!(((float)kBayer[(5 * i) % 16] + 0.5f) / 16.0f < 1.15f * q * q))
                continue;
            float a = 2.0f * kPi * (float)i / 24.0f;
            square(r, mx + std::cos(a) * radius, my + 5.0f + std::sin(a) * radius * 0.72f, 2.0f, scale, col);
        }
    }
    if (c->hover_amount > 0.02f) {
        for (int round = 0; round < 2; round++) {
            for (int i = 0; i < 4; i++) {
                float a = c->hover_phase + (float)round * kPi - 0.22f * (float)i;
                float col[4];
                cursor_mode_color(col, c, i == 0 ? 3 : 2, (1.0f - 0.22f * (float)i) * c->hover_amount, 0.0f);
                square(r, mx + std::cos(a) * 15.0f, my + 6.0f + std::sin(a) * 9.0f, 2.0f - 0.4f * (float)i, scale,
                       col);
            }
        }
    }
}

// One face (centre, corner a, corner b) rasterised cell by cell in cursor units; runs
// of one shade along a row are one rectangle.
static void draw_face(SDL_Renderer* r, const CustomCursor* c, const float* xs, const float* ys, float face_angle,
                      float scale)
{
    float top = std::min({ys[0], ys[1], ys[2]}), bottom = std::max({ys[0], ys[1], ys[2]});
    float left = std::min({xs[0], xs[1], xs[2]}), right = std::max({xs[0], xs[1], xs[2]});
    auto edge = [&](int i, int j, float px, float py) {
        return (xs[j] - xs[i]) * (py - ys[i]) - (ys[j] - ys[i]) * (px - xs[i]);
    };
    float area = edge(0, 1, xs[2], ys[2]);
    if (std::fabs(area) < 1e-4f)
        return;
    float shade_base = (std::cos(face_angle) + 1.0f) * 1.225f + 0.2f;
    float colours[4][4];
    for (int s = 0; s < 4; s++)
        cursor_mode_color(colours[s], c, s, 1.0f, 0.0f);
    int32_t y0 = (int32_t)std::floor(top), y1 = (int32_t)std::ceil(bottom);
    int32_t x0 = (int32_t)std::floor(left), x1 = (int32_t)std::ceil(right);
    for (int32_t cy = y0; cy < y1; cy++) {
        int32_t run_start = 0, run_shade = -1;
        for (int32_t cx = x0; cx <= x1; cx++) {
            int32_t shade = -1;
            if (cx < x1) {
                float px = (float)cx + 0.5f, py = (float)cy + 0.5f;
                float e0 = edge(0, 1, px, py), e1 = edge(1, 2, px, py), e2 = edge(2, 0, px, py);
                bool inside = area > 0 ? (e0 >= 0 && e1 >= 0 && e2 >= 0) : (e0 <= 0 && e1 <= 0 && e2 <= 0);
                if (inside) {
                    float t = (float)(cy - y0) * 0.25f + shade_base;
                    t = t < 0.0f ? 0.0f : t > 3.0f ? 3.0f : t;
                    int32_t lo = (int32_t)t;
                    float threshold = ((float)kBayer[(cy & 3) * 4 + (cx & 3)] + 0.5f) / 16.0f;
                    shade = std::min(3, lo + (t - (float)lo > threshold ? 1 : 0));
                }
            }
            if (shade != run_shade) {
                if (run_shade >= 0)
                    cursor_fill_rect(r, (float)run_start, (float)cy, (float)(cx - run_start), 1.0f, scale,
                                     colours[run_shade]);
                run_start = cx;
                run_shade = shade;
            }
        }
    }
}

// The tile at the pointer plus (ox, oy), scaled by k about its own anchor.
static void draw_tile(SDL_Renderer* r, const CustomCursor* c, float mx, float my, float ox, float oy, float k,
                      float scale)
{
    float xs[4], ys[4];
    cursor_tile_corners(c, xs, ys);
    float cx = 0.0f, cy = 0.0f;
    for (int i = 0; i < 4; i++) {
        xs[i] = mx + ox + xs[i] * k;
        ys[i] = my + oy + ys[i] * k;
        cx += xs[i] / 4.0f;
        cy += ys[i] / 4.0f;
    }
    // Faces sorted by the height of their rim on screen: higher rims are further away.
    int order[4] = {0, 1, 2, 3};
    float depth[4];
    for (int i = 0; i < 4; i++)
        depth[i] = ys[i] + ys[(i + 1) % 4];
    std::sort(order, order + 4, [&](int a, int b) { return depth[a] < depth[b]; });
    for (int n = 0; n < 4; n++) {
        int i = order[n], j = (i + 1) % 4;
        const float fx[3] = {cx, xs[i], xs[j]}, fy[3] = {cy, ys[i], ys[j]};
        draw_face(r, c, fx, fy, (float)i * kPi / 2.0f + c->angle + kPi / 4.0f, scale);
    }
}

void cursor_draw(SDL_Renderer* r, const CustomCursor* c, float mx, float my, float scale, double clock)
{
    if (!r || !c || !c->system_hidden || !std::isfinite(mx) || !std::isfinite(my))
        return;
    if (!(scale > 0.0f))
        scale = 1.0f;
    SDL_BlendMode saved_blend;
    uint8_t sr, sg, sb, sa;
    SDL_GetRenderDrawBlendMode(r, &saved_blend);
    SDL_GetRenderDrawColor(r, &sr, &sg, &sb, &sa);
    SDL_SetRenderDrawBlendMode(r, SDL_BLENDMODE_BLEND);

    draw_trail(r, c, scale, clock);
    draw_sparks(r, c, scale, clock);
    draw_hover(r, c, mx, my, scale, clock);
    float press = c->press;
    float k = (1.0f + 0.06f * std::sin(6.0f * (float)clock) * c->mode10_amount) * (1.0f + 0.3f * press);
    float o = (1.0f - 0.6f * clamp01(press)) * 10.0f;
    if (c->drag_amount > 0.0f || c->double_amount > 0.0f) {
        float d = c->drag_amount, s = c->stretch, dx = c->drag_dx, dy = c->drag_dy;
        float kd = k * (d * 0.7f + 0.3f);
        draw_tile(r, c, mx, my, (o + s) * dx * d, (o + s) * dy * d, kd, scale);
        draw_tile(r, c, mx, my, -(o - s) * dx * d, -(o - s) * dy * d, kd, scale);
        if (c->double_amount > 0.0f) {
            float e = c->double_amount, ke = k * (e * 0.7f + 0.3f);
            draw_tile(r, c, mx, my, o * -dy * e, o * dx * e, ke, scale);
            draw_tile(r, c, mx, my, -o * -dy * e, -o * dx * e, ke, scale);
        }
    } else {
        draw_tile(r, c, mx, my, 0.0f, 0.0f, k, scale);
    }
    SDL_SetRenderDrawBlendMode(r, saved_blend);
    SDL_SetRenderDrawColor(r, sr, sg, sb, sa);
}
