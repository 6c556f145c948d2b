// plat_mem.h - cache-line aligned allocation for records shared with the audio thread.
// Threads: any, but never the audio thread.
#pragma once
#include <cstddef>

void* plat_aligned_alloc(size_t alignment, size_t size);   // zeroed by writing every page now;
                                                           // null on failure or size 0
void plat_aligned_free(void* p);                           // accepts null
