// plat_thread.h - detached worker threads that report a failed start instead of throwing.
// Threads: any.
// Depends on: pthreads.
#pragma once

// Starts fn(arg) on a new detached thread. False when the thread cannot be made.
bool plat_thread_start_detached(void (*fn)(void*), void* arg);
