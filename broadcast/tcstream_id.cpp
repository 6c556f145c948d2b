// tcstream_id.cpp - the station id. It is made afresh each run from the clock and an
// address of this process; keeping it in the data folder across runs is still to come.
#include <cstdint>
#include <cstdio>

#include "broadcast/tcstream.h"
#include "broadcast/tcstream_internal.h"
#include "platform/plat_time.h"

void tcstream_station_id(Station* s, const char* dir)
{
    (void)dir;
    uint64_t now = plat_time_ns();
    uintptr_t where = (uintptr_t)&now;
    uint32_t x = (uint32_t)now ^ (uint32_t)(now >> 32) ^ (uint32_t)((uint32_t)(where >> 4) * 0x9E3779B1u);
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    snprintf(s->sid, sizeof s->sid, "%08x", x);
}
