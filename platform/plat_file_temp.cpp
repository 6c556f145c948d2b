// plat_file_temp.cpp - temporary files that become a final name: made new under a
// lock held until they are in place, and swept when a killed writer left them.
#include <atomic>
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

static std::atomic<const char*> g_fake_pid_max{nullptr};

void plat_file_fake_pid_max(const char* path)
{
    g_fake_pid_max.store(path, std::memory_order_relaxed);
}

// One more than the highest process id the system gives out; the kernel's own ceiling
// when the system does not say.
static long pid_limit(void)
{
    long limit = 0;
    const char* fake = g_fake_pid_max.load(std::memory_order_relaxed);
    FILE* f = fopen(fake ? fake : "/proc/sys/kernel/pid_max", "re");
    if (f) {
        if (fscanf(f, "%ld", &limit) != 1)
            limit = 0;
        fclose(f);
    }
    return limit > 1 ? limit : 4194304;
}

// The writer's process id from "<final>.tmp.<pid>"; -1 when the name is no temporary
// of ours: a plain "<final>.tmp", or a number no writer of ours can have put there (0,
// a leading zero, or at or past pid_limit), may be a user's own file. base_len gets the
// final name's length.
static long temp_name_pid(const char* name, long limit, size_t* base_len)
{
    const char* mark = nullptr;
    for (const char* p = strstr(name, ".tmp."); p; p = strstr(p + 1, ".tmp."))
        mark = p;
    if (!mark || mark == name)
        return -1;
    const char* digits = mark + 5;
    if (!*digits || *digits == '0' || strlen(digits) > 9 || strspn(digits, "0123456789") != strlen(digits))
        return -1;
    long pid = strtol(digits, nullptr, 10);
    if (pid <= 0 || pid >= limit)
        return -1;
    *base_len = (size_t)(mark - name);
    return pid;
}

// Whether another process with this id runs (one we may not signal runs too).
static bool pid_alive(long pid)
{
    if (pid <= 0 || pid == (long)getpid())
        return false;
    return kill((pid_t)pid, 0) == 0 || errno == EPERM;
}

// Opens path for reading when it is a regular file no writer holds locked, and takes
// the lock: held until the descriptor is closed, so until then no writer starts on it.
// Never blocks (a FIFO planted under the name is not waited on) and never follows a
// link. -1 when it cannot be had.
static int open_locked(const char* path, struct stat* st)
{
    int fd = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (fstat(fd, st) != 0 || !S_ISREG(st->st_mode) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Removes path when it is a regular file no writer holds locked.
static bool remove_unlocked(const char* path)
{
    struct stat st;
    int fd = open_locked(path, &st);
    if (fd < 0)
        return false;
    bool removed = unlink(path) == 0;
    close(fd);
    return removed;
}

struct StaleWalk {
    const char* folder;
    void (*visit)(void* ctx, const PlatStaleTemp* t);
    void* ctx;
    long pid_limit;
    int visited;
};

static bool stale_visit(void* arg, const PlatDirEntry* e)
{
    StaleWalk* w = (StaleWalk*)arg;
    size_t base_len = 0;
    long pid = temp_name_pid(e->name, w->pid_limit, &base_len);
    if (pid < 0 || !e->is_file || base_len >= 512 || pid_alive(pid))
        return true;
    char base[512], path[1100];
    memcpy(base, e->name, base_len);
    base[base_len] = '\0';
    int n = snprintf(path, sizeof path, "%s/%s", w->folder, e->name);
    struct stat st;
    int fd = n > 0 && (size_t)n < sizeof path ? open_locked(path, &st) : -1;
    if (fd < 0)
        return true;
    FILE* f = fdopen(fd, "rb");
    if (!f) {
        close(fd);
        return true;
    }
    PlatStaleTemp t{e->name, base, path, f, (int64_t)st.st_size,
                    (double)st.st_mtim.tv_sec * 1000.0 + (double)st.st_mtim.tv_nsec / 1e6};
    w->visit(w->ctx, &t);
    w->visited++;
    fclose(f);
    return true;
}

int plat_file_stale_temps(const char* folder, void (*visit)(void* ctx, const PlatStaleTemp* t), void* ctx)
{
    if (!folder || !folder[0] || !visit)
        return 0;
    StaleWalk w{folder, visit, ctx, pid_limit(), 0};
    plat_dir_list(folder, stale_visit, &w);
    return w.visited;
}

struct SweepOwn {
    bool (*own)(const char* final_name, void* ctx);
    void* ctx;
    int removed;
};

static void sweep_visit(void* arg, const PlatStaleTemp* t)
{
    SweepOwn* s = (SweepOwn*)arg;
    if (s->own(t->final_name, s->ctx) && unlink(t->path) == 0)
        s->removed++;
}

int plat_file_sweep_temps(const char* folder, bool (*own)(const char* final_name, void* ctx), void* ctx)
{
    if (!own)
        return 0;
    SweepOwn s{own, ctx, 0};
    plat_file_stale_temps(folder, sweep_visit, &s);
    return s.removed;
}

// How often a gate that puts the file elsewhere is asked again for a name that another
// writer took meanwhile.
static const int kElsewhereTries = 16;

// The gate's answer carried out: over path, refused, or under the name it gives
// without replacing anything (asked again when that name was taken meanwhile).
static int gate_and_place(const char* temp, const char* path,
                          PlatGateAnswer (*gate)(void* ctx, char* elsewhere, size_t cap), void* ctx)
{
    int err = EEXIST;
    for (int i = 0; i < kElsewhereTries && err == EEXIST; i++) {
        char elsewhere[1100] = "";
        PlatGateAnswer answer = gate(ctx, elsewhere, sizeof elsewhere);
        if (answer == PLAT_GATE_REPLACE)
            return rename(temp, path) == 0 ? 0 : errno;
        if (answer != PLAT_GATE_ELSEWHERE || !elsewhere[0])
            return ESTALE;
        err = plat_file_rename_noreplace(temp, elsewhere);
    }
    return err;
}

// Every replacement: the temporary made new with mode, locked until it is in place;
// gate (may be null) says last whether it may go in place.
static int write_via_temp(const char* path, bool replace, mode_t mode, bool (*write)(void* ctx, FILE* f),
                          void* ctx, PlatGateAnswer (*gate)(void* ctx, char* elsewhere, size_t cap) = nullptr)
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
    else if (gate)
        err = gate_and_place(temp, path, gate, ctx);
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

int plat_file_write_via_temp_gated(const char* path, bool (*write)(void* ctx, FILE* f),
                                   PlatGateAnswer (*gate)(void* ctx, char* elsewhere, size_t cap), void* ctx)
{
    return write_via_temp(path, true, 0644, write, ctx, gate);
}

bool plat_file_write_replacing(const char* path, bool (*write)(void* ctx, FILE* f), void* ctx)
{
    return write_via_temp(path, true, 0600, write, ctx) == 0;
}
