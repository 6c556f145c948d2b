// plat_rt.h - marks the audio thread while it runs the callback.
// Threads: the audio thread sets and clears the mark; anyone may ask.
// Test builds interpose the allocator, locks and stdio and count calls made while
// the mark is set: the real-time path must make none.
#pragma once

void plat_rt_enter(void);         // [RT] the callback starts
void plat_rt_leave(void);         // [RT] the callback ends
bool plat_rt_active(void);        // this thread is inside the callback
