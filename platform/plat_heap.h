// plat_heap.h - keeps the C heap from handing memory back to the kernel and taking it
// again every frame.
// Threads: call once at start-up, before other threads run.
//
// The GL driver (software GL above all) allocates and frees large blocks every frame.
// With the C library's defaults each such block is a fresh mapping or a heap that
// grows and is trimmed again: system calls, page faults and page clearing per frame.
// Held, the heap keeps what it once grew and reuses it. The audio thread is not
// concerned: it allocates nothing.
#pragma once

void plat_heap_hold(void);
