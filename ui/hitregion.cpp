// hitregion.cpp - the hit-region store: one list filling during the frame, one
// answering queries, swapped by hitregion_frame_begin.
#include "ui/hitregion.h"

#include <cmath>

#include "ui/drawkit.h"

struct HitList {
    HitRegion regions[HITREGION_CAPACITY];
    int32_t count;
};

static HitList hit_lists[2];
static int hit_answer = 0;        // index of the answering list; the other one fills
static int32_t hit_suppress = 0;

// The store keeps one block; ids carry its number + 1 in bits 48 and up.
static const uint64_t HIT_BLOCK_BITS = 1ull << 48;

HitMap hitregion_map_window(void)
{
    return HitMap{1, 0, 0};
}

HitMap hitregion_map_kit(const DrawKit* kit)
{
    if (!kit)
        return hitregion_map_window();
    return HitMap{kit->scale, kit->translate_x * kit->scale + kit->offset_x,
                  kit->translate_y * kit->scale + kit->offset_y};
}

HitMap hitregion_map_canvas(float origin_x, float origin_y, float scale)
{
    return HitMap{scale, origin_x, origin_y};
}

HitRect hitregion_map_rect(const HitMap* map, HitRect r)
{
    if (!map)
        return r;
    return HitRect{r.x * map->scale + map->offset_x, r.y * map->scale + map->offset_y,
                   r.w * map->scale, r.h * map->scale};
}

static HitRegion* hitregion_push(const HitMap* map, HitRect r, uint32_t kind)
{
    HitList* list = &hit_lists[1 - hit_answer];
    if (hit_suppress > 0 || list->count >= HITREGION_CAPACITY)
        return nullptr;
    HitRect m = hitregion_map_rect(map, r);
    if (!(m.w > 0) || !(m.h > 0))
        return nullptr;
    HitRegion* reg = &list->regions[list->count++];
    *reg = HitRegion{m, kind, {1, 1, 1, 1}, (uint64_t)list->count};
    return reg;
}

void hitregion_add(const HitMap* map, HitRect r, uint32_t kind)
{
    hitregion_push(map, r, kind);
}

void hitregion_add_tagged(const HitMap* map, HitRect r, uint32_t kind, uint32_t tag)
{
    if (HitRegion* reg = hitregion_push(map, r, kind))
        reg->order = (uint64_t)tag | 1ull << 32;
}

void hitregion_add_coloured(const HitMap* map, HitRect r, uint32_t kind, const float colour[4])
{
    HitRegion* reg = hitregion_push(map, r, kind);
    if (reg && colour)
        for (int i = 0; i < 4; ++i)
            reg->colour[i] = colour[i];
}

void hitregion_frame_begin(void)
{
    hit_answer = 1 - hit_answer;
    hit_lists[1 - hit_answer].count = 0;
}

void hitregion_suppress(bool on)
{
    if (on)
        ++hit_suppress;
    else if (hit_suppress > 0)
        --hit_suppress;
}

const HitRegion* hitregion_find(float x, float y)
{
    const HitList* list = &hit_lists[hit_answer];
    for (int32_t i = list->count - 1; i >= 0; --i) {
        const HitRect& r = list->regions[i].rect;
        if (x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h)
            return &list->regions[i];
    }
    return nullptr;
}

bool hitregion_same(const HitMap* map, float x, float y, HitRect r)
{
    const HitRegion* reg = hitregion_find(x, y);
    if (!reg)
        return false;
    HitRect m = hitregion_map_rect(map, r);
    return std::fabs(reg->rect.x - m.x) < 0.5f && std::fabs(reg->rect.y - m.y) < 0.5f &&
           std::fabs(reg->rect.w - m.w) < 0.5f && std::fabs(reg->rect.h - m.h) < 0.5f;
}

uint64_t hitregion_id_at(float x, float y)
{
    const HitRegion* reg = hitregion_find(x, y);
    return reg ? HIT_BLOCK_BITS | reg->order : 0;
}
