// plat_file_replace.cpp - replacing writes that say which step failed and why, whole
// reads with their errno, file identities, and renames that never replace (through a
// hard link where the file system refuses the no-replace flag, and through a
// reservation of the new name where it refuses links too).
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/plat_file.h"

static std::atomic<int> g_fake_write{0};
static std::atomic<int> g_fake_read{0};
static std::atomic<int> g_fake_noreplace{0};
static std::atomic<int> g_fake_link{0};
static std::atomic<int> g_fake_reserved{0};

void plat_file_fake_write_errno(int err)
{
    g_fake_write.store(err, std::memory_order_relaxed);
}

void plat_file_fake_read_errno(int err)
{
    g_fake_read.store(err, std::memory_order_relaxed);
}

static bool write_all(int fd, const char* p, size_t len)
{
    while (len > 0) {
        ssize_t n = write(fd, p, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        len -= (size_t)n;
    }
    return true;
}

PlatWriteResult plat_file_write_bytes_replacing(const char* path, const void* data, size_t len,
                                                void (*before_rename)(void* ctx, const char* temp_path),
                                                void* ctx)
{
    char temp[1100];
    if (!path || !path[0] || (!data && len) || !plat_file_temp_path(path, temp, sizeof temp))
        return PlatWriteResult{PLAT_WRITE_TEMP, ENAMETOOLONG};
    plat_file_remove_regular(temp);
    int fd = open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0)
        return PlatWriteResult{PLAT_WRITE_TEMP, errno};
    int err = 0;
    int fake = g_fake_write.load(std::memory_order_relaxed);
    if (fake)
        err = fake;
    else if (!write_all(fd, (const char*)data, len))
        err = errno;
    else if (fsync(fd) != 0)
        err = errno;
    if (close(fd) != 0 && !err)
        err = errno;
    if (err) {
        unlink(temp);
        return PlatWriteResult{PLAT_WRITE_TEMP, err};
    }
    if (before_rename)
        before_rename(ctx, temp);
    if (rename(temp, path) != 0) {
        err = errno;
        unlink(temp);
        return PlatWriteResult{PLAT_WRITE_RENAME, err};
    }
    return PlatWriteResult{PLAT_WRITE_OK, 0};
}

int plat_file_read_whole(const char* path, size_t max, char** out, size_t* len)
{
    if (out)
        *out = nullptr;
    if (len)
        *len = 0;
    if (!path || !path[0] || !out || !len)
        return EINVAL;
    int fake = g_fake_read.load(std::memory_order_relaxed);
    if (fake)
        return fake;
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno;
    struct stat st;
    if (fstat(fd, &st) != 0) {
        int e = errno;
        close(fd);
        return e;
    }
    if (!S_ISREG(st.st_mode)) {
        close(fd);
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    if ((uint64_t)st.st_size > max) {
        close(fd);
        *len = (size_t)st.st_size;
        return EFBIG;
    }
    size_t cap = (size_t)st.st_size + 1;
    char* buf = (char*)malloc(cap);
    if (!buf) {
        close(fd);
        return ENOMEM;
    }
    size_t got = 0;
    for (;;) {
        if (got + 1 >= cap) {
            // The file grew while it was read: still within max?
            if (cap > max) {
                free(buf);
                close(fd);
                *len = got;
                return EFBIG;
            }
            size_t ncap = cap * 2 > max + 1 ? max + 1 : cap * 2;
            char* nb = (char*)realloc(buf, ncap);
            if (!nb) {
                free(buf);
                close(fd);
                return ENOMEM;
            }
            buf = nb;
            cap = ncap;
        }
        ssize_t n = read(fd, buf + got, cap - 1 - got);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            int e = errno;
            free(buf);
            close(fd);
            return e;
        }
        if (n == 0)
            break;
        got += (size_t)n;
    }
    close(fd);
    buf[got] = '\0';
    *out = buf;
    *len = got;
    return 0;
}

int plat_file_identity(const char* path, PlatFileIdentity* out)
{
    if (!out)
        return EINVAL;
    *out = PlatFileIdentity{};
    struct stat st;
    if (!path || !path[0])
        return ENOENT;
    if (stat(path, &st) != 0)
        return errno;
    out->valid = 1;
    out->device = (uint64_t)st.st_dev;
    out->inode = (uint64_t)st.st_ino;
    out->size = (uint64_t)st.st_size;
    out->mtime_ns = (int64_t)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    return 0;
}

bool plat_file_identity_equal(const PlatFileIdentity* a, const PlatFileIdentity* b)
{
    return a && b && a->valid == b->valid && a->device == b->device && a->inode == b->inode &&
           a->size == b->size && a->mtime_ns == b->mtime_ns;
}

void plat_file_fake_rename_refusals(int rename_err, int link_err, int reserved_err)
{
    g_fake_noreplace.store(rename_err, std::memory_order_relaxed);
    g_fake_link.store(link_err, std::memory_order_relaxed);
    g_fake_reserved.store(reserved_err, std::memory_order_relaxed);
}

// The last way, for file systems without hard links (FAT through FUSE, some shares):
// the new name is reserved by making it anew, which fails with EEXIST when anything has
// it, and the file is renamed over that reservation, an empty file of our own. It is
// made only now, with the file whole, so a writer that dies earlier leaves nothing
// under the new name; when the rename fails, the reservation goes again, unless
// someone else's file has meanwhile taken its place.
static int rename_over_reservation(const char* from, const char* to)
{
    int fd = open(to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno;
    struct stat own;
    bool known = fstat(fd, &own) == 0;
    close(fd);
    int err = g_fake_reserved.load(std::memory_order_relaxed);
    if (!err)
        err = rename(from, to) == 0 ? 0 : errno;
    struct stat now;
    if (err && (!known || (lstat(to, &now) == 0 && now.st_dev == own.st_dev && now.st_ino == own.st_ino)))
        unlink(to);
    return err;
}

int plat_file_rename_noreplace(const char* from, const char* to)
{
    if (!from || !to)
        return EINVAL;
    int err = g_fake_noreplace.load(std::memory_order_relaxed);
    if (!err)
        err = renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0 ? 0 : errno;
    // A file system that cannot rename without replacing (FUSE passthroughs, sshfs, some
    // network shares) refuses the flag itself. A hard link never replaces either: it
    // fails with EEXIST when the name is taken, and the temporary name then goes.
    if (err != EINVAL && err != ENOSYS && err != EOPNOTSUPP)
        return err;
    err = g_fake_link.load(std::memory_order_relaxed);
    if (!err)
        err = link(from, to) == 0 ? 0 : errno;
    if (err == EEXIST)
        return err;
    if (err)
        return rename_over_reservation(from, to);
    // The file stands under its new name whatever becomes of the old one.
    unlink(from);
    return 0;
}
