// canvas_poly.cpp - anti-aliased polygons: convex fills, triangles, diamonds and
// ribbons, each with a soft edge one device pixel wide centred on the outline.
#include "ui/canvas.h"
#include "ui/canvas_internal.h"

#include <cmath>

constexpr int32_t CANVAS_CONVEX_MAX = 8;
constexpr int32_t CANVAS_RIBBON_MAX = 16;
constexpr int32_t CANVAS_OUTLINE_MAX = 2 * CANVAS_RIBBON_MAX;

// The outward offset of every outline point (device pixels): the miter of its two
// edges' unit normals, held to length 4. False when the outline has no area or a
// point is not finite.
static bool canvas_outline_offsets(const float* xs, const float* ys, int32_t n, float* mx, float* my)
{
    float area = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (!std::isfinite(xs[i]) || !std::isfinite(ys[i]))
            return false;
        int32_t j = (i + 1) % n;
        area += xs[i] * ys[j] - xs[j] * ys[i];
    }
    if (!(std::fabs(area) >= 0.000001f))
        return false;
    float nx[CANVAS_OUTLINE_MAX], ny[CANVAS_OUTLINE_MAX];
    for (int32_t i = 0; i < n; ++i) {
        int32_t j = (i + 1) % n;
        float dx = xs[j] - xs[i], dy = ys[j] - ys[i];
        float len = std::sqrt(dx * dx + dy * dy);
        if (len < 0.000001f) {
            nx[i] = ny[i] = 0;
        } else if (area > 0) {
            nx[i] = dy / len, ny[i] = -dx / len;
        } else {
            nx[i] = -dy / len, ny[i] = dx / len;
        }
    }
    for (int32_t i = 0; i < n; ++i) {
        int32_t p = (i + n - 1) % n;
        float d = 1 + nx[i] * nx[p] + ny[i] * ny[p];
        float x = nx[i], y = ny[i];
        if (d >= 0.001f) {
            x = (nx[i] + nx[p]) / d;
            y = (ny[i] + ny[p]) / d;
        }
        float len2 = x * x + y * y;
        if (len2 > 16) {
            float k = 4 / std::sqrt(len2);
            x *= k, y *= k;
        }
        mx[i] = x, my[i] = y;
    }
    return true;
}

// Inner and outer vertex of every outline point (inner at base + 2i, outer after it)
// and the soft edge round the whole outline. Room must be reserved.
static void canvas_push_fringe(Canvas* c, const float* xs, const float* ys, const float* mx, const float* my,
                               int32_t n, SDL_Color colour, int32_t base, bool vertices)
{
    SDL_Color clear = colour;
    clear.a = 0;
    if (vertices) {
        for (int32_t i = 0; i < n; ++i) {
            canvas_push_vertex(c, xs[i] - mx[i] / 2, ys[i] - my[i] / 2, colour);
            canvas_push_vertex(c, xs[i] + mx[i] / 2, ys[i] + my[i] / 2, clear);
        }
        return;
    }
    for (int32_t i = 0; i < n; ++i) {
        int32_t j = (i + 1) % n;
        const int32_t tri[6] = {2 * i, 2 * i + 1, 2 * j + 1, 2 * i, 2 * j + 1, 2 * j};
        for (int32_t k : tri)
            c->indices[c->index_count++] = base + k;
    }
}

void canvas_fill_convex(Canvas* c, const float* xs, const float* ys, int32_t count, const float* colour)
{
    if (!c || !xs || !ys || !colour || count < 3 || count > CANVAS_CONVEX_MAX)
        return;
    float mx[CANVAS_CONVEX_MAX], my[CANVAS_CONVEX_MAX];
    if (!canvas_outline_offsets(xs, ys, count, mx, my))
        return;
    if (!canvas_reserve(c, 2 * count, 9 * count - 6))
        return;
    SDL_Color col = canvas_pack_color(c, colour, 1);
    int32_t base = c->vertex_count;
    canvas_push_fringe(c, xs, ys, mx, my, count, col, base, true);
    for (int32_t k = 2; k < count; ++k) {
        c->indices[c->index_count++] = base;
        c->indices[c->index_count++] = base + 2 * (k - 1);
        c->indices[c->index_count++] = base + 2 * k;
    }
    canvas_push_fringe(c, xs, ys, mx, my, count, col, base, false);
}

void canvas_fill_triangle(Canvas* c, float x0, float y0, float x1, float y1, float x2, float y2, const float* colour)
{
    if (!c)
        return;
    const CanvasLevel& l = c->level;
    const float xs[3] = {x0 * l.scale + l.origin_x, x1 * l.scale + l.origin_x, x2 * l.scale + l.origin_x};
    const float ys[3] = {y0 * l.scale + l.origin_y, y1 * l.scale + l.origin_y, y2 * l.scale + l.origin_y};
    canvas_fill_convex(c, xs, ys, 3, colour);
}

void canvas_fill_diamond(Canvas* c, float cx, float cy, float half_w, float half_h, const float* colour)
{
    if (!c || !(half_w > 0) || !(half_h > 0))
        return;
    const CanvasLevel& l = c->level;
    float x = cx * l.scale + l.origin_x, y = cy * l.scale + l.origin_y;
    float hw = half_w * l.scale, hh = half_h * l.scale;
    const float xs[4] = {x, x + hw, x, x - hw};
    const float ys[4] = {y - hh, y, y + hh, y};
    canvas_fill_convex(c, xs, ys, 4, colour);
}

void canvas_fill_ribbon(Canvas* c, const float* top_xs, const float* top_ys, const float* bottom_xs,
                        const float* bottom_ys, int32_t count, const float* colour)
{
    if (!c || !top_xs || !top_ys || !bottom_xs || !bottom_ys || !colour || count < 2 || count > CANVAS_RIBBON_MAX)
        return;
    const CanvasLevel& l = c->level;
    int32_t last = count - 1;
    bool meet = std::fabs(top_xs[last] - bottom_xs[last]) * l.scale < 0.01f &&
                std::fabs(top_ys[last] - bottom_ys[last]) * l.scale < 0.01f;
    // The outline: top points in order, then bottom points backwards.
    float xs[CANVAS_OUTLINE_MAX], ys[CANVAS_OUTLINE_MAX];
    int32_t n = 0;
    for (int32_t k = 0; k < count; ++k, ++n) {
        xs[n] = top_xs[k] * l.scale + l.origin_x;
        ys[n] = top_ys[k] * l.scale + l.origin_y;
    }
    for (int32_t k = meet ? last - 1 : last; k >= 0; --k, ++n) {
        xs[n] = bottom_xs[k] * l.scale + l.origin_x;
        ys[n] = bottom_ys[k] * l.scale + l.origin_y;
    }
    float mx[CANVAS_OUTLINE_MAX], my[CANVAS_OUTLINE_MAX];
    if (!canvas_outline_offsets(xs, ys, n, mx, my))
        return;
    SDL_Color col = canvas_pack_color(c, colour, 1);
    if (col.a == 0)
        return;
    if (!canvas_reserve(c, 2 * n, (count + n) * 6 - 6))
        return;
    int32_t base = c->vertex_count;
    canvas_push_fringe(c, xs, ys, mx, my, n, col, base, true);
    // Outline index of bottom point k (when the ends meet the last one is the last top).
    auto bottom = [&](int32_t k) {
        if (!meet)
            return 2 * count - 1 - k;
        return k == last ? last : 2 * count - 2 - k;
    };
    for (int32_t k = 1; k < count; ++k) {
        int32_t t0 = base + 2 * (k - 1), t1 = base + 2 * k;
        int32_t b0 = base + 2 * bottom(k - 1), b1 = base + 2 * bottom(k);
        if (t1 != b1) {
            c->indices[c->index_count++] = t0;
            c->indices[c->index_count++] = t1;
            c->indices[c->index_count++] = b1;
        }
        c->indices[c->index_count++] = t0;
        c->indices[c->index_count++] = b1;
        c->indices[c->index_count++] = b0;
    }
    canvas_push_fringe(c, xs, ys, mx, my, n, col, base, false);
}
