// plat_mem.cpp - aligned allocation over aligned_alloc; whole pages over mmap.
#include "platform/plat_mem.h"

#include <sys/mman.h>

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
    if (p) {
        // Written for real, never left to lazily zeroed pages: the compiler may not
        // drop or fold this store, so every page is mapped before the call returns.
        std::memset(p, 0, rounded);
        __asm__ __volatile__("" : : "r"(p) : "memory");
    }
    return p;
}

void plat_aligned_free(void* p)
{
    std::free(p);
}

void* plat_pages_alloc(size_t size)
{
    if (size == 0)
        return nullptr;
    void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
}

void plat_pages_free(void* p, size_t size)
{
    if (p && size)
        munmap(p, size);
}
