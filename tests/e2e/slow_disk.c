/* slow_disk.c - preloaded (LD_PRELOAD): fwrite into a "*.wav.tmp*" file first waits as
 * long as the bytes take at SLOW_DISK_BYTES_PER_S (default 1000000), like a USB stick;
 * fsync of such a file says "slow_disk: syncing NAME" on standard error and waits as
 * long as the whole file takes at SLOW_DISK_SYNC_BYTES_PER_S (default the write rate),
 * as a real slow disk does with writes that only reached the page cache.
 * SLOW_DISK_MATCH, when set, slows only the files whose path also holds it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

typedef size_t (*FwriteFn)(const void*, size_t, size_t, FILE*);
typedef int (*FsyncFn)(int);

/* Whether fd is a "*.wav.tmp*" file holding SLOW_DISK_MATCH; its path goes to name. */
static int slow_file(int fd, char* name, size_t cap)
{
    char link[64];
    const char* match = getenv("SLOW_DISK_MATCH");
    memset(name, 0, cap);
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    return fd >= 0 && readlink(link, name, cap - 1) > 0 && strstr(name, ".wav.tmp") != NULL &&
           (!match || strstr(name, match) != NULL);
}

/* Sleeps as long as bytes take at the rate rate_var names (else the write rate). */
static void slow_sleep(double bytes, const char* rate_var)
{
    const char* rate = getenv(rate_var);
    if (!rate)
        rate = getenv("SLOW_DISK_BYTES_PER_S");
    double bps = rate ? atof(rate) : 1e6, s = bps > 0 ? bytes / bps : 0.0;
    struct timespec ts = {(time_t)s, (long)((s - (double)(time_t)s) * 1e9)};
    nanosleep(&ts, NULL);
}

size_t fwrite(const void* p, size_t size, size_t count, FILE* f)
{
    static FwriteFn next;
    char name[4096];
    if (!next)
        next = (FwriteFn)dlsym(RTLD_NEXT, "fwrite");
    if (size * count > 0 && slow_file(f ? fileno(f) : -1, name, sizeof name))
        slow_sleep((double)(size * count), "SLOW_DISK_BYTES_PER_S");
    return next(p, size, count, f);
}

int fsync(int fd)
{
    static FsyncFn next;
    char name[4096];
    struct stat st;
    if (!next)
        next = (FsyncFn)dlsym(RTLD_NEXT, "fsync");
    if (slow_file(fd, name, sizeof name) && fstat(fd, &st) == 0) {
        fprintf(stderr, "slow_disk: syncing %s\n", name);
        slow_sleep((double)st.st_size, "SLOW_DISK_SYNC_BYTES_PER_S");
    }
    return next(fd);
}
