// canvas_shapes.cpp - snapped rectangles, outlines, lines and plain quads.
#include "ui/canvas.h"
#include "ui/canvas_internal.h"

#include <algorithm>
#include <cmath>

// One axis of a snapped rectangle: device pixels p0..p1 and the coverage of that span.
// A span under a pixel after rounding becomes the one pixel under its middle, covered
// by its extent (0 when it has none, NaN included).
struct CanvasSpan {
    float p0, p1, coverage;
};

static CanvasSpan canvas_span(float v, float size, float scale, float origin)
{
    float a = v * scale + origin, b = (v + size) * scale + origin;
    float lo = std::min(a, b), hi = std::max(a, b);
    float p0 = std::floor(lo + 0.5f), p1 = std::floor(hi + 0.5f);
    if (p1 > p0)
        return CanvasSpan{p0, p1, 1};
    float e = hi - lo;
    if (!(e > 0))
        return CanvasSpan{0, 0, 0};
    float mid = std::floor((lo + hi) / 2);
    return CanvasSpan{mid, mid + 1, std::min(e, 1.0f)};
}

void canvas_fill_rect4(Canvas* c, float x, float y, float w, float h, const float* c0, const float* c1,
                       const float* c2, const float* c3)
{
    if (!c || w != w || h != h)
        return;
    const CanvasLevel& l = c->level;
    CanvasSpan sx = canvas_span(x, w, l.scale, l.origin_x);
    CanvasSpan sy = canvas_span(y, h, l.scale, l.origin_y);
    if (!(sx.coverage > 0) || !(sy.coverage > 0))
        return;
    float f = sx.coverage * sy.coverage;
    canvas_push_quad(c, sx.p0, sy.p0, sx.p1, sy.p1, canvas_pack_color(c, c0, f), canvas_pack_color(c, c1, f),
                     canvas_pack_color(c, c2, f), canvas_pack_color(c, c3, f));
}

void canvas_fill_rect(Canvas* c, float x, float y, float w, float h, const float* colour)
{
    canvas_fill_rect4(c, x, y, w, h, colour, colour, colour, colour);
}

void canvas_fill_rect_gradient(Canvas* c, float x, float y, float w, float h, const float* top, const float* bottom)
{
    canvas_fill_rect4(c, x, y, w, h, top, top, bottom, bottom);
}

void canvas_stroke_rect(Canvas* c, float x, float y, float w, float h, float thickness, const float* colour)
{
    if (!c || !colour || !(thickness > 0))
        return;
    const CanvasLevel& l = c->level;
    CanvasSpan sx = canvas_span(x, w, l.scale, l.origin_x);
    CanvasSpan sy = canvas_span(y, h, l.scale, l.origin_y);
    if (!(sx.coverage > 0) || !(sy.coverage > 0))
        return;
    float t = std::floor(thickness * l.scale + 0.5f);
    float rgba[4] = {colour[0], colour[1], colour[2], colour[3]};
    if (t < 1) {
        t = 1;
        rgba[3] *= thickness * l.scale;
    }
    SDL_Color p = canvas_pack_color(c, rgba, 1);
    float x0 = sx.p0, x1 = sx.p1, y0 = sy.p0, y1 = sy.p1;
    if (x1 - x0 <= 2 * t || y1 - y0 <= 2 * t) {
        canvas_push_quad(c, x0, y0, x1, y1, p, p, p, p);
        return;
    }
    canvas_push_quad(c, x0, y0, x1, y0 + t, p, p, p, p);
    canvas_push_quad(c, x0, y1 - t, x1, y1, p, p, p, p);
    canvas_push_quad(c, x0, y0 + t, x0 + t, y1 - t, p, p, p, p);
    canvas_push_quad(c, x1 - t, y0 + t, x1, y1 - t, p, p, p, p);
}

void canvas_draw_line(Canvas* c, float x0, float y0, float x1, float y1, float thickness, const float* colour)
{
    if (!c || !colour || !(thickness > 0))
        return;
    if (x0 == x1) {
        canvas_fill_rect(c, x0 - thickness / 2, std::min(y0, y1), thickness, std::fabs(y1 - y0), colour);
        return;
    }
    if (y0 == y1) {
        canvas_fill_rect(c, std::min(x0, x1), y0 - thickness / 2, std::fabs(x1 - x0), thickness, colour);
        return;
    }
    const CanvasLevel& l = c->level;
    float ax = x0 * l.scale + l.origin_x, ay = y0 * l.scale + l.origin_y;
    float bx = x1 * l.scale + l.origin_x, by = y1 * l.scale + l.origin_y;
    float dx = bx - ax, dy = by - ay;
    float len = std::sqrt(dx * dx + dy * dy);
    if (!(len >= 0.0001f))
        return;
    float w = thickness * l.scale;
    float rgba[4] = {colour[0], colour[1], colour[2], colour[3]};
    if (w < 1) {
        rgba[3] *= w;
        w = 1;
    }
    float nx = -dy / len * w / 2, ny = dx / len * w / 2;
    const float xs[4] = {ax + nx, bx + nx, bx - nx, ax - nx};
    const float ys[4] = {ay + ny, by + ny, by - ny, ay - ny};
    canvas_fill_convex(c, xs, ys, 4, rgba);
}

void canvas_fill_quad(Canvas* c, const float xs[4], const float ys[4], const float* const colours[4])
{
    if (!c || !xs || !ys || !colours)
        return;
    const CanvasLevel& l = c->level;
    float px[4], py[4];
    for (int i = 0; i < 4; ++i) {
        px[i] = xs[i] * l.scale + l.origin_x;
        py[i] = ys[i] * l.scale + l.origin_y;
        if (!std::isfinite(px[i]) || !std::isfinite(py[i]))
            return;
    }
    if (!canvas_reserve(c, 4, 6))
        return;
    int base = c->vertex_count;
    for (int i = 0; i < 4; ++i)
        canvas_push_vertex(c, px[i], py[i], canvas_pack_color(c, colours[i], 1));
    const int order[6] = {0, 1, 2, 0, 2, 3};
    for (int k : order)
        c->indices[c->index_count++] = base + k;
}
