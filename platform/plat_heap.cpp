// plat_heap.cpp - glibc's trim, top pad and mmap thresholds, set once.
#include "platform/plat_heap.h"

#include <malloc.h>

// Freed memory at the heap's top goes back only beyond this much.
static const int kTrimThreshold = 64 << 20;
// The heap grows by this much more than asked, so growth is rare.
static const int kTopPad = 16 << 20;
// Blocks up to this size come from the heap, not from a mapping of their own (a
// window's worth of pixels is a few megabytes). glibc's own ceiling.
static const int kMmapThreshold = 32 << 20;

void plat_heap_hold(void)
{
    // Setting the mmap threshold also stops glibc moving it on its own.
    mallopt(M_MMAP_THRESHOLD, kMmapThreshold);
    mallopt(M_TRIM_THRESHOLD, kTrimThreshold);
    mallopt(M_TOP_PAD, kTopPad);
}
