// plat_random.cpp - getrandom without waiting: a system whose pool is not ready yet
// answers false rather than stalling start-up.
#include "platform/plat_random.h"

#include <cerrno>
#include <cstdint>
#include <sys/random.h>
#include <unistd.h>

#include "platform/plat_time.h"

bool plat_random_bytes(void* out, size_t len)
{
    uint8_t* p = (uint8_t*)out;
    size_t got = 0;
    while (got < len) {
        ssize_t r = getrandom(p + got, len - got, GRND_NONBLOCK);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        got += (size_t)r;
    }
    return true;
}

uint64_t plat_random_seed(void)
{
    uint64_t seed = 0;
    if (plat_random_bytes(&seed, sizeof seed))
        return seed;
    return plat_time_ns() ^ ((uint64_t)getpid() << 32) ^ (uint64_t)(plat_time_seconds() * 1000.0);
}
