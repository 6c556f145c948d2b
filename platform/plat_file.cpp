// plat_file.cpp - POSIX files: O_NONBLOCK + fstat before reading, fsync before rename.
#include "platform/plat_file.h"

#include <cerrno>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

FILE* plat_file_open_read(const char* path)
{
    if (!path || !path[0])
        return nullptr;
    // Non-blocking open: opening a FIFO for reading would otherwise wait for a writer.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return nullptr;
    }
    FILE* f = fdopen(fd, "rb");
    if (!f)
        close(fd);
    return f;
}

bool plat_file_is_regular(const char* path)
{
    struct stat st;
    return path && path[0] && stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

int64_t plat_file_size(FILE* f)
{
    struct stat st;
    if (!f || fstat(fileno(f), &st) != 0 || !S_ISREG(st.st_mode))
        return -1;
    return (int64_t)st.st_size;
}

bool plat_file_seek(FILE* f, int64_t offset, int whence)
{
    return f && fseeko(f, (off_t)offset, whence) == 0;
}

int64_t plat_file_tell(FILE* f)
{
    return f ? (int64_t)ftello(f) : -1;
}

FILE* plat_file_open_append(const char* path)
{
    if (!path || !path[0])
        return nullptr;
    // Non-blocking open: a FIFO without a reader is refused instead of waited for.
    int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    struct stat st;
    int flags = fcntl(fd, F_GETFL);
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        close(fd);
        return nullptr;
    }
    FILE* f = fdopen(fd, "ab");
    if (!f)
        close(fd);
    return f;
}

FILE* plat_file_create(const char* path)
{
    if (!path || !path[0])
        return nullptr;
    return fopen(path, "wbe");
}

FILE* plat_file_create_new(const char* path)
{
    if (!path || !path[0])
        return nullptr;
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return nullptr;
    FILE* f = fdopen(fd, "wb");
    if (!f) {
        close(fd);
        unlink(path);
    }
    return f;
}

bool plat_file_finish(FILE* f, const char* path)
{
    if (!f)
        return false;
    struct stat st;
    bool regular = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    bool ok = fflush(f) == 0 && !ferror(f);
    if (ok && regular)
        ok = fsync(fileno(f)) == 0;
    // fclose can report a failure of its own (a full device takes the last bytes only
    // at the close).
    if (fclose(f) != 0)
        ok = false;
    if (!ok && regular && path)
        unlink(path);
    return ok;
}

void plat_file_discard(FILE* f, const char* path)
{
    if (!f)
        return;
    struct stat st;
    bool regular = fstat(fileno(f), &st) == 0 && S_ISREG(st.st_mode);
    fclose(f);
    if (regular && path)
        unlink(path);
}

bool plat_file_temp_path(const char* final_path, char* out, size_t out_size)
{
    if (!final_path || !final_path[0] || !out || out_size < 1)
        return false;
    int n = snprintf(out, out_size, "%s.tmp.%ld", final_path, (long)getpid());
    if (n < 0 || (size_t)n >= out_size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool plat_file_replace(const char* temp_path, const char* final_path)
{
    return temp_path && final_path && rename(temp_path, final_path) == 0;
}

bool plat_file_remove_regular(const char* path)
{
    struct stat st;
    if (!path || lstat(path, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return unlink(path) == 0;
}

bool plat_path_exists(const char* path)
{
    struct stat st;
    return path && path[0] && lstat(path, &st) == 0;
}

bool plat_file_info(const char* path, PlatFileInfo* out)
{
    if (!out)
        return false;
    *out = PlatFileInfo{};
    struct stat st;
    if (!path || !path[0] || stat(path, &st) != 0)
        return false;
    out->is_regular = S_ISREG(st.st_mode);
    out->is_dir = S_ISDIR(st.st_mode);
    out->size = (int64_t)st.st_size;
    out->mtime_ms = (double)st.st_mtim.tv_sec * 1000.0 + (double)(st.st_mtim.tv_nsec / 1000000);
    return true;
}

bool plat_file_fake_size_limit(int64_t bytes)
{
    // The file-size limit makes a write past it fail with EFBIG, once SIGXFSZ (which
    // would otherwise end the process) is ignored.
    struct rlimit lim;
    if (getrlimit(RLIMIT_FSIZE, &lim) != 0)
        return false;
    if (bytes >= 0) {
        signal(SIGXFSZ, SIG_IGN);
        lim.rlim_cur = (rlim_t)bytes;
    } else {
        lim.rlim_cur = lim.rlim_max;
    }
    return setrlimit(RLIMIT_FSIZE, &lim) == 0;
}

