// canvas_text.cpp - the 5 x 7 pixel font in whole device pixels and 1:1 texture copies.
#include "ui/canvas.h"
#include "ui/canvas_internal.h"
#include "ui/pixel_font.h"

#include <cmath>
#include <cstring>

// Device pixels per font pixel: at least one.
static float canvas_font_px(const Canvas* c, float size)
{
    float px = std::floor(size * c->level.scale + 0.5f);
    return px >= 1 ? (float)(int32_t)std::fmin(px, 1 << 20) : 1;
}

void canvas_draw_pixel_text(Canvas* c, const char* text, float x, float y, float size, const float* colour,
                            int32_t align)
{
    if (!c || !text || !*text || !(size > 0))
        return;
    const CanvasLevel& l = c->level;
    float px = canvas_font_px(c, size);
    float w = ((float)strlen(text) * PIXEL_FONT_ADVANCE - 1) * px;
    float x0 = x * l.scale + l.origin_x;
    if (align == 1)
        x0 -= w / 2;
    else if (align == 2)
        x0 -= w;
    x0 = std::floor(x0 + 0.5f);
    float y0 = std::floor(y * l.scale + l.origin_y + 0.5f);
    if (!std::isfinite(x0) || !std::isfinite(y0))
        return;
    SDL_Color p = canvas_pack_color(c, colour, 1);
    for (const unsigned char* s = (const unsigned char*)text; *s; ++s, x0 += PIXEL_FONT_ADVANCE * px) {
        const uint8_t* glyph = pixel_font_glyph(*s);
        for (int row = 0; row < PIXEL_FONT_ROWS; ++row) {
            int at = 0, c0 = 0, n = 0;
            while ((n = pixel_font_row_run(glyph, row, &at, &c0)) > 0)
                canvas_push_quad(c, x0 + c0 * px, y0 + row * px, x0 + (c0 + n) * px, y0 + (row + 1) * px, p, p, p, p);
        }
    }
}

float canvas_pixel_text_width(const Canvas* c, const char* text, float size)
{
    if (!text || !*text)
        return 0;
    float scale = c ? c->level.scale : 1;
    float px;
    if (c) {
        px = canvas_font_px(c, size);
    } else {
        float f = std::floor(size + 0.5f);
        px = f >= 1 ? f : 1;
    }
    return ((float)strlen(text) * PIXEL_FONT_ADVANCE - 1) * px / scale;
}

void canvas_draw_texture(Canvas* c, SDL_Texture* texture, float x, float y, int32_t dx, int32_t dy, int32_t w,
                         int32_t h, const float* colour)
{
    if (!c || !texture || !colour || w <= 0 || h <= 0)
        return;
    const CanvasLevel& l = c->level;
    float fx = x * l.scale + l.origin_x, fy = y * l.scale + l.origin_y;
    if (!std::isfinite(fx) || !std::isfinite(fy))
        return;
    canvas_flush(c);
    SDL_Rect dst{canvas_round_px(fx) + dx, canvas_round_px(fy) + dy, w, h};
    SDL_SetTextureBlendMode(texture, l.additive ? SDL_BLENDMODE_ADD : SDL_BLENDMODE_BLEND);
    SDL_SetTextureColorMod(texture, (Uint8)(canvas_clamp01(colour[0]) * 255 + 0.5f),
                           (Uint8)(canvas_clamp01(colour[1]) * 255 + 0.5f),
                           (Uint8)(canvas_clamp01(colour[2]) * 255 + 0.5f));
    SDL_SetTextureAlphaMod(texture, (Uint8)(canvas_clamp01(l.opacity * colour[3]) * 255 + 0.5f));
    SDL_RenderCopy(c->renderer, texture, nullptr, &dst);
}
