// plat_time.h - monotonic clock and sleeping.
// Threads: any.
// Depends on: the OS clock.
#pragma once
#include <cstdint>

double plat_time_seconds(void);          // monotonic seconds since an arbitrary start
uint64_t plat_time_ns(void);             // monotonic nanoseconds
void plat_sleep_ms(int ms);              // sleeps at least ms milliseconds [blocks]
