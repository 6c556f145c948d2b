// plat_random.cpp - getrandom without waiting: a system whose pool is not ready yet
// answers false rather than stalling start-up.
#include "platform/plat_random.h"

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <sys/random.h>
#include <unistd.h>

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
    timespec mono{}, wall{};
    clock_gettime(CLOCK_MONOTONIC, &mono);
    clock_gettime(CLOCK_REALTIME, &wall);
    return ((uint64_t)mono.tv_sec * 1000000000u + (uint64_t)mono.tv_nsec) ^ ((uint64_t)getpid() << 32) ^
           ((uint64_t)wall.tv_sec * 1000u + (uint64_t)wall.tv_nsec / 1000000u);
}
