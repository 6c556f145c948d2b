/* slow_disk.c - preloaded (LD_PRELOAD): fwrite into a "*.wav.tmp*" file first waits as
 * long as the bytes take at SLOW_DISK_BYTES_PER_S (default 1000000), like a USB stick. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

typedef size_t (*FwriteFn)(const void*, size_t, size_t, FILE*);

size_t fwrite(const void* p, size_t size, size_t count, FILE* f)
{
    static FwriteFn next;
    char link[64], name[4096] = {0};
    if (!next)
        next = (FwriteFn)dlsym(RTLD_NEXT, "fwrite");
    snprintf(link, sizeof link, "/proc/self/fd/%d", f ? fileno(f) : -1);
    if (size * count > 0 && readlink(link, name, sizeof name - 1) > 0 && strstr(name, ".wav.tmp")) {
        const char* rate = getenv("SLOW_DISK_BYTES_PER_S");
        double bps = rate ? atof(rate) : 1e6, s = bps > 0 ? (double)(size * count) / bps : 0.0;
        struct timespec ts = {(time_t)s, (long)((s - (double)(time_t)s) * 1e9)};
        nanosleep(&ts, NULL);
    }
    return next(p, size, count, f);
}
