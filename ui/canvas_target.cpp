// canvas_target.cpp - offscreen layers: textures kept valid across renderer resets,
// the target stack, compositing and the noise-dither dissolve.
#include "ui/canvas.h"
#include "ui/canvas_internal.h"
#include "ui/dither.h"

#include <cmath>

// ---- Layer textures ----------------------------------------------------------------

static bool canvas_registered(const Canvas* c, const SDL_Texture* t)
{
    for (const CanvasRegistryEntry& e : c->registry)
        if (e.texture == t && e.generation == c->generation)
            return true;
    return false;
}

static void canvas_register(Canvas* c, SDL_Texture* t)
{
    for (CanvasRegistryEntry& e : c->registry) {
        if (e.texture == t || !e.texture) {
            e = CanvasRegistryEntry{t, c->generation};
            return;
        }
    }
    c->registry[c->registry_ring] = CanvasRegistryEntry{t, c->generation};
    c->registry_ring = (c->registry_ring + 1) % CANVAS_REGISTRY;
}

int32_t canvas_target_ensure(Canvas* c, CanvasTarget* t, int32_t w, int32_t h)
{
    if (!c || !t)
        return -1;
    w = w < 1 ? 1 : w;
    h = h < 1 ? 1 : h;
    if (w > CANVAS_TARGET_MAX_SIZE || h > CANVAS_TARGET_MAX_SIZE)
        return -1;
    if (t->texture && t->width == w && t->height == h && canvas_registered(c, t->texture))
        return 0;
    if (t->texture) {
        for (CanvasRegistryEntry& e : c->registry)
            if (e.texture == t->texture)
                e = CanvasRegistryEntry{};
        SDL_DestroyTexture(t->texture);
        t->texture = nullptr;
    }
    t->texture = SDL_CreateTexture(c->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, w, h);
    if (!t->texture) {
        t->width = t->height = 0;
        return -1;
    }
    SDL_SetTextureScaleMode(t->texture, SDL_ScaleModeNearest);
    SDL_SetTextureBlendMode(t->texture, SDL_BLENDMODE_BLEND);
    canvas_register(c, t->texture);
    t->width = w;
    t->height = h;
    return 0;
}

CanvasTarget* canvas_kept_layer(Canvas* c, int32_t slot, int32_t w, int32_t h, bool* fresh)
{
    if (!c || slot < 0 || slot >= CANVAS_KEPT_LAYERS)
        return nullptr;
    CanvasTarget* t = &c->kept[slot];
    bool kept = t->texture && t->width == w && t->height == h && canvas_registered(c, t->texture);
    if (canvas_target_ensure(c, t, w, h) != 0)
        return nullptr;
    if (fresh)
        *fresh = !kept;
    return t;
}

bool canvas_draw_image(Canvas* c, const uint32_t* pixels, int32_t w, int32_t h, const CanvasRect* dst)
{
    if (!c || !pixels || !dst || w < 1 || h < 1 || w > CANVAS_IMAGE_MAX || h > CANVAS_IMAGE_MAX)
        return false;
    if (!c->image || c->image_w != w || c->image_h != h) {
        if (c->image)
            SDL_DestroyTexture(c->image);
        c->image = SDL_CreateTexture(c->renderer, SDL_PIXELFORMAT_RGBA32, SDL_TEXTUREACCESS_STREAMING, w, h);
        c->image_w = c->image ? w : 0;
        c->image_h = c->image ? h : 0;
        if (!c->image)
            return false;
        SDL_SetTextureScaleMode(c->image, SDL_ScaleModeLinear);
    }
    const CanvasLevel& l = c->level;
    SDL_FRect to{dst->x * l.scale + l.origin_x, dst->y * l.scale + l.origin_y, dst->w * l.scale, dst->h * l.scale};
    if (!std::isfinite(to.x) || !std::isfinite(to.y) || !std::isfinite(to.w) || !std::isfinite(to.h))
        return false;
    canvas_flush(c);
    if (SDL_UpdateTexture(c->image, nullptr, pixels, w * 4) != 0)
        return false;
    SDL_SetTextureBlendMode(c->image, l.additive ? SDL_BLENDMODE_ADD : SDL_BLENDMODE_BLEND);
    SDL_SetTextureAlphaMod(c->image, (Uint8)(canvas_clamp01(l.opacity) * 255 + 0.5f));
    return SDL_RenderCopyF(c->renderer, c->image, nullptr, &to) == 0;
}

void canvas_texture_free(CanvasTarget* t)
{
    if (!t)
        return;
    if (t->texture)
        SDL_DestroyTexture(t->texture);
    *t = CanvasTarget{};
}

// ---- Target stack ------------------------------------------------------------------

void canvas_push_target(Canvas* c, CanvasTarget* t, const float* clear_colour)
{
    if (!c)
        return;
    // Once a push is refused, everything pushed inside it is refused too, so that each
    // pop undoes its own push and never pops a layer the caller still draws into.
    if (c->targets_refused > 0 || !t || !t->texture || c->target_depth >= CANVAS_TARGET_DEPTH) {
        c->targets_refused++;
        return;
    }
    canvas_flush(c);
    CanvasTargetEntry& e = c->targets[c->target_depth];
    e.previous = SDL_GetRenderTarget(c->renderer);
    e.origin_x = c->level.origin_x;
    e.origin_y = c->level.origin_y;
    e.clip_on = c->level.clip_on;
    e.clip = c->level.clip;
    if (SDL_SetRenderTarget(c->renderer, t->texture) != 0) {
        c->targets_refused++;
        return;
    }
    c->target_depth++;
    canvas_renderer_plain(c);
    c->level.origin_x = 0;
    c->level.origin_y = 0;
    c->level.clip_on = 0;
    float a = clear_colour ? canvas_clamp01(clear_colour[3]) : 0;
    auto channel = [&](int i) { return (Uint8)((clear_colour ? canvas_clamp01(clear_colour[i]) : 0) * a * 255 + 0.5f); };
    SDL_SetRenderDrawColor(c->renderer, channel(0), channel(1), channel(2), (Uint8)(a * 255 + 0.5f));
    SDL_RenderClear(c->renderer);
}

void canvas_pop_target(Canvas* c)
{
    if (!c)
        return;
    if (c->targets_refused > 0) {
        c->targets_refused--;
        return;
    }
    if (c->target_depth == 0)
        return;
    canvas_flush(c);
    const CanvasTargetEntry& e = c->targets[--c->target_depth];
    SDL_SetRenderTarget(c->renderer, e.previous);
    SDL_RenderSetScale(c->renderer, 1, 1);
    SDL_RenderSetViewport(c->renderer, nullptr);
    c->level.origin_x = e.origin_x;
    c->level.origin_y = e.origin_y;
    c->level.clip_on = e.clip_on;
    c->level.clip = e.clip;
    canvas_apply_clip(c);
}

// ---- Compositing and dissolve --------------------------------------------------------

// Where a layer drawn at canvas point (x, y) lands, the batch flushed first; false when
// there is nothing to draw or the point is not finite.
static bool target_place(Canvas* c, const CanvasTarget* t, float x, float y, SDL_Rect* dst)
{
    if (!c || !t || !t->texture)
        return false;
    const CanvasLevel& l = c->level;
    float fx = x * l.scale + l.origin_x, fy = y * l.scale + l.origin_y;
    if (!std::isfinite(fx) || !std::isfinite(fy))
        return false;
    canvas_flush(c);
    *dst = SDL_Rect{canvas_round_px(fx), canvas_round_px(fy), t->width, t->height};
    return true;
}

void canvas_draw_target(Canvas* c, const CanvasTarget* t, float x, float y)
{
    SDL_Rect dst;
    if (!target_place(c, t, x, y, &dst))
        return;
    const CanvasLevel& l = c->level;
    Uint8 a = (Uint8)(canvas_clamp01(l.opacity) * 255 + 0.5f);
    if (c->premultiplied_ok) {
        SDL_SetTextureBlendMode(t->texture, c->premultiplied_blend);
        SDL_SetTextureColorMod(t->texture, a, a, a);
    } else {
        SDL_SetTextureBlendMode(t->texture, SDL_BLENDMODE_BLEND);
        SDL_SetTextureColorMod(t->texture, 255, 255, 255);
    }
    SDL_SetTextureAlphaMod(t->texture, a);
    SDL_RenderCopy(c->renderer, t->texture, nullptr, &dst);
}

void canvas_put_target(Canvas* c, const CanvasTarget* t, float x, float y)
{
    SDL_Rect dst;
    if (!target_place(c, t, x, y, &dst))
        return;
    SDL_SetTextureBlendMode(t->texture, SDL_BLENDMODE_NONE);
    SDL_SetTextureColorMod(t->texture, 255, 255, 255);
    SDL_SetTextureAlphaMod(t->texture, 255);
    SDL_RenderCopy(c->renderer, t->texture, nullptr, &dst);
}

// The mask of a fade level (1..11), made on first use; null when it cannot be.
static SDL_Texture* canvas_mask(Canvas* c, int32_t level)
{
    if (c->masks[level])
        return c->masks[level];
    uint32_t pixels[DITHER_CELLS];
    int32_t keep = dither_level_count(level);
    for (int32_t i = 0; i < DITHER_CELLS; ++i)
        pixels[i] = dither_rank(i) < keep ? 0xFFFFFFFFu : 0x00FFFFFFu;
    SDL_Texture* m =
        SDL_CreateTexture(c->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, DITHER_SIZE, DITHER_SIZE);
    if (!m)
        return nullptr;
    SDL_UpdateTexture(m, nullptr, pixels, DITHER_SIZE * 4);
    SDL_SetTextureScaleMode(m, SDL_ScaleModeNearest);
    if (SDL_SetTextureBlendMode(m, c->mask_blend) != 0) {
        SDL_DestroyTexture(m);
        c->mask_ok = 0;
        return nullptr;
    }
    c->masks[level] = m;
    return m;
}

void canvas_dissolve_target(Canvas* c, CanvasTarget* t, int32_t level, float cell)
{
    if (!c || !t || !t->texture || level > DITHER_STEPS - 1 || !c->mask_ok)
        return;
    canvas_flush(c);
    SDL_Texture* previous = SDL_GetRenderTarget(c->renderer);
    if (SDL_SetRenderTarget(c->renderer, t->texture) != 0)
        return;
    canvas_renderer_plain(c);
    if (level < 1) {
        SDL_SetRenderDrawColor(c->renderer, 0, 0, 0, 0);
        SDL_RenderClear(c->renderer);
    } else if (SDL_Texture* mask = canvas_mask(c, level)) {
        float f = std::floor(cell * c->level.scale + 0.5f);
        int32_t px = f >= 1 ? (int32_t)std::fmin(f, CANVAS_TARGET_MAX_SIZE) : 1;
        int32_t tile = px * DITHER_SIZE;
        for (int32_t y = 0; y < t->height; y += tile)
            for (int32_t x = 0; x < t->width; x += tile) {
                SDL_Rect dst{x, y, tile, tile};
                SDL_RenderCopy(c->renderer, mask, nullptr, &dst);
            }
    }
    SDL_SetRenderTarget(c->renderer, previous);
    SDL_RenderSetScale(c->renderer, 1, 1);
    SDL_RenderSetViewport(c->renderer, nullptr);
    canvas_apply_clip(c);
}
