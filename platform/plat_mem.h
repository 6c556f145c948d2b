// plat_mem.h - cache-line aligned allocation for records shared with the audio thread.
// Threads: any, but never the audio thread.
#pragma once
#include <cstddef>

void* plat_aligned_alloc(size_t alignment, size_t size);   // zeroed by writing every page now;
                                                           // null on failure or size 0
void plat_aligned_free(void* p);                           // accepts null

// Pages straight from the OS for large buffers that come and go (video frames): freed
// memory goes back at once instead of staying in the allocator's heap. Null on failure
// or size 0; free with the same size.
void* plat_pages_alloc(size_t size);
void plat_pages_free(void* p, size_t size);                 // accepts null
