// plat_file_stamp.cpp - file stamps from stat and fstat.
#include "platform/plat_file_stamp.h"

#include <cinttypes>
#include <cstring>
#include <sys/stat.h>
#include <sys/xattr.h>

static void stamp_from(const struct stat* st, PlatFileStamp* out)
{
    out->exists = 1;
    out->device = (uint64_t)st->st_dev;
    out->inode = (uint64_t)st->st_ino;
    out->size = (int64_t)st->st_size;
    out->mtime_ns = (int64_t)st->st_mtim.tv_sec * 1000000000 + (int64_t)st->st_mtim.tv_nsec;
}

void plat_file_stamp(const char* path, PlatFileStamp* out)
{
    if (!out)
        return;
    std::memset(out, 0, sizeof *out);
    struct stat st;
    if (path && stat(path, &st) == 0)
        stamp_from(&st, out);
}

bool plat_file_stamp_of(FILE* f, PlatFileStamp* out)
{
    if (!out)
        return false;
    std::memset(out, 0, sizeof *out);
    struct stat st;
    if (!f || fflush(f) != 0 || fstat(fileno(f), &st) != 0)
        return false;
    stamp_from(&st, out);
    return true;
}

bool plat_file_stamp_equal(const PlatFileStamp* a, const PlatFileStamp* b)
{
    if (a->exists != b->exists)
        return false;
    return !a->exists || (a->device == b->device && a->inode == b->inode && a->size == b->size &&
                          a->mtime_ns == b->mtime_ns);
}

static const char kNoteName[] = "user.tessel.expects";

bool plat_file_stamp_note(FILE* f, const PlatFileStamp* stamp)
{
    if (!f || !stamp)
        return false;
    char text[128];
    int n = snprintf(text, sizeof text, "1 %u %" PRIu64 " %" PRIu64 " %" PRId64 " %" PRId64, (unsigned)stamp->exists,
                     stamp->device, stamp->inode, stamp->size, stamp->mtime_ns);
    return n > 0 && (size_t)n < sizeof text && fsetxattr(fileno(f), kNoteName, text, (size_t)n, 0) == 0;
}

bool plat_file_stamp_noted(FILE* f, PlatFileStamp* out)
{
    if (!out)
        return false;
    std::memset(out, 0, sizeof *out);
    char text[128];
    ssize_t n = f ? fgetxattr(fileno(f), kNoteName, text, sizeof text - 1) : -1;
    if (n <= 0)
        return false;
    text[n] = '\0';
    unsigned version = 0, exists = 0;
    PlatFileStamp s{};
    if (sscanf(text, "%u %u %" SCNu64 " %" SCNu64 " %" SCNd64 " %" SCNd64, &version, &exists, &s.device, &s.inode,
               &s.size, &s.mtime_ns) != 6 ||
        version != 1 || exists > 1)
        return false;
    s.exists = (uint8_t)exists;
    *out = s;
    return true;
}
