// kit_prefs.h - the preferences store: a small key=value table kept in "vividkit.ini"
// in the data folder, shared by every running copy of the program. Every write runs
// under a named lock, starts from the file's current content (what another copy wrote
// survives) and replaces the file whole; every read rereads the file.
// Threads: UI thread only (the table is static).
// Depends on: library/user_stores.h (the data folder), app/kit_training.h (version compare),
//             platform/plat_named_lock.h, platform/plat_file.h, platform/plat_dir.h.
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int32_t KIT_PREFS_MAX = 256;
constexpr int32_t KIT_PREFS_KEY = 96;       // a key is at most 95 bytes
constexpr int32_t KIT_PREFS_VALUE = 4096;   // a value is at most 4,095 bytes
constexpr int32_t KIT_PREFS_LINE = 4199;    // longer lines are dropped whole
constexpr int32_t KIT_PREFS_LOCK_MS = 2000;

struct KitPrefsEntry {
    char key[KIT_PREFS_KEY];
    char value[KIT_PREFS_VALUE];
};

struct KitPrefs {
    KitPrefsEntry entries[KIT_PREFS_MAX];
    int32_t count;
};

// The name of the lock every copy takes around a write.
extern const char kKitPrefsLockName[];

const KitPrefs* kit_prefs_table(void);
// Rereads the file into the table; a missing or unreadable file (a folder, a FIFO, a
// device) reads as empty without blocking.
void kit_prefs_load(void);
int32_t kit_prefs_find(const char* key);   // index or -1
// Rereads, then copies key's value, or def (null: empty) without it, into out (cut).
void kit_prefs_get(const char* key, const char* def, char* out, size_t out_size);
// Sets key to value: 1 on success, 0 on a refused key or value, a lock not had within
// 2 s, a full table or a failed write (the file and the table are then as before).
int kit_prefs_put(const char* key, const char* value);
// As put, but a stored value that is not older than value by version comparison is
// kept, with the result 1.
int kit_prefs_put_newer(const char* key, const char* value);
// "<data folder>/vividkit.ini" with suffix appended (may be null); false when it does
// not fit. Always terminated.
bool kit_prefs_path(char* out, size_t out_size, const char* suffix);
