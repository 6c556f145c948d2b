// wavestrip.cpp - the mini strip, the waveform body and the take view's overlay.
#include "library/views/wavestrip.h"

#include <cmath>
#include <cstring>

#include "library/views/lv_draw.h"
#include "library/views/viz.h"
#include "ui/canvas.h"
#include "ui/theme.h"

static const float kHighlight[4] = {0.92f, 0.92f, 0.92f, 1.0f};
static const float kLight[4] = {0.92f, 0.92f, 0.92f, 1.0f};

static float clamp01(float v)
{
    return std::isnan(v) ? 0.0f : v < 0.0f ? 0.0f : v > 1.0f ? 1.0f : v;
}

void wavestrip_style_init(int32_t kind, WaveStripStyle* s)
{
    if (!s)
        return;
    std::memset(s, 0, sizeof *s);
    s->kind = kind == 1 ? 1 : 0;
    s->shape1 = s->kind ? 1.9f : 1.4f;
    s->shape2 = s->kind ? 2.0f : 1.5f;
    s->shape3 = s->kind ? 0.055f : 0.0f;
    s->odd_scale = s->kind ? 0.3333f : 1.0f;
    s->shape4 = s->kind ? 0.15f : 0.0f;
    s->opacity = 0.78f;
    s->base_brightness = 0.32f;
    s->peak_brightness = 0.68f;
    s->trailing2 = s->kind ? 1.0f : 0.0f;
}

void waveview_style_init(WaveViewStyle* s)
{
    if (!s)
        return;
    std::memset(s, 0, sizeof *s);
    s->scale_a[0] = s->scale_a[1] = 1.0f;
    s->scale_b[0] = s->scale_b[1] = 1.0f;
    s->peak_scale = 0.68f;
    s->register_hit = 1;
    s->opacity = 1.0f;
}

void waveview_palette(float colours[10][4])
{
    static const float kPalette[10][4] = {
        {0.11f, 0.11f, 0.11f, 0.35f}, {0.0f, 0.0f, 0.0f, 0.55f},   {0.92f, 0.92f, 0.92f, 0.10f},
        {0.18f, 0.78f, 0.72f, 0.75f}, {0.18f, 0.78f, 0.72f, 1.0f}, {0.92f, 0.92f, 0.92f, 1.0f},
        {0.92f, 0.92f, 0.92f, 1.0f},  {0.16f, 0.47f, 0.98f, 1.0f}, {0.84f, 0.65f, 0.18f, 1.0f},
        {1.0f, 1.0f, 1.0f, 1.0f}};
    std::memcpy(colours, kPalette, sizeof kPalette);
}

void waveview_heat(float v, float out[4])
{
    float p[10][4];
    waveview_palette(p);
    v = clamp01(v);
    if (v <= 0.85f)
        lv_mix(p[7], p[8], v / 0.85f, out);
    else
        lv_mix(p[8], p[9], (v - 0.85f) / 0.15f, out);
}

void wavestrip_draw(Canvas* c, const CanvasRect* r, const float* points, int32_t n, const WaveStripStyle* style,
                    float limit, const float* overlay, int32_t overlay_count, float cursor_x,
                    const float* colour)
{
    if (!c || !r || !points || n <= 0 || !(r->w > 0.0f) || !(r->h > 0.0f))
        return;
    WaveStripStyle s;
    if (style)
        s = *style;
    else
        wavestrip_style_init(0, &s);
    float half = 0.5f * r->h;
    if (limit > 0.0f && limit < half)
        half = limit;
    const float* ink = colour ? colour : kLight;
    if (s.kind == 1) {
        WaveViewStyle vs;
        waveview_style_init(&vs);
        vs.register_hit = 0;
        vs.opacity = s.opacity > 0.0f ? s.opacity : 0.78f;
        vs.odd_scale = s.odd_scale > 0.0f ? s.odd_scale : 0.3333f;
        vs.half_height = half;
        WaveViewWave w{};
        w.points = points;
        w.count = n;
        w.x = r->x;
        w.y = r->y;
        w.w = r->w;
        w.h = r->h;
        w.still = 1;
        w.growth = -1.0f;
        w.colour = ink;
        waveview_draw_wave(c, &w, &vs);
        return;
    }
    float slot = r->w / (float)n;
    float bar = slot * (s.shape1 > 0.0f ? s.shape1 : 1.4f) / (s.shape2 > 0.0f ? s.shape2 * 1.5f : 2.25f);
    if (bar < 0.5f)
        bar = 0.5f;
    if (bar > slot)
        bar = slot;
    float mid = r->y + 0.5f * r->h;
    int32_t overlays = overlay ? (overlay_count < 240 ? overlay_count : 240) : 0;
    for (int32_t i = 0; i < n; i++) {
        float v = clamp01(points[i]);
        float h = v * half * ((i & 1) ? s.odd_scale : 1.0f);
        if (!(h > 0.0f))
            continue;
        float cx = r->x + slot * ((float)i + 0.5f);
        float bright = (s.base_brightness + s.peak_brightness * v) * s.opacity;
        float mix = 0.0f;
        if (cursor_x >= 0.0f) {
            float d = std::fabs(cx - cursor_x);
            if (d < 80.0f)
                mix = 0.9f * (1.0f - d / 80.0f);
        }
        if (overlays > 0) {
            int32_t k = (int32_t)((float)i * (float)overlays / (float)n);
            float m = std::fmin(0.6f * clamp01(overlay[k]), 0.9f);
            mix = std::fmax(mix, m);
        }
        float col[4];
        lv_mix(ink, kHighlight, mix, col);
        col[3] = clamp01(bright) * ink[3];
        float x0 = cx - 0.5f * bar, x1 = cx + 0.5f * bar;
        canvas_fill_triangle(c, x0, mid - h, x1, mid - h, x1, mid + h, col);
        canvas_fill_triangle(c, x0, mid - h, x1, mid + h, x0, mid + h, col);
    }
}

// -- Waveform body ---------------------------------------------------------------------

void waveview_draw_wave(Canvas* c, const WaveViewWave* w, const WaveViewStyle* style)
{
    if (!c || !w || !w->points || w->count <= 0 || !(w->w > 0.0f) || !(w->h > 0.0f))
        return;
    WaveViewStyle s;
    if (style)
        s = *style;
    else
        waveview_style_init(&s);
    if (s.register_hit)
        lv_hit(c, w->x, w->y, w->w, w->h, 1);
    int32_t group = (s.stride > 0 ? s.stride : 1) + (s.sparse ? 1 : 0);
    int32_t elements = (w->count + group - 1) / group;
    float slot = w->w / (float)elements;
    float mid = w->y + 0.5f * w->h;
    float half = s.half_height > 0.0f ? s.half_height : 0.44f * w->h;
    float odd = s.odd_scale > 0.0f ? std::fmin(s.odd_scale, 1.0f) : (s.sparse ? 1.0f / 3.0f : 1.0f);
    float peak = s.peak_scale > 0.0f ? s.peak_scale : 0.68f;
    double t = (w->still || !std::isfinite(w->time)) ? 0.0 : std::fmod(w->time, 100000.0);
    float arc_scale = w->arc_scale > 0.0f ? w->arc_scale : w->w / 240.0f;
    float fade_len = w->fade_length > 0.0f ? w->fade_length : 24.0f;
    float scale = canvas_get_scale(c);
    const float* ink = w->colour ? w->colour : kLight;
    for (int32_t e = 0; e < elements; e++) {
        float v = 0.0f;
        for (int32_t k = 0; k < group && e * group + k < w->count; k++)
            v = std::fmax(v, clamp01(w->points[e * group + k]));
        float cx = w->x + slot * ((float)e + 0.5f);
        float fade = 1.0f, grow = 1.0f;
        if (w->growth >= 0.0f) {
            float behind = w->reverse ? (float)e - w->growth : w->growth - (float)e;
            if (behind < 0.0f)
                continue;
            fade = 1.0f - fade_curve(behind / fade_len * 4.0f);
            grow = spring_curve(behind / fade_len * 0.6f);
            if (grow < 0.02f)
                continue;
        }
        float strength = (((e + w->index_offset) % 3) == 0 || s.all_full) ? 1.0f : 0.42f;
        if ((e & 1) != 0)
            strength *= odd;
        float disp = 0.0f, glow = 0.0f;
        if (w->arc && w->arc_strength > 0.0f) {
            float x = (cx - w->arc_x) / arc_scale * (w->arc_direction < 0.0f ? -1.0f : 1.0f);
            viz_band_motion(x, v, &disp, &glow);
            glow *= w->arc_strength;
        }
        float wobble = 1.0f + 0.08f * value_noise_1d((float)e * 0.37f + (float)t * 1.7f);
        float h = v * half * peak / 0.68f * strength * grow * wobble;
        float width = std::fmin(viz_glow_width(v, slot, false) * 0.5f, slot * 0.45f);
        float bright = (0.28f + 0.72f * v) * fade * (0.5f + 0.5f * strength) * s.opacity;
        float col[4];
        lv_mix(ink, kHighlight, std::fmin(0.9f, 0.35f * (1.0f - fade) + 0.55f * glow), col);
        col[3] = clamp01(bright) * ink[3];
        if (col[3] * 255.0f < 0.5f || !(h > 0.05f))
            continue;
        float diag = std::sqrt(width * width + h * h) * scale;
        int32_t steps = (int32_t)(diag / 4.0f);
        steps = steps < 3 ? 3 : steps > 10 ? 10 : steps;
        float xs[22], ys[22];
        for (int flip = 0; flip < 2; flip++) {
            VizWaveShape shape{cx + disp * 0.25f * slot, mid, width, h, (uint8_t)flip, 0.0f, 0.0f, 0.0f};
            int32_t m = viz_draw_wave(&shape, steps, xs, ys);
            int32_t half_m = m / 2;
            float rx[11], ry[11];
            for (int32_t i = 0; i < half_m; i++) {
                rx[i] = xs[m - 1 - i];
                ry[i] = ys[m - 1 - i];
            }
            canvas_fill_ribbon(c, xs, ys, rx, ry, half_m, col);
        }
    }
}

// -- Overlay ------------------------------------------------------------------------------

static const float kEdgeReach = 6.0f;   // how near the pointer lights an edge marker

static void draw_grid(Canvas* c, const CanvasRect* lr, const WaveViewLane* lane)
{
    float cw = lr->w / (float)lane->columns, ch = lr->h / (float)lane->rows;
    for (int32_t row = 0; row < lane->rows; row++)
        for (int32_t col = 0; col < lane->columns; col++) {
            float v = lane->grid[row * lane->columns + col];
            if (!(v > 0.04f))
                continue;
            float heat[4];
            waveview_heat(v, heat);
            canvas_fill_rect(c, lr->x + cw * (float)col, lr->y + ch * (float)row, cw, ch, heat);
        }
}

static void draw_lanes(Canvas* c, const CanvasRect* r, const WaveViewOverlay* o, const float (*p)[4])
{
    float band = r->h / (float)o->lane_count;
    for (int32_t l = 0; l < o->lane_count; l++) {
        const WaveViewLane* lane = &o->lanes[l];
        float x0, x1;
        if (!layout_clamp_range(lane->start, lane->end, r->w, &x0, &x1))
            continue;
        CanvasRect lr{r->x + x0, r->y + r->h - band * (float)(l + 1), x1 - x0, band};
        if (lane->grid && lane->columns > 0 && lane->rows > 0)
            draw_grid(c, &lr, lane);
        else if (lane->peaks && lane->count > 0)
            wavestrip_draw(c, &lr, lane->peaks, lane->count, nullptr, 0.0f, nullptr, 0, -1.0f, p[5]);
    }
}

// The range between x0 and x1 (units from r's left): its fill and outline, a handle at
// each end with grip lines, the dragged one outlined, then the two edge markers just
// inside the handles.
static void draw_range(Canvas* c, const CanvasRect* r, const WaveViewOverlay* o, float x0, float x1,
                       const float (*p)[4])
{
    canvas_fill_rect(c, r->x + x0, r->y, x1 - x0, r->h, p[2]);
    canvas_stroke_rect(c, r->x + x0, r->y, x1 - x0, r->h, 1.0f, p[3]);
    float hw = std::fmin(4.0f, (x1 - x0) / 3.0f);
    float mid = std::floor(r->y + 0.5f * r->h);
    for (int32_t side = 0; side < 2; side++) {
        float hx = side ? r->x + x1 - hw : r->x + x0;
        canvas_fill_rect(c, hx, r->y, hw, r->h, p[4]);
        if (hw >= 3.0f && r->h >= 9.0f)
            for (int32_t k = -1; k <= 1; k++)
                canvas_fill_rect(c, hx + 1.0f, mid + 2.0f * (float)k, hw - 2.0f, 1.0f, p[1]);
        if (o->drag_handle == side + 1)
            canvas_stroke_rect(c, hx, r->y, hw, r->h, 1.0f, p[5]);
    }
    // The edge the pointer is nearest, when within reach (NaN never is).
    float d0 = std::fabs(o->pointer_x - x0), d1 = std::fabs(o->pointer_x - x1);
    int32_t lit = d0 <= kEdgeReach && !(d1 < d0) ? 0 : d1 <= kEdgeReach ? 1 : -1;
    for (int32_t side = 0; side < 2; side++) {
        float mark[4];
        std::memcpy(mark, p[5], sizeof mark);
        mark[3] = side == lit ? 1.0f : o->range_active ? 0.6f : 0.3f;
        float mx = side ? r->x + x1 - hw - 1.0f : r->x + x0 + hw;
        canvas_fill_rect(c, mx, r->y, 1.0f, r->h, mark);
    }
}

void waveview_draw_overlay(Canvas* c, TextRenderer* tr, const CanvasRect* r, const WaveViewOverlay* o)
{
    if (!c || !r || !o || !(r->w > 2.0f) || !(r->h > 2.0f))
        return;
    float p[10][4];
    waveview_palette(p);
    lv_hit(c, r->x, r->y, r->w, r->h, 2);
    CanvasRect saved;
    bool had = canvas_get_clip(c, &saved);
    canvas_set_clip(c, r);
    canvas_fill_rect(c, r->x, r->y, r->w, r->h, p[0]);
    if (o->lanes && o->lane_count > 0)
        draw_lanes(c, r, o, p);
    float x0, x1;
    if (layout_clamp_range(o->range_start, o->range_end, r->w, &x0, &x1))
        draw_range(c, r, o, x0, x1, p);
    if (o->position >= 0.0f) {
        float x = r->x + clamp01(o->position) * r->w;
        canvas_fill_rect(c, x - 0.5f, r->y, 1.0f, r->h, p[5]);
    }
    canvas_stroke_rect(c, r->x, r->y, r->w, r->h, 1.0f, p[2]);
    canvas_set_clip(c, had ? &saved : nullptr);
}
