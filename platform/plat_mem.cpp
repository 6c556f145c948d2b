// plat_mem.cpp - aligned allocation over aligned_alloc.
#include "platform/plat_mem.h"

#include <cstdlib>
#include <cstring>

void* plat_aligned_alloc(size_t alignment, size_t size)
{
    if (size == 0 || alignment == 0 || (alignment & (alignment - 1)) != 0)
        return nullptr;
    size_t rounded = (size + alignment - 1) / alignment * alignment;
    if (rounded < size)
        return nullptr;
    void* p = std::aligned_alloc(alignment, rounded);
    if (p)
        std::memset(p, 0, rounded);
    return p;
}

void plat_aligned_free(void* p)
{
    std::free(p);
}
