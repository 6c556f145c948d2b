// keyboard_caps.cpp - the key-cap palette, widths and drawing, and the dither fill.
#include "ui/keyboard_caps.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "ui/canvas.h"
#include "ui/dither.h"
#include "ui/text.h"
#include "ui/theme.h"

static float g_cap_pressed = 0.0f;
static float g_cap_hovered = 0.0f;

static void keycap_mix(float* out, const float* a, const float* b, float f)
{
    for (int i = 0; i < 4; i++)
        out[i] = a[i] + (b[i] - a[i]) * f;
}

void keyboard_palette_init(KeyCapPalette* p)
{
    if (!p)
        return;
    const ThemePalette* th = theme_palette();
    auto copy = [&](int dst, int slot) { memcpy(p->colours[dst], th->colours[slot], sizeof p->colours[dst]); };
    copy(0, THEME_SURFACE);
    copy(1, THEME_BACKGROUND);
    copy(2, THEME_PRIMARY);
    copy(3, THEME_PRIMARY);
    p->colours[3][3] = 0.42f;
    keycap_mix(p->colours[4], th->colours[THEME_SURFACE], th->colours[THEME_PRIMARY], 0.13f);
    const float* bg = th->colours[THEME_BACKGROUND];
    p->colours[5][0] = bg[0] * 0.8f;
    p->colours[5][1] = bg[1] * 0.8f;
    p->colours[5][2] = bg[2] * 0.8f;
    p->colours[5][3] = bg[3] + (1.0f - bg[3]) * 0.2f;
    copy(6, THEME_ORANGE);
    copy(7, THEME_SECONDARY);
}

void keyboard_cap_state(float pressed, float hovered)
{
    g_cap_pressed = pressed;
    g_cap_hovered = hovered;
}

// One UTF-8 sequence of 2, 3 or 4 bytes and nothing else.
static bool keycap_single_wide(const char* s)
{
    size_t n = strlen(s);
    unsigned char c = (unsigned char)s[0];
    size_t want = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return want > 1 && n == want;
}

static float keycap_text_size(const char* label, float h)
{
    float k = keycap_single_wide(label) ? 0.68f : 0.53f;
    return std::max(7.0f, std::floor(k * h + 0.5f));
}

float keyboard_cap_width(Canvas* c, TextRenderer* tr, float h, const char* label)
{
    if (!label)
        return 0.0f;
    if (strcmp(label, "␣") == 0)
        return std::floor(h * 2.6f + 0.5f);
    if (strcmp(label, "…") == 0)
        return std::floor(h * 0.55f + 0.5f);
    float tw = 0.0f, th = 0.0f;
    if (tr)
        text_measure(tr, c, 1, label, keycap_text_size(label, h), 700, &tw, &th);
    if (tw <= 0.0f)
        tw = (float)strlen(label) * h * 0.33f;
    return std::max(h, std::floor(tw + 0.6f * h + 0.5f));
}

float keyboard_keycaps_width(Canvas* c, TextRenderer* tr, float h, const char* keys_text)
{
    float w = 0.0f;
    int n = 0;
    keys_for_each_label(keys_text, [&](int32_t, const char* label) {
        w += keyboard_cap_width(c, tr, h, label);
        n++;
    });
    return n ? w + 3.0f * (float)(n - 1) : 0.0f;
}

float keyboard_draw_cap(Canvas* c, TextRenderer* tr, const KeyCapPalette* pal, float x, float y, float h,
                        float cap_w, const char* label, float opacity, bool accent)
{
    if (!c || !pal || !(cap_w > 0.0f) || !label)
        return cap_w;
    float a = std::clamp(opacity, 0.0f, 1.0f);
    float pr = g_cap_pressed, hv = g_cap_hovered;
    float text[4];
    memcpy(text, pal->colours[accent ? 6 : 2], sizeof text);
    text[3] = a;
    float top = y + 2.0f * pr;
    if (strcmp(label, "…") == 0) {
        float dot[4] = {pal->colours[3][0], pal->colours[3][1], pal->colours[3][2], a};
        float d = std::max(1.0f, (cap_w - 6.0f) / 4.0f);
        for (int i = 0; i < 3; i++)
            canvas_fill_rect(c, x + d + (float)i * (d + 2.0f), top + (h - 2.0f) / 2.0f - 1.0f, 2.0f, 2.0f, dot);
        return cap_w;
    }
    float base[4];
    memcpy(base, pal->colours[5], sizeof base);
    base[3] = a;
    canvas_fill_rect(c, x, y + 2.0f, cap_w, h - 2.0f, base);
    float face[4];
    memcpy(face, pal->colours[4], sizeof face);
    if (accent)
        keycap_mix(face, pal->colours[4], pal->colours[6], 0.18f);
    keycap_mix(face, face, pal->colours[2], hv * 0.1f);
    keycap_mix(face, face, pal->colours[5], pr * 0.35f);
    face[3] = a;
    canvas_fill_rect(c, x, top, cap_w, h - 2.0f - 2.0f * pr, face);
    const float light[4] = {1.0f, 1.0f, 1.0f, a * 0.1f};
    canvas_fill_rect(c, x + 1.0f, top, cap_w - 2.0f, 1.0f, light);
    if (strcmp(label, "␣") == 0) {
        float b = std::min(cap_w * 0.42f, 18.0f);
        float g = h * 0.22f;
        float bx = x + (cap_w - b) / 2.0f;
        float gy = top + (h - 2.0f) / 2.0f + g * 0.2f;
        canvas_fill_rect(c, bx, gy + g - 1.5f, b, 1.5f, text);
        canvas_fill_rect(c, bx, gy, 1.5f, g, text);
        canvas_fill_rect(c, bx + b - 1.5f, gy, 1.5f, g, text);
        return cap_w;
    }
    if (tr) {
        float size = keycap_text_size(label, h);
        float tw = 0.0f, th = 0.0f;
        text_measure(tr, c, 1, label, size, 700, &tw, &th);
        text_draw(tr, c, 1, label, x + cap_w / 2.0f, top + (h - 2.0f - th) / 2.0f, size, 700, text, 1);
    } else {
        canvas_draw_pixel_text(c, label, x + cap_w / 2.0f, top + (h - 2.0f - 7.0f) / 2.0f, 1.0f, text, 1);
    }
    return cap_w;
}

float keyboard_draw_keycap_lit(Canvas* c, TextRenderer* tr, const KeyCapPalette* pal, float x, float y, float h,
                               const char* keys_text, float opacity, bool accent)
{
    float cx = x;
    float end = x;
    keys_for_each_label(keys_text, [&](int32_t, const char* label) {
        float w = keyboard_cap_width(c, tr, h, label);
        keyboard_draw_cap(c, tr, pal, cx, y, h, w, label, opacity, accent);
        end = cx + w;
        cx += w + 3.0f;
    });
    return end - x;
}

static int32_t keycap_mod(int32_t v, int32_t m)
{
    int32_t r = v % m;
    return r < 0 ? r + m : r;
}

void keyboard_dither_rects(const CanvasRect* r, float ox, float oy, int32_t step,
                           void (*emit)(void* ctx, const CanvasRect* rect), void* ctx)
{
    if (!r || !emit || step >= DITHER_STEPS || !(r->w > 0.0f) || !(r->h > 0.0f))
        return;
    if (step <= 0) {
        emit(ctx, r);
        return;
    }
    int32_t keep = dither_level_count(step);
    int32_t cy0 = (int32_t)std::floor((r->y - oy) / 2.0f), cy1 = (int32_t)std::ceil((r->y + r->h - oy) / 2.0f);
    int32_t cx0 = (int32_t)std::floor((r->x - ox) / 2.0f), cx1 = (int32_t)std::ceil((r->x + r->w - ox) / 2.0f);
    for (int32_t cy = cy0; cy < cy1; cy++) {
        float y0 = std::max(r->y, oy + 2.0f * (float)cy), y1 = std::min(r->y + r->h, oy + 2.0f * (float)cy + 2.0f);
        if (y1 <= y0)
            continue;
        int32_t row = keycap_mod(cy, DITHER_SIZE) * DITHER_SIZE;
        int32_t run = 0;
        bool in_run = false;   // cell columns may be negative: no sentinel value
        for (int32_t cx = cx0; cx <= cx1; cx++) {
            bool filled = cx < cx1 && dither_rank(row + keycap_mod(cx, DITHER_SIZE)) >= keep;
            if (filled && !in_run) {
                run = cx;
                in_run = true;
            }
            if (!filled && in_run) {
                float x0 = std::max(r->x, ox + 2.0f * (float)run);
                float x1 = std::min(r->x + r->w, ox + 2.0f * (float)cx);
                if (x1 > x0) {
                    CanvasRect out{x0, y0, x1 - x0, y1 - y0};
                    emit(ctx, &out);
                }
                in_run = false;
            }
        }
    }
}

struct DitherFillCtx {
    Canvas* c;
    const float* colour;
};

void keyboard_dither_fill(Canvas* c, const CanvasRect* r, float ox, float oy, int32_t step, const float* colour)
{
    if (!c)
        return;
    DitherFillCtx ctx{c, colour};
    keyboard_dither_rects(r, ox, oy, step, [](void* p, const CanvasRect* q) {
        auto* f = (DitherFillCtx*)p;
        canvas_fill_rect(f->c, q->x, q->y, q->w, q->h, f->colour);
    }, &ctx);
}
