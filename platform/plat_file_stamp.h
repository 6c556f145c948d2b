// plat_file_stamp.h - what tells one version of a file from another: its inode, size
// and last-write time, taken from a name or from an open file (before it is renamed
// into place, so a writer can recognise its own file later).
// Threads: any.
// Depends on: the OS file calls (stat, fstat).
#pragma once
#include <cstdint>
#include <cstdio>

struct PlatFileStamp {
    uint8_t exists;
    uint64_t device, inode;
    int64_t size;
    int64_t mtime_ns;
};

// The stamp of what path names (links followed); exists 0 when nothing does.
void plat_file_stamp(const char* path, PlatFileStamp* out);
// The stamp of an open file, after flushing it. False when it cannot be examined.
bool plat_file_stamp_of(FILE* f, PlatFileStamp* out);
bool plat_file_stamp_equal(const PlatFileStamp* a, const PlatFileStamp* b);
