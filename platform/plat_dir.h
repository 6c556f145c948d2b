// plat_dir.h - listing a folder's entries with what each one is (symlinks followed),
// and making a folder with its parents.
// Threads: any.
// Depends on: the OS directory calls (opendir, readdir, stat, mkdir).
#pragma once

#include <cstdint>

// What tells one folder from another however it is reached (through links, or by
// another path): its device and inode.
struct PlatDirId {
    uint64_t device;
    uint64_t inode;
};

struct PlatDirEntry {
    const char* name;      // entry name without the folder, never "." or ".."
    bool is_dir;           // a folder, or a link to one
    bool is_file;          // a regular file, or a link to one
    PlatDirId id;          // of what the entry names, links followed; zero when unknown
};

// Called once per entry; return false to stop the listing.
typedef bool (*PlatDirVisit)(void* ctx, const PlatDirEntry* entry);

// Visits the entries of folder in byte order of their names. Entries that cannot be
// examined (dangling links, no permission) come with both kinds false. Returns false
// when the folder cannot be opened.
bool plat_dir_list(const char* folder, PlatDirVisit visit, void* ctx);

// The identity of the folder (links followed). False when it cannot be examined or is
// not a folder.
bool plat_dir_id(const char* folder, PlatDirId* out);

// Makes folder and any missing parents (mode 0755). True when folder is a folder
// afterwards (an existing one is fine); false when a part of the path is a file or
// cannot be made.
bool plat_dir_make(const char* folder);
