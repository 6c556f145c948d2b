// plat_time.cpp - monotonic clock on CLOCK_MONOTONIC; local time through localtime_r.
#include "platform/plat_time.h"

#include <time.h>

uint64_t plat_time_ns(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (uint64_t)ts.tv_sec * 1000000000ull + (uint64_t)ts.tv_nsec;
}

double plat_time_seconds(void)
{
    return (double)plat_time_ns() * 1e-9;
}

void plat_sleep_ms(int ms)
{
    if (ms <= 0)
        return;
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = (long)(ms % 1000) * 1000000L;
    while (nanosleep(&ts, &ts) != 0) {
    }
}

bool plat_local_time(PlatLocalTime* out)
{
    return plat_local_time_of((double)time(nullptr), out);
}

double plat_wall_ms(void)
{
    struct timespec ts;
    if (clock_gettime(CLOCK_REALTIME, &ts) != 0)
        return 0.0;
    return (double)ts.tv_sec * 1000.0 + (double)ts.tv_nsec / 1e6;
}

bool plat_local_time_of(double seconds, PlatLocalTime* out)
{
    if (!out)
        return false;
    *out = PlatLocalTime{};
    time_t now = (time_t)seconds;
    struct tm tm;
    if (!(seconds >= 0.0) || !localtime_r(&now, &tm))
        return false;
    out->year = tm.tm_year + 1900;
    out->month = tm.tm_mon + 1;
    out->day = tm.tm_mday;
    out->hour = tm.tm_hour;
    out->minute = tm.tm_min;
    out->second = tm.tm_sec;
    return true;
}
