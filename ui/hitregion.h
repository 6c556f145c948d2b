// hitregion.h - the rectangles that react to the mouse, registered while drawing and
// asked by whatever needs to know what lies under the pointer.
// Threads: UI thread only (one process-wide store).
// Depends on: ui/drawkit.h (the kit's mapping).
//
// Regions live in window pixels, so every panel and the pointer agree on one space;
// a HitMap turns the caller's units (kit reference units, canvas units) into window
// pixels on the way in. Regions registered during frame N answer the queries of
// frame N + 1: hitregion_frame_begin, called once per frame before drawing, makes the
// regions registered since the last call the answer list and starts an empty one.
// Queries made while drawing therefore see the previous frame's layout.
#pragma once
#include <cstdint>

struct DrawKit;

constexpr int32_t HITREGION_CAPACITY = 1024;    // regions per frame; more are dropped
constexpr uint32_t HITREGION_KIND_PASSIVE = 0;  // panel backgrounds and other inert areas
constexpr uint32_t HITREGION_KIND_BUTTON = 2;   // buttons, rows, pills
constexpr uint32_t HITREGION_KIND_CHIP = 6;     // level chips

struct HitRect {
    float x, y, w, h;
};

struct HitRegion {
    HitRect rect;        // window pixels
    uint32_t kind;
    float colour[4];     // RGBA 0..1; white unless given
    uint64_t order;      // 1-based position in its frame, or tag | 1 << 32
};

// Caller units to window pixels: window = unit * scale + offset.
struct HitMap {
    float scale;
    float offset_x, offset_y;
};

HitMap hitregion_map_window(void);   // identity: the rectangle is in window pixels
HitMap hitregion_map_kit(const DrawKit* kit);   // kit reference units, with its translation
HitMap hitregion_map_canvas(float origin_x, float origin_y, float scale);  // canvas units
HitRect hitregion_map_rect(const HitMap* map, HitRect r);

// Registration (a null map means window pixels). Ignored while suppressed, when the
// mapped width or height is not > 0, or when the frame already holds 1024 regions.
void hitregion_add(const HitMap* map, HitRect r, uint32_t kind);
void hitregion_add_tagged(const HitMap* map, HitRect r, uint32_t kind, uint32_t tag);
void hitregion_add_coloured(const HitMap* map, HitRect r, uint32_t kind, const float colour[4]);

// The per-frame hand-over described above.
void hitregion_frame_begin(void);
// Push (true) or pop (false) a suppression: while any is pushed, registrations are
// ignored (a modal overlay hides what lies under it).
void hitregion_suppress(bool on);

// Queries on the previous frame's regions, point in window pixels; the last
// registered region containing the point wins (left and top edges inside, right and
// bottom outside).
const HitRegion* hitregion_find(float x, float y);   // valid until the next frame_begin
// True when the region under the point has x, y, w, h each within 0.5 window pixels
// of r (mapped through map).
bool hitregion_same(const HitMap* map, float x, float y, HitRect r);
// 0 when nothing is under the point, else (1 << 48) | the region's order word. An
// untagged region's id is its position in the frame, so it moves when an earlier
// region comes or goes; a tagged region's id is stable.
uint64_t hitregion_id_at(float x, float y);
