// rigstore.h - RigStore: the rig files, one JSON file per audio interface in the rigs
// folder, kept safe while several running copies read and write them. One worker
// thread does all file work: loads, saves (read-modify-write under the rig's named
// lock, through a temporary file renamed over the target), setting damaged files
// aside, refusing files of a newer format, and watching the folder so that another
// copy's change reaches the rig session as a result.
// Threads: every function but rigstore_now / rigstore_log: the owner's thread (the UI
//          thread). The worker is reached only through the job and result lists.
// Depends on: rigdoc.h, platform/plat_named_lock.h, platform/plat_file.h,
//             platform/plat_dir_watch.h.
//
// Callbacks (log, clock) run on the worker thread too. A store closed while its worker
// is still busy is detached: it finishes on its own and frees itself, and from that
// moment it uses built-in callbacks (stderr lines, the monotonic clock) instead of the
// owner's, whose context may already be gone.
#pragma once
#include <cstdint>

#include "rig/rigdoc.h"

struct RigStore;

struct RigStoreConfig {
    const char* folder;          // the rigs folder; null or empty: rigstore_folder_path's default
    const char* app;             // writer app; null: "app"
    const char* version;         // writer version; null: empty
    void (*log)(void* ctx, const char* text);
    void* log_ctx;
    int32_t poll_ms;             // periodic check; below 1: 1000
    double (*clock)(void* ctx);  // seconds for ages and elapsed times; null: monotonic
    void* clock_ctx;
    uint8_t no_watch;            // 1: no change notification, periodic checks only
};

enum RigStoreStatus : uint32_t {
    RIGSTORE_LOADED = 1,
    RIGSTORE_LOAD_FAILED = 2,
    RIGSTORE_RECREATED = 3,      // a damaged file was set aside and a fresh one written
    RIGSTORE_SAVED = 4,
    RIGSTORE_SAVE_FAILED = 5,
    RIGSTORE_CHANGED = 6,        // another writer changed the watched file
};

struct RigStoreResult {
    uint32_t status;             // RigStoreStatus
    uint32_t job;                // the job id answered (0 for a change)
    char key[200];
    RigDocument* doc;            // owned by the taker; may be null
    int32_t decode;              // RIG_DECODE_* of the file read
    uint8_t created;
    int64_t rev;
    char author[48];             // status 6: the writer app
    char kept_as[520];           // status 3: the name the damaged file was kept under
    char message[160];
    double elapsed_ms;
    double lock_wait_ms;         // time spent waiting for the rig's lock
};

// The rigs folder: with use_base, base (trailing '/' removed) + "/rigs"; otherwise
// "<configuration folder>/TideCoil/rigs". 0, or -1 (out empty) when the folder cannot
// be formed or does not fit.
int rigstore_folder_path(bool use_base, const char* base, char* out, int size);

RigStore* rigstore_open(const RigStoreConfig* config);    // null on failure
// Stops the worker, waiting up to wait_ms; a worker still busy then finishes in the
// background (the store is detached). Null is fine.
void rigstore_close(RigStore* s, int wait_ms);

// Job ids, 0 when refused. A load without a seed writes a fresh document when the file
// is missing; a save is refused for a read-only document or key.
uint32_t rigstore_submit_load(RigStore* s, const char* key, const RigDocument* seed);
uint32_t rigstore_submit_save(RigStore* s, const RigDocument* doc, const RigEditMask* mask);
void rigstore_watch(RigStore* s, const char* key);         // null or empty: none
bool rigstore_take_result(RigStore* s, RigStoreResult* out);
void rigstore_result_free(RigStoreResult* r);
bool rigstore_wait_idle(RigStore* s, int wait_ms);         // true when nothing is queued or running
bool rigstore_pending_age(RigStore* s, double* seconds);
bool rigstore_is_read_only(RigStore* s, const char* key);
void rigstore_set_read_only(RigStore* s, const char* key, bool flag);
double rigstore_now(RigStore* s);
void rigstore_log(RigStore* s, const char* format, ...) __attribute__((format(printf, 2, 3)));
const char* rigstore_folder(const RigStore* s);

// The rig's lock name for a file name ("TideCoil.rig.<name less .json>").
void rigstore_lock_name(const char* file_name, char* out, int size);

// Test hook: runs on the worker between the finished temporary file and its rename.
void rigstore_set_test_hook(RigStore* s, void (*hook)(void* ctx, const char* temp_path), void* ctx);

// Wall-clock seconds since 2001-01-01 00:00 UTC.
double rig_wall_clock(void);
