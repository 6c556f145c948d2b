// plat_file_stamp.cpp - file stamps from stat and fstat.
#include "platform/plat_file_stamp.h"

#include <cstring>
#include <sys/stat.h>

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
