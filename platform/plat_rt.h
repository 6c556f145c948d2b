// plat_rt.h - marks the audio thread while it runs the callback.
// Threads: the audio thread sets and clears the mark; anyone may ask.
// Test builds interpose the allocator, locks and stdio and count calls made while
// the mark is set: the real-time path must make none.
#pragma once
#include <cstdint>

void plat_rt_enter(void);         // [RT] the callback starts
void plat_rt_leave(void);         // [RT] the callback ends
bool plat_rt_active(void);        // this thread is inside the callback

// Page faults (minor and major) the calling thread has taken so far. Tests and
// benchmarks use it to show the audio path touches only memory already mapped.
uint64_t plat_rt_page_faults(void);
