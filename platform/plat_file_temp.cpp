// plat_file_temp.cpp - temporary files that become a final name: made new under a
// lock held until they are in place, and swept when a killed writer left them.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/plat_dir.h"
#include "platform/plat_file.h"

// The writer's process id from "<final>.tmp.<pid>"; 0 for an old "<final>.tmp" that
// names none; -1 when the name is no temporary. base_len gets the final name's length.
static long temp_name_pid(const char* name, size_t* base_len)
{
    size_t len = strlen(name);
    if (len > 4 && strcmp(name + len - 4, ".tmp") == 0) {
        *base_len = len - 4;
        return 0;
    }
    const char* mark = nullptr;
    for (const char* p = strstr(name, ".tmp."); p; p = strstr(p + 1, ".tmp."))
        mark = p;
    if (!mark || mark == name)
        return -1;
    const char* digits = mark + 5;
    if (!*digits || strlen(digits) > 9 || strspn(digits, "0123456789") != strlen(digits))
        return -1;
    *base_len = (size_t)(mark - name);
    return strtol(digits, nullptr, 10);
}

// Whether another process with this id runs (one we may not signal runs too).
static bool pid_alive(long pid)
{
    if (pid <= 0 || pid == (long)getpid())
        return false;
    return kill((pid_t)pid, 0) == 0 || errno == EPERM;
}

// Removes path when it is a regular file no writer holds locked. The lock is taken on
// the file itself, so it is held until the file is gone.
static bool remove_unlocked(const char* path)
{
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    bool removed = false;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0)
        removed = unlink(path) == 0;
    close(fd);
    return removed;
}

struct SweepWalk {
    const char* folder;
    bool (*own)(const char* final_name, void* ctx);
    void* ctx;
    int removed;
};

static bool sweep_visit(void* arg, const PlatDirEntry* e)
{
    SweepWalk* w = (SweepWalk*)arg;
    size_t base_len = 0;
    long pid = temp_name_pid(e->name, &base_len);
    if (pid < 0 || !e->is_file || base_len >= 512 || pid_alive(pid))
        return true;
    char base[512];
    memcpy(base, e->name, base_len);
    base[base_len] = '\0';
    if (!w->own(base, w->ctx))
        return true;
    char path[1100];
    int n = snprintf(path, sizeof path, "%s/%s", w->folder, e->name);
    if (n > 0 && (size_t)n < sizeof path && remove_unlocked(path))
        w->removed++;
    return true;
}

int plat_file_sweep_temps(const char* folder, bool (*own)(const char* final_name, void* ctx), void* ctx)
{
    if (!folder || !folder[0] || !own)
        return 0;
    SweepWalk w{folder, own, ctx, 0};
    plat_dir_list(folder, sweep_visit, &w);
    return w.removed;
}

// Both replacements: the temporary made new with mode, locked until it is in place.
static int write_via_temp(const char* path, bool replace, mode_t mode, bool (*write)(void* ctx, FILE* f),
                          void* ctx)
{
    char temp[1100];
    if (!path || !path[0] || !write || !plat_file_temp_path(path, temp, sizeof temp))
        return ENAMETOOLONG;
    // One of ours left by a killed process that had our id; a writer of ours still
    // holding it keeps it.
    remove_unlocked(temp);
    int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return errno;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        close(fd);
        unlink(temp);
        return err;
    }
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        int err = errno;
        unlink(temp);
        close(fd);
        return err;
    }
    errno = 0;
    int err = 0;
    if (!write(ctx, f))
        err = errno ? errno : EIO;
    else if (fflush(f) != 0 || ferror(f) || fsync(fd) != 0)
        err = errno ? errno : EIO;
    else if (replace)
        err = rename(temp, path) == 0 ? 0 : errno;
    else
        err = plat_file_rename_noreplace(temp, path);
    // Put in place (or removed) while still locked, so no sweep takes it between.
    if (err)
        unlink(temp);
    // The data reached the disk (fsync) before the close: a close error cannot lose it.
    fclose(f);
    return err;
}

int plat_file_write_via_temp(const char* path, bool replace, bool (*write)(void* ctx, FILE* f), void* ctx)
{
    return write_via_temp(path, replace, 0644, write, ctx);
}

bool plat_file_write_replacing(const char* path, bool (*write)(void* ctx, FILE* f), void* ctx)
{
    return write_via_temp(path, true, 0600, write, ctx) == 0;
}
