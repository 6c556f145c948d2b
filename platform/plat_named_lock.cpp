// plat_named_lock.cpp - named locks as flock on files in a ".locks" folder.
#include "platform/plat_named_lock.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/plat_time.h"

static std::atomic<int> g_fake{PLAT_LOCK_TAKEN};

void plat_named_lock_fake(PlatLockResult result)
{
    g_fake.store((int)result, std::memory_order_relaxed);
}

bool plat_named_lock_path(const char* folder, const char* name, char* out, int size)
{
    if (!folder || !name || !name[0] || !out || size < 1)
        return false;
    int n = snprintf(out, (size_t)size, "%s/.locks/%s.lock", folder[0] ? folder : ".", name);
    if (n < 0 || n >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

PlatLockResult plat_named_lock_take(const char* folder, const char* name, int wait_ms, PlatNamedLock* out,
                                    int* err)
{
    if (err)
        *err = 0;
    if (!out)
        return PLAT_LOCK_FAILED;
    out->fd = -1;
    int fake = g_fake.load(std::memory_order_relaxed);
    if (fake != PLAT_LOCK_TAKEN) {
        if (err && fake == PLAT_LOCK_FAILED)
            *err = EACCES;
        return (PlatLockResult)fake;
    }
    char path[1200];
    if (!plat_named_lock_path(folder, name, path, (int)sizeof path)) {
        if (err)
            *err = ENAMETOOLONG;
        return PLAT_LOCK_FAILED;
    }
    char dir[1200];
    snprintf(dir, sizeof dir, "%s/.locks", folder[0] ? folder : ".");
    if (mkdir(dir, 0755) != 0 && errno != EEXIST) {
        if (err)
            *err = errno;
        return PLAT_LOCK_FAILED;
    }
    int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        if (err)
            *err = errno;
        return PLAT_LOCK_FAILED;
    }
    double deadline = plat_time_seconds() + (wait_ms > 0 ? wait_ms / 1000.0 : 0.0);
    int pause = 1;
    for (;;) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            out->fd = fd;
            return PLAT_LOCK_TAKEN;
        }
        if (errno != EWOULDBLOCK && errno != EINTR) {
            if (err)
                *err = errno;
            close(fd);
            return PLAT_LOCK_FAILED;
        }
        double left = deadline - plat_time_seconds();
        if (left <= 0.0)
            break;
        int ms = pause;
        if (ms > (int)(left * 1000.0) + 1)
            ms = (int)(left * 1000.0) + 1;
        plat_sleep_ms(ms);
        pause = pause * 2 > 10 ? 10 : pause * 2;
    }
    close(fd);
    return PLAT_LOCK_TIMEOUT;
}

void plat_named_lock_release(PlatNamedLock* lock)
{
    if (!lock || lock->fd < 0)
        return;
    flock(lock->fd, LOCK_UN);
    close(lock->fd);
    lock->fd = -1;
}
