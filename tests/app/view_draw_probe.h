// view_draw_probe.h - expected pixels for the main view's painters, which use the
// drawing kit's packed colours (R in the lowest byte).
#pragma once
#include <cstdint>

#include "support/draw_probe.h"
#include "ui/drawkit.h"

// A packed kit colour as a pixel, with its own alpha or another.
inline DrawPixel pix(uint32_t c)
{
    return DrawPixel{(uint8_t)(c & 0xFF), (uint8_t)(c >> 8 & 0xFF), (uint8_t)(c >> 16 & 0xFF), (uint8_t)(c >> 24)};
}
inline DrawPixel pix(uint32_t c, uint32_t a)
{
    return pix(draw_with_alpha(c, a));
}
// A glow's three additive halos over a point all of them cover.
inline DrawPixel glowed(DrawPixel under, uint32_t colour, float intensity)
{
    for (int i = 0; i < 3; i++)
        under = draw_expect_add(under, pix(colour, draw_alpha_byte((1 - i / 3.0f) * intensity * 0.22f * 255)));
    return under;
}
