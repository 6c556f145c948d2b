// path_index.cpp - open addressing with linear probing over FNV-1a hashes of paths.
#include "library/path_index.h"

#include <cstdlib>
#include <cstring>

static const uint32_t kFirstSlots = 128;

static uint32_t path_hash(const char* s)
{
    uint32_t h = 0x811C9DC5u;
    for (; *s; s++)
        h = (h ^ (unsigned char)*s) * 16777619u;
    return h;
}

static const char* path_at(PathArray a, int32_t i)
{
    const char* entry = (const char*)a.base + (size_t)i * a.stride;
    const char* path;
    std::memcpy(&path, entry + a.offset, sizeof path);
    return path;
}

static void slot_put(PathIndexSlot* slots, uint32_t capacity, uint32_t hash, int32_t index)
{
    uint32_t k = hash & (capacity - 1);
    while (slots[k].index >= 0)
        k = (k + 1) & (capacity - 1);
    slots[k].hash = hash;
    slots[k].index = index;
}

static bool index_resize(PathIndex* ix, uint32_t capacity)
{
    PathIndexSlot* slots = (PathIndexSlot*)std::malloc(sizeof(PathIndexSlot) * capacity);
    if (!slots)
        return false;
    for (uint32_t k = 0; k < capacity; k++)
        slots[k].index = -1;
    for (uint32_t k = 0; k < ix->capacity; k++)
        if (ix->slots[k].index >= 0)
            slot_put(slots, capacity, ix->slots[k].hash, ix->slots[k].index);
    std::free(ix->slots);
    ix->slots = slots;
    ix->capacity = capacity;
    return true;
}

int32_t path_index_find(const PathIndex* ix, PathArray a, const char* path)
{
    if (!ix || !path || ix->capacity == 0)
        return -1;
    uint32_t hash = path_hash(path);
    for (uint32_t k = hash & (ix->capacity - 1);; k = (k + 1) & (ix->capacity - 1)) {
        const PathIndexSlot& s = ix->slots[k];
        if (s.index < 0)
            return -1;
        if (s.hash == hash && std::strcmp(path_at(a, s.index), path) == 0)
            return s.index;
    }
}

bool path_index_add(PathIndex* ix, PathArray a, int32_t index)
{
    if (!ix || index < 0)
        return false;
    if ((uint32_t)(ix->count + 1) * 2 > ix->capacity) {
        uint32_t capacity = ix->capacity ? ix->capacity * 2 : kFirstSlots;
        if (capacity < ix->capacity || !index_resize(ix, capacity))
            return false;
    }
    slot_put(ix->slots, ix->capacity, path_hash(path_at(a, index)), index);
    ix->count++;
    return true;
}

bool path_index_rebuild(PathIndex* ix, PathArray a, int32_t count)
{
    if (!ix)
        return false;
    for (uint32_t k = 0; k < ix->capacity; k++)
        ix->slots[k].index = -1;
    ix->count = 0;
    for (int32_t i = 0; i < count; i++)
        if (!path_index_add(ix, a, i)) {
            path_index_free(ix);
            return false;
        }
    return true;
}

void path_index_free(PathIndex* ix)
{
    if (!ix)
        return;
    std::free(ix->slots);
    ix->slots = nullptr;
    ix->capacity = 0;
    ix->count = 0;
}
