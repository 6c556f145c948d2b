// path_index.h - a hash index over an array of entries keyed by a path, so that
// looking a path up, and so loading a file of N entries, costs no more than a few
// comparisons per entry.
// Threads: UI thread (the thread that owns the array).
// Depends on: nothing.
//
// The index holds positions, not paths: every call is given the array as its base,
// the size of one entry and the offset of the entry's path pointer (a `char*` member),
// so the array may move between calls (it grows by realloc).
#pragma once
#include <cstddef>
#include <cstdint>

struct PathIndexSlot {
    uint32_t hash;
    int32_t index;                    // -1: empty
};

struct PathIndex {
    PathIndexSlot* slots;             // a power of two of them, at most half in use
    uint32_t capacity;
    int32_t count;
};

// Where the paths are: entry i's path is *(char**)(base + i * stride + offset).
struct PathArray {
    const void* base;
    size_t stride;
    size_t offset;
};

// Position of the entry with this path, -1 when none (or for a null index).
int32_t path_index_find(const PathIndex* ix, PathArray a, const char* path);
// Records entry `index` (its path already stored) under its path. False when the
// index cannot grow; it is then unchanged.
bool path_index_add(PathIndex* ix, PathArray a, int32_t index);
// Indexes entries 0..count-1 again from scratch (after entries moved). False when it
// cannot allocate; the index is then empty.
bool path_index_rebuild(PathIndex* ix, PathArray a, int32_t count);
void path_index_free(PathIndex* ix);
