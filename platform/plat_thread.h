// plat_thread.h - detached worker threads that report a failed start instead of throwing.
// Threads: any.
// Depends on: pthreads.
#pragma once

// Starts fn(arg) on a new detached thread. False when the thread cannot be made.
bool plat_thread_start_detached(void (*fn)(void*), void* arg);

// Whether this process may run a thread with real-time (FIFO) scheduling: a
// short-lived thread asks for it and reports. [slow: starts and joins a thread]
bool plat_thread_realtime_allowed(void);
