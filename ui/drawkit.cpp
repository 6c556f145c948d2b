// drawkit.cpp - the drawing kit's lifecycle, frame layout and shapes.
#include "ui/drawkit.h"
#include "ui/drawkit_internal.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>

static_assert(DRAW_BLEND_NORMAL == (int32_t)SDL_BLENDMODE_BLEND && DRAW_BLEND_ADD == (int32_t)SDL_BLENDMODE_ADD,
              "the kit's blend arguments are SDL's own blend modes");

// Quads gathered between draw_batch_begin and draw_batch_end, all of one blend mode.
constexpr int32_t kBatchVertices = 4096;
constexpr int32_t kBatchIndices = kBatchVertices / 4 * 6;
struct DrawBatch {
    SDL_Vertex vertices[kBatchVertices];
    int indices[kBatchIndices];
    int32_t vertex_count;
    int32_t index_count;
    int32_t blend;
};

static SDL_Texture* draw_make_white(SDL_Renderer* renderer)
{
    SDL_Surface* s = SDL_CreateRGBSurface(0, 1, 1, 32, 0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u);
    if (!s)
        return nullptr;
    *(uint32_t*)s->pixels = 0xFFFFFFFFu;
    SDL_Texture* t = SDL_CreateTextureFromSurface(renderer, s);
    SDL_FreeSurface(s);
    return t;
}

bool draw_init(DrawKit* kit, SDL_Renderer* renderer)
{
    if (!kit)
        return false;
    *kit = DrawKit{};
    kit->renderer = renderer;
    if (!renderer)
        return false;
    kit->white = draw_make_white(renderer);
    if (kit->white)
        kit->batch = new DrawBatch{};
    return kit->white != nullptr;
}

static void draw_destroy_white(DrawKit* kit)
{
    if (kit->white)
        SDL_DestroyTexture(kit->white);
    kit->white = nullptr;
}

void draw_shutdown(DrawKit* kit)
{
    if (!kit)
        return;
    draw_destroy_white(kit);
    delete kit->batch;
    kit->batch = nullptr;
    kit->batch_depth = 0;
}

bool draw_reset(DrawKit* kit)
{
    if (!kit || !kit->renderer)
        return false;
    // Gathered quads belong to the lost device's frame.
    if (kit->batch)
        kit->batch->vertex_count = kit->batch->index_count = 0;
    draw_destroy_white(kit);
    kit->white = draw_make_white(kit->renderer);
    return kit->white != nullptr;
}

void draw_frame_layout(DrawKit* kit, int32_t width, int32_t height)
{
    if (!kit)
        return;
    kit->window_w = width;
    kit->window_h = height;
    float frame_w = DRAW_REF_WIDTH + kit->left_w + kit->right_w;
    kit->scale = std::min((float)width / frame_w, (float)height / DRAW_REF_HEIGHT);
    kit->offset_y = ((float)height - DRAW_REF_HEIGHT * kit->scale) / 2;
    kit->offset_x = ((float)width - kit->scale * frame_w) / 2 + kit->left_w * kit->scale;
}

void draw_map_point(const DrawKit* kit, float px, float py, float* out_x, float* out_y)
{
    if (!kit) {
        *out_x = px;
        *out_y = py;
        return;
    }
    *out_x = (px + kit->translate_x) * kit->scale + kit->offset_x;
    *out_y = (py + kit->translate_y) * kit->scale + kit->offset_y;
}

static SDL_Color draw_sdl_colour(uint32_t c)
{
    return SDL_Color{(Uint8)(c & 0xFF), (Uint8)(c >> 8 & 0xFF), (Uint8)(c >> 16 & 0xFF), (Uint8)(c >> 24)};
}

bool draw_solid_geometry(SDL_Renderer* r, int32_t blend, const SDL_Vertex* v, int32_t nv, const int* idx,
                         int32_t ni)
{
    SDL_BlendMode previous = SDL_BLENDMODE_NONE;
    SDL_GetRenderDrawBlendMode(r, &previous);
    SDL_SetRenderDrawBlendMode(r, (SDL_BlendMode)blend);
    bool ok = SDL_RenderGeometry(r, nullptr, v, nv, idx, ni) == 0;
    SDL_SetRenderDrawBlendMode(r, previous);
    return ok;
}

static void draw_flush(DrawKit* kit)
{
    DrawBatch* b = kit->batch;
    if (!b || b->index_count == 0)
        return;
    if (kit->renderer && kit->white)
        draw_solid_geometry(kit->renderer, b->blend, b->vertices, b->vertex_count, b->indices, b->index_count);
    b->vertex_count = b->index_count = 0;
}

void draw_batch_begin(DrawKit* kit)
{
    if (kit)
        kit->batch_depth++;
}

void draw_batch_end(DrawKit* kit)
{
    if (!kit || kit->batch_depth <= 0)
        return;
    if (--kit->batch_depth == 0)
        draw_flush(kit);
}

// One shape of nv vertices (already in device pixels) and its triangles: gathered
// while a batch is open, else sent at once.
static void draw_shape(DrawKit* kit, const SDL_Vertex* v, int32_t nv, const int* idx, int32_t ni, int32_t blend)
{
    DrawBatch* b = kit->batch;
    if (!b || kit->batch_depth <= 0) {
        draw_solid_geometry(kit->renderer, blend, v, nv, idx, ni);
        return;
    }
    if (b->index_count > 0 &&
        (b->blend != blend || b->vertex_count + nv > kBatchVertices || b->index_count + ni > kBatchIndices))
        draw_flush(kit);
    b->blend = blend;
    for (int32_t i = 0; i < ni; i++)
        b->indices[b->index_count++] = b->vertex_count + idx[i];
    for (int32_t i = 0; i < nv; i++)
        b->vertices[b->vertex_count++] = v[i];
}

// A quad (x0, y0)..(x1, y1) with a colour per corner, in units, or in device pixels
// when device is set.
static void draw_quad(DrawKit* kit, float x0, float y0, float x1, float y1, const uint32_t cs[4], int32_t blend,
                      bool device)
{
    if (!kit || !kit->renderer || !kit->white)
        return;
    const float px[4] = {x0, x1, x1, x0};
    const float py[4] = {y0, y0, y1, y1};
    SDL_Vertex v[4];
    for (int i = 0; i < 4; ++i) {
        if (device)
            v[i].position = SDL_FPoint{px[i], py[i]};
        else
            draw_map_point(kit, px[i], py[i], &v[i].position.x, &v[i].position.y);
        v[i].color = draw_sdl_colour(cs[i]);
        v[i].tex_coord = SDL_FPoint{0, 0};
    }
    static const int indices[6] = {0, 1, 2, 0, 2, 3};
    draw_shape(kit, v, 4, indices, 6, blend);
}

void draw_rect4(DrawKit* kit, float x, float y, float w, float h,
                uint32_t c0, uint32_t c1, uint32_t c2, uint32_t c3, int32_t blend)
{
    const uint32_t cs[4] = {c0, c1, c2, c3};
    draw_quad(kit, x, y, x + w, y + h, cs, blend, false);
}

void draw_triangle(DrawKit* kit, float x1, float y1, float x2, float y2, float x3, float y3, uint32_t colour)
{
    if (!kit || !kit->renderer || !kit->white)
        return;
    const float px[3] = {x1, x2, x3};
    const float py[3] = {y1, y2, y3};
    SDL_Vertex v[3];
    for (int i = 0; i < 3; ++i) {
        draw_map_point(kit, px[i], py[i], &v[i].position.x, &v[i].position.y);
        v[i].color = draw_sdl_colour(colour);
        v[i].tex_coord = SDL_FPoint{0, 0};
    }
    static const int indices[3] = {0, 1, 2};
    draw_shape(kit, v, 3, indices, 3, DRAW_BLEND_NORMAL);
}

void draw_fill(DrawKit* kit, float x, float y, float w, float h, uint32_t colour)
{
    draw_rect4(kit, x, y, w, h, colour, colour, colour, colour, DRAW_BLEND_NORMAL);
}

void draw_fill_additive(DrawKit* kit, float x, float y, float w, float h, uint32_t colour)
{
    draw_rect4(kit, x, y, w, h, colour, colour, colour, colour, DRAW_BLEND_ADD);
}

void draw_rect_vgrad(DrawKit* kit, float x, float y, float w, float h, uint32_t top, uint32_t bottom)
{
    draw_rect4(kit, x, y, w, h, top, top, bottom, bottom, DRAW_BLEND_NORMAL);
}

void draw_device_quad(DrawKit* kit, float x0, float y0, float x1, float y1, uint32_t colour, int32_t blend)
{
    const uint32_t cs[4] = {colour, colour, colour, colour};
    draw_quad(kit, x0, y0, x1, y1, cs, blend, true);
}

// The device pixels a span a..b fills: those whose centres lie in it, at least one
// (an empty box is still a line).
static void draw_pixel_span(float a, float b, float* p0, float* p1)
{
    *p0 = draw_pixel_edge(a);
    *p1 = std::max(draw_pixel_edge(b), *p0 + 1);
}

// A one-unit edge placed at a fractional position covers no pixel centre when a unit
// is under a pixel, and the rasteriser drops it. So the rectangle is taken on the
// pixels a fill of it would cover, and each edge is the unit rounded to whole pixels,
// at least one, inside it.
void draw_rect_outline(DrawKit* kit, float x, float y, float w, float h, uint32_t colour)
{
    if (!kit || !kit->renderer || !kit->white || !(w >= 0) || !(h >= 0))
        return;
    float ax, ay, bx, by;
    draw_map_point(kit, x, y, &ax, &ay);
    draw_map_point(kit, x + w, y + h, &bx, &by);
    float t = std::max(1.0f, std::floor(kit->scale + 0.5f));
    if (!std::isfinite(ax) || !std::isfinite(ay) || !std::isfinite(bx) || !std::isfinite(by) || !std::isfinite(t))
        return;
    float x0, x1, y0, y1;
    draw_pixel_span(ax, bx, &x0, &x1);
    draw_pixel_span(ay, by, &y0, &y1);
    draw_batch_begin(kit);
    if (x1 - x0 <= 2 * t || y1 - y0 <= 2 * t) {
        draw_device_quad(kit, x0, y0, x1, y1, colour, DRAW_BLEND_NORMAL);
    } else {
        draw_device_quad(kit, x0, y0, x1, y0 + t, colour, DRAW_BLEND_NORMAL);
        draw_device_quad(kit, x0, y1 - t, x1, y1, colour, DRAW_BLEND_NORMAL);
        draw_device_quad(kit, x0, y0 + t, x0 + t, y1 - t, colour, DRAW_BLEND_NORMAL);
        draw_device_quad(kit, x1 - t, y0 + t, x1, y1 - t, colour, DRAW_BLEND_NORMAL);
    }
    draw_batch_end(kit);
}

uint8_t draw_alpha_byte(float v)
{
    if (!(v > 0))
        return 0;
    if (v >= 255)
        return 255;
    return (uint8_t)v;
}

void draw_glow(DrawKit* kit, float x, float y, float w, float h, uint32_t colour,
               float radius, float intensity)
{
    if (!(intensity > 0.01f))
        return;
    draw_batch_begin(kit);
    for (int i = 1; i <= 3; ++i) {
        float d = i * radius / 3;
        uint8_t a = draw_alpha_byte((1 - (i - 1) / 3.0f) * intensity * 0.22f * 255);
        draw_fill_additive(kit, x - d, y - d, w + 2 * d, h + 2 * d, draw_with_alpha(colour, a));
    }
    draw_batch_end(kit);
}
