// canvas_internal.h - helpers the canvas files share; not for callers of the canvas.
// Threads: UI thread only.
// Depends on: ui/canvas.h.
#pragma once
#include "ui/canvas.h"

// Device pixel positions are held within this bound before they become integers.
constexpr int32_t CANVAS_PX_LIMIT = 1 << 30;

float canvas_clamp01(float v);             // NaN gives 0
int32_t canvas_round_px(float v);          // floor(v + 0.5), NaN 0, held within the bound
// Room for n vertices and m indices (flushing first on a blend change or a full batch);
// false when a shape can never fit.
bool canvas_reserve(Canvas* c, int32_t n, int32_t m);
void canvas_push_vertex(Canvas* c, float x, float y, SDL_Color colour);   // after a reserve
void canvas_apply_clip(Canvas* c);         // the level's clip onto the renderer
void canvas_renderer_plain(Canvas* c);     // render scale 1, no viewport, no clip
