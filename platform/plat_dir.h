// plat_dir.h - listing a folder's entries with what each one is (symlinks followed).
// Threads: any.
// Depends on: the OS directory calls (opendir, readdir, stat).
#pragma once

struct PlatDirEntry {
    const char* name;      // entry name without the folder, never "." or ".."
    bool is_dir;           // a folder, or a link to one
    bool is_file;          // a regular file, or a link to one
};

// Called once per entry; return false to stop the listing.
typedef bool (*PlatDirVisit)(void* ctx, const PlatDirEntry* entry);

// Visits the entries of folder in byte order of their names. Entries that cannot be
// examined (dangling links, no permission) come with both kinds false. Returns false
// when the folder cannot be opened.
bool plat_dir_list(const char* folder, PlatDirVisit visit, void* ctx);
