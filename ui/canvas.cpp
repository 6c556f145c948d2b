// canvas.cpp - the canvas's lifecycle, levels, clip and batch.
#include "ui/canvas.h"

#include "ui/canvas_internal.h"
#include "ui/drawkit.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

// ---- Helpers shared by the canvas files ----------------------------------------------

float canvas_clamp01(float v)
{
    if (!(v > 0))
        return 0;   // NaN too
    return v < 1 ? v : 1;
}

int32_t canvas_round_px(float v)
{
    float r = std::floor(v + 0.5f);
    if (!(r > -CANVAS_PX_LIMIT))
        return r != r ? 0 : -CANVAS_PX_LIMIT;
    return r < CANVAS_PX_LIMIT ? (int32_t)r : CANVAS_PX_LIMIT;
}

static SDL_Texture* canvas_make_white(SDL_Renderer* r)
{
    SDL_Texture* t = SDL_CreateTexture(r, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, 1, 1);
    if (!t)
        return nullptr;
    const uint32_t white = 0xFFFFFFFFu;
    SDL_UpdateTexture(t, nullptr, &white, 4);
    SDL_SetTextureBlendMode(t, SDL_BLENDMODE_BLEND);
    return t;
}

// Whether the renderer takes each custom blend, tried on the white texture.
static void canvas_probe_blends(Canvas* c)
{
    c->premultiplied_ok = SDL_SetTextureBlendMode(c->white, c->premultiplied_blend) == 0;
    c->mask_ok = SDL_SetTextureBlendMode(c->white, c->mask_blend) == 0;
    SDL_SetTextureBlendMode(c->white, SDL_BLENDMODE_BLEND);
}

static void canvas_free_textures(Canvas* c)
{
    if (c->white)
        SDL_DestroyTexture(c->white);
    c->white = nullptr;
    for (SDL_Texture*& m : c->masks) {
        if (m)
            SDL_DestroyTexture(m);
        m = nullptr;
    }
    if (c->image)
        SDL_DestroyTexture(c->image);
    c->image = nullptr;
    c->image_w = c->image_h = 0;
}

// ---- Lifecycle -------------------------------------------------------------------

Canvas* canvas_create(SDL_Renderer* renderer)
{
    if (!renderer)
        return nullptr;
    Canvas* c = (Canvas*)calloc(1, sizeof(Canvas));
    if (!c)
        return nullptr;
    c->renderer = renderer;
    c->white = canvas_make_white(renderer);
    if (!c->white) {
        free(c);
        return nullptr;
    }
    c->premultiplied_blend =
        SDL_ComposeCustomBlendMode(SDL_BLENDFACTOR_ONE, SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA, SDL_BLENDOPERATION_ADD,
                                   SDL_BLENDFACTOR_ONE, SDL_BLENDFACTOR_ONE_MINUS_SRC_ALPHA, SDL_BLENDOPERATION_ADD);
    c->mask_blend =
        SDL_ComposeCustomBlendMode(SDL_BLENDFACTOR_ZERO, SDL_BLENDFACTOR_SRC_ALPHA, SDL_BLENDOPERATION_ADD,
                                   SDL_BLENDFACTOR_ZERO, SDL_BLENDFACTOR_SRC_ALPHA, SDL_BLENDOPERATION_ADD);
    canvas_probe_blends(c);
    c->level.scale = 1;
    c->level.opacity = 1;
    return c;
}

void canvas_destroy(Canvas* c)
{
    if (!c)
        return;
    canvas_free_textures(c);
    for (CanvasTarget& t : c->kept)
        canvas_texture_free(&t);
    free(c);
}

void canvas_reset(Canvas* c)
{
    if (!c)
        return;
    c->vertex_count = 0;
    c->index_count = 0;
    canvas_free_textures(c);
    c->generation++;
    c->white = canvas_make_white(c->renderer);
    if (c->white) {
        canvas_probe_blends(c);
    } else {
        c->premultiplied_ok = 0;
        c->mask_ok = 0;
    }
}

// ---- Batch -----------------------------------------------------------------------

bool canvas_reserve(Canvas* c, int32_t n, int32_t m)
{
    if (n > CANVAS_MAX_VERTICES || m > CANVAS_MAX_INDICES)
        return false;
    if (c->index_count > 0 && c->batch_additive != c->level.additive)
        canvas_flush(c);
    if (c->vertex_count + n > CANVAS_MAX_VERTICES || c->index_count + m > CANVAS_MAX_INDICES)
        canvas_flush(c);
    c->batch_additive = c->level.additive;
    return true;
}

void canvas_flush(Canvas* c)
{
    if (!c)
        return;
    if (c->index_count > 0) {
        draw_solid_geometry(c->renderer, c->batch_additive ? SDL_BLENDMODE_ADD : SDL_BLENDMODE_BLEND, c->vertices,
                            c->vertex_count, c->indices, c->index_count);
    }
    c->vertex_count = 0;
    c->index_count = 0;
}

SDL_Color canvas_pack_color(const Canvas* c, const float* rgba, float factor)
{
    if (!rgba)
        return SDL_Color{0, 0, 0, 0};
    float opacity = c ? c->level.opacity : 1;
    return SDL_Color{(Uint8)(canvas_clamp01(rgba[0]) * 255 + 0.5f), (Uint8)(canvas_clamp01(rgba[1]) * 255 + 0.5f),
                     (Uint8)(canvas_clamp01(rgba[2]) * 255 + 0.5f),
                     (Uint8)(canvas_clamp01(opacity * rgba[3] * factor) * 255 + 0.5f)};
}

void canvas_push_vertex(Canvas* c, float x, float y, SDL_Color colour)
{
    SDL_Vertex& v = c->vertices[c->vertex_count++];
    v.position = SDL_FPoint{x, y};
    v.color = colour;
    v.tex_coord = SDL_FPoint{0.5f, 0.5f};
}

void canvas_push_quad(Canvas* c, float x0, float y0, float x1, float y1, SDL_Color c0, SDL_Color c1, SDL_Color c2,
                      SDL_Color c3)
{
    if (!c || !(x1 > x0) || !(y1 > y0))
        return;   // NaN too
    if (!canvas_reserve(c, 4, 6))
        return;
    int base = c->vertex_count;
    canvas_push_vertex(c, x0, y0, c0);
    canvas_push_vertex(c, x1, y0, c1);
    canvas_push_vertex(c, x1, y1, c2);
    canvas_push_vertex(c, x0, y1, c3);
    const int order[6] = {0, 1, 2, 0, 2, 3};
    for (int k : order)
        c->indices[c->index_count++] = base + k;
}

// ---- Levels and clip ---------------------------------------------------------------

void canvas_apply_clip(Canvas* c)
{
    const CanvasLevel& l = c->level;
    if (!l.clip_on) {
        SDL_RenderSetClipRect(c->renderer, nullptr);
        return;
    }
    float fx0 = l.clip.x * l.scale + l.origin_x, fy0 = l.clip.y * l.scale + l.origin_y;
    float fx1 = (l.clip.x + l.clip.w) * l.scale + l.origin_x, fy1 = (l.clip.y + l.clip.h) * l.scale + l.origin_y;
    SDL_Rect r{0, 0, 0, 0};
    // A clip that cannot be placed (NaN, infinite) shuts everything out rather than
    // letting a panel draw over its neighbours.
    if (std::isfinite(fx0) && std::isfinite(fy0) && std::isfinite(fx1) && std::isfinite(fy1)) {
        int32_t x0 = canvas_round_px(fx0), y0 = canvas_round_px(fy0);
        int32_t x1 = canvas_round_px(fx1), y1 = canvas_round_px(fy1);
        r = SDL_Rect{x0, y0, x1 > x0 ? x1 - x0 : 0, y1 > y0 ? y1 - y0 : 0};
    }
    SDL_RenderSetClipRect(c->renderer, &r);
}

void canvas_renderer_plain(Canvas* c)
{
    SDL_RenderSetScale(c->renderer, 1, 1);
    SDL_RenderSetViewport(c->renderer, nullptr);
    SDL_RenderSetClipRect(c->renderer, nullptr);
}

static void canvas_save_renderer(Canvas* c)
{
    SDL_Renderer* r = c->renderer;
    c->saved_target = SDL_GetRenderTarget(r);
    SDL_RenderGetScale(r, &c->saved_scale_x, &c->saved_scale_y);
    SDL_RenderGetViewport(r, &c->saved_viewport);
    c->saved_clip_enabled = SDL_RenderIsClipEnabled(r) == SDL_TRUE;
    SDL_RenderGetClipRect(r, &c->saved_clip);
    if (SDL_GetRenderDrawBlendMode(r, &c->saved_blend) != 0)
        c->saved_blend = SDL_BLENDMODE_BLEND;
    Uint8* col = c->saved_colour;
    if (SDL_GetRenderDrawColor(r, &col[0], &col[1], &col[2], &col[3]) != 0)
        memset(col, 0, 4);
}

static void canvas_restore_renderer(Canvas* c)
{
    SDL_Renderer* r = c->renderer;
    if (SDL_GetRenderTarget(r) != c->saved_target)
        SDL_SetRenderTarget(r, c->saved_target);
    SDL_RenderSetScale(r, c->saved_scale_x, c->saved_scale_y);
    SDL_RenderSetViewport(r, &c->saved_viewport);
    SDL_RenderSetClipRect(r, c->saved_clip_enabled ? &c->saved_clip : nullptr);
    SDL_SetRenderDrawBlendMode(r, c->saved_blend);
    SDL_SetRenderDrawColor(r, c->saved_colour[0], c->saved_colour[1], c->saved_colour[2], c->saved_colour[3]);
}

void canvas_begin(Canvas* c, float origin_x, float origin_y, float scale)
{
    if (!c)
        return;
    if (c->depth == 0) {
        canvas_save_renderer(c);
        canvas_renderer_plain(c);
        c->target_depth = 0;
        c->targets_refused = 0;
    } else {
        canvas_flush(c);
        if (c->depth <= CANVAS_SAVED_LEVELS)
            c->saved[c->depth - 1] = c->level;
    }
    c->depth++;
    c->level = CanvasLevel{};
    c->level.origin_x = origin_x;
    c->level.origin_y = origin_y;
    c->level.scale = scale > 0 ? scale : 1;
    c->level.opacity = 1;
    if (c->depth > 1)
        canvas_apply_clip(c);
}

void canvas_end(Canvas* c)
{
    if (!c || c->depth == 0)
        return;
    canvas_flush(c);
    int32_t old = c->depth--;
    if (c->depth > 0) {
        if (old >= 2 && old <= CANVAS_SAVED_LEVELS + 1)
            c->level = c->saved[old - 2];
        canvas_apply_clip(c);
        return;
    }
    while (c->target_depth > 0)
        canvas_pop_target(c);
    c->targets_refused = 0;
    canvas_restore_renderer(c);
}

void canvas_set_origin(Canvas* c, float x, float y)
{
    if (!c)
        return;
    c->level.origin_x = x;
    c->level.origin_y = y;
}

float canvas_get_scale(const Canvas* c)
{
    return c ? c->level.scale : 1;
}

void canvas_set_alpha(Canvas* c, float a)
{
    if (!c)
        return;
    c->level.opacity = a != a ? 1 : canvas_clamp01(a);
}

void canvas_set_additive(Canvas* c, bool on)
{
    if (c)
        c->level.additive = on ? 1 : 0;
}

void canvas_set_clip(Canvas* c, const CanvasRect* clip)
{
    if (!c)
        return;
    canvas_flush(c);
    if (clip) {
        c->level.clip = *clip;
        c->level.clip_on = 1;
    } else {
        c->level.clip_on = 0;
    }
    canvas_apply_clip(c);
}

bool canvas_get_clip(const Canvas* c, CanvasRect* out)
{
    if (!c || !c->level.clip_on)
        return false;
    if (out)
        *out = c->level.clip;
    return true;
}

float canvas_snap(const Canvas* c, float v)
{
    if (!c)
        return std::floor(v + 0.5f);
    const CanvasLevel& l = c->level;
    return (std::floor(v * l.scale + l.origin_x + 0.5f) - l.origin_x) / l.scale;
}
