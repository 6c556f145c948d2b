// drawkit_internal.h - what the drawing kit's files share; not for callers of the kit.
// Threads: UI thread only.
// Depends on: ui/drawkit.h.
#pragma once
#include <cmath>
#include <cstdint>

#include "ui/drawkit.h"

// The first device pixel whose centre lies at or past v: where the rasteriser starts
// filling a shape whose edge is at v. Snapped shapes put their edges there.
inline float draw_pixel_edge(float v)
{
    return std::ceil(v - 0.5f);
}

// One quad (x0, y0)..(x1, y1) in one colour, in device pixels (already mapped, and
// snapped by the caller), gathered like every kit shape.
void draw_device_quad(DrawKit* kit, float x0, float y0, float x1, float y1, uint32_t colour, int32_t blend);
