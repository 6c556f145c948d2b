// plat_time.cpp - monotonic clock on CLOCK_MONOTONIC.
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
