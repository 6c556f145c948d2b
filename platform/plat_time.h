// plat_time.h - monotonic clock and sleeping.
// Threads: any.
// Depends on: the OS clock and the local time zone.
#pragma once
#include <cstdint>

double plat_time_seconds(void);          // monotonic seconds since an arbitrary start
uint64_t plat_time_ns(void);             // monotonic nanoseconds
void plat_sleep_ms(int ms);              // sleeps at least ms milliseconds [blocks]

// The local calendar date and time of now.
struct PlatLocalTime {
    int year;       // e.g. 2025
    int month;      // 1..12
    int day;        // 1..31
    int hour, minute, second;
};
// False (out zeroed) when the local time cannot be had.
bool plat_local_time(PlatLocalTime* out);
// The same for a time given in seconds since 1970 UTC.
bool plat_local_time_of(double seconds, PlatLocalTime* out);
// The wall clock: milliseconds since 1970 UTC (0 when unknown).
double plat_wall_ms(void);
