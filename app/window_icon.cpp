// window_icon.cpp - the window's 32 x 32 icon: a teal loop ring with a magenta record
// dot on the dark background square, made at compile time.
#include <SDL.h>

#include <cstdint>

#include "app/window.h"

namespace {

constexpr int kIconSize = 32;

struct IconPixels {
    uint32_t argb[kIconSize * kIconSize];
};

constexpr uint32_t argb(uint32_t r, uint32_t g, uint32_t b)
{
    return 0xFF000000u | r << 16 | g << 8 | b;
}

// Distances in half pixels from the centre of a pixel, so everything stays integer.
constexpr IconPixels icon_make()
{
    IconPixels icon{};
    const int half = kIconSize;           // half the side, in half pixels
    const int corner = 12;                // rounded corner radius (6 pixels)
    for (int y = 0; y < kIconSize; y++) {
        for (int x = 0; x < kIconSize; x++) {
            int cx = 2 * x + 1 - half, cy = 2 * y + 1 - half;
            int qx = (cx < 0 ? -cx : cx) - (half - corner), qy = (cy < 0 ? -cy : cy) - (half - corner);
            qx = qx > 0 ? qx : 0;
            qy = qy > 0 ? qy : 0;
            uint32_t p = 0;   // transparent outside the rounded square
            if (qx * qx + qy * qy <= corner * corner) {
                int d2 = cx * cx + cy * cy;
                int dx = 2 * x + 1 - 46, dy = 2 * y + 1 - 18;   // the dot at (23, 9)
                if (dx * dx + dy * dy <= 6 * 6)
                    p = argb(255, 0, 128);
                else if (d2 >= 16 * 16 && d2 <= 22 * 22)
                    p = argb(46, 199, 184);
                else
                    p = argb(13, 17, 17);
            }
            icon.argb[y * kIconSize + x] = p;
        }
    }
    return icon;
}

constexpr IconPixels kIcon = icon_make();

}  // namespace

void window_set_icon(SDL_Window* window)
{
    if (!window)
        return;
    // SDL copies the pixels; the surface only borrows the array.
    SDL_Surface* s = SDL_CreateRGBSurfaceFrom(const_cast<uint32_t*>(kIcon.argb), kIconSize, kIconSize, 32,
                                              kIconSize * 4, 0x00FF0000u, 0x0000FF00u, 0x000000FFu,
                                              0xFF000000u);
    if (!s)
        return;
    SDL_SetWindowIcon(window, s);
    SDL_FreeSurface(s);
}
