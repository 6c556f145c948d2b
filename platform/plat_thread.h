// plat_thread.h - detached worker threads that report a failed start instead of throwing.
// Threads: any.
// Depends on: pthreads.
#pragma once

// Starts fn(arg) on a new detached thread named name (at most 15 bytes are kept;
// null leaves the process's name). False when the thread cannot be made.
bool plat_thread_start_detached(void (*fn)(void*), void* arg, const char* name);
// Names the calling thread, as the system lists it (at most 15 bytes are kept).
void plat_thread_name_self(const char* name);

// Whether this process may run a thread with real-time (FIFO) scheduling: a
// short-lived thread asks for it and reports. [slow: starts and joins a thread]
bool plat_thread_realtime_allowed(void);
