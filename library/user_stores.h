// user_stores.h - the program-wide stores of the BROWSE source: the data folder, the
// favourite folders ("favs.ini") and the colour tags of files and folders
// ("tags.ini"), shared by every running copy of the program.
// Threads: UI thread only.
// Depends on: library_store.h, platform/plat_file.h, platform/plat_file_stamp.h,
//             platform/plat_named_lock.h, platform/plat_folders.h, platform/plat_time.h.
//
// Each change takes the file's named lock ("TideCoil.favs", "TideCoil.tags"), reads
// the file again, applies itself as an intent (add, remove or move this path; set this
// tag) and writes the file through a temporary name, so edits of two copies made at
// the same time both survive. A lock not had within 2 s: the write goes ahead and one
// line is logged. Paths compare byte for byte; a path holding a line feed or a
// carriage return is never written (the file would gain lines), and one longer than
// FOLDERS_PATH - 1 bytes is refused, never cut.
#pragma once
#include <cstddef>
#include <cstdint>

enum {
    FOLDERS_PATH = 520,               // bytes of a stored path with its NUL
    FAVS_MAX = 64,
    TAGS_MAX = 2048,
};
static const int64_t FOLDERS_READ_LIMIT = 4194304;   // larger files are not read

// The data folder (set up on the first call of anything here: the folder is made,
// then both stores are loaded): "<config folder>/TideCoil", or "." without one.
const char* folders_data_path(void);
// "<config folder>/TideCoil/<name>" in out (the "TideCoil" folder is made first): the
// roaming folder, which neither portable mode nor folders_use_data_path moves; the
// name alone when that folder cannot be had or the path does not fit.
void folders_roaming_path(const char* name, char* out, size_t size);
// The data folder to use from now on, both stores reloaded: the shell hands over the
// folder it settled (beside the program in portable mode); tests pass their own.
void folders_use_data_path(const char* folder);
// Tests: the clock of the 500 ms poll (null: the monotonic clock).
void folders_set_clock(uint64_t (*now_ms)(void));
// The whole file as a NUL-terminated copy (the caller frees it), or null when it
// cannot be opened, is not a regular file, is larger than FOLDERS_READ_LIMIT or cannot
// be read whole.
char* folders_read_file(const char* path);
// Looks at both files no more than every 500 ms and reloads what another copy
// changed (the program's own writes are known by their stamps). True when a file was
// reloaded.
bool folders_poll(void);
// Raised on every save and every reload.
uint32_t folders_change_counter(void);
// True when path may be stored: not empty, fits, holds no line feed or carriage return.
bool folders_path_storable(const char* path);

// Favourites.
int32_t favs_count(void);
const char* favs_path(int32_t n);                 // null outside 0..count - 1
int32_t favs_index_of(const char* path);          // -1 also for an empty path
bool favs_from_file(void);
// True while favs.ini exists but cannot be read: changes are refused, not written.
bool favs_refused(void);
// True when the path is a favourite afterwards: a present one is removed, else it is
// appended when fewer than FAVS_MAX are kept.
bool favs_toggle(const char* path);
bool favs_move(int32_t a, int32_t b);             // a to position b; false when nothing moved
bool favs_set_all(const char* const* paths, int32_t n);
void favs_load(void);
void favs_default_roots(void);                    // seeds the list in memory

// Tags.
int32_t tags_get(const char* path);               // 1..9, 0 none
int32_t tags_find(const char* path);              // entry index or -1
int32_t tags_count(void);
// tag 0 removes the entry (the last one moves into its place). False when nothing
// changed or the change was refused.
bool tags_set(const char* path, int32_t tag);
void tags_load(void);
