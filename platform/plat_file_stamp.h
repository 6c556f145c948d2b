// plat_file_stamp.h - what tells one version of a file from another: its inode, size
// and last-write time, taken from a name or from an open file (before it is renamed
// into place, so a writer can recognise its own file later).
// Threads: any.
// Depends on: the OS file calls (stat, fstat, extended attributes).
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

// A stamp kept with an open file, as an extended attribute, for whoever finds the file
// later: a temporary's writer notes the file it expects to replace. False where the
// file system keeps no such notes.
bool plat_file_stamp_note(FILE* f, const PlatFileStamp* stamp);
// The stamp noted with f; false (out zeroed) when none is, or it cannot be read.
bool plat_file_stamp_noted(FILE* f, PlatFileStamp* out);
