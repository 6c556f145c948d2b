// rigstore_internal.h - the RigStore record and the helpers its files share. No
// compatibility promise.
// Threads: as rigstore.h; fields under "worker only" belong to the worker thread.
// Depends on: rigstore.h, platform/plat_file.h, platform/plat_dir_watch.h.
#pragma once
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/plat_file.h"
#include "rig/rigstore.h"

struct PlatDirWatch;

enum {
    RIGSTORE_MAX_REQUESTERS = 32,
    RIGSTORE_TRACKED = 8,
    RIGSTORE_READ_ONLY_KEYS = 8,
    RIGSTORE_LOCK_WAIT_MS = 2000,
};

struct RigStoreJob {
    RigStoreJob* next;
    int kind;                               // 1 load, 2 save
    uint32_t ids[RIGSTORE_MAX_REQUESTERS];
    int count;
    char key[200];
    RigDocument* doc;                       // owned
    RigEditMask mask;
    double queued_at;
};

struct RigStoreResultNode {
    RigStoreResultNode* next;
    RigStoreResult r;
};

struct RigTrack {
    uint8_t in_use;
    char key[200];
    uint8_t loaded;
    int64_t rev;
    char instance[17];
    PlatFileIdentity identity;
    uint8_t ignored_change;
    uint32_t stamp;
};

struct RigStore {
    char folder[520];
    char lock_folder[520];                  // the folder's parent: ".locks" lives there
    char app[48];
    char version[24];
    char instance[17];
    void (*log_fn)(void* ctx, const char* text);
    void* log_ctx;
    double (*clock_fn)(void* ctx);
    void* clock_ctx;
    int poll_ms;
    uint8_t no_watch;
    double start_time;
    void (*hook)(void* ctx, const char* temp_path);
    void* hook_ctx;

    std::mutex lock;
    std::condition_variable cv;
    RigStoreJob* first;
    RigStoreJob* last;
    RigStoreJob* running;
    bool starting;
    RigStoreResultNode* results_first;
    RigStoreResultNode* results_last;
    uint32_t next_id;
    char watched[200];
    uint32_t watch_gen;
    char read_only[RIGSTORE_READ_ONLY_KEYS][200];
    int read_only_count;
    bool stop, stopped, detached;

    PlatDirWatch* watcher;                  // also the wake
    std::thread thread;

    // worker only
    RigTrack tracks[RIGSTORE_TRACKED];
    uint32_t stamp;
    char w_watched[200];
    uint32_t w_gen;
    char* enc;
    uint64_t enc_cap;
};

// rigstore_jobs.cpp
void rigstore_run_load(RigStore* s, RigStoreJob* job);
void rigstore_run_save(RigStore* s, RigStoreJob* job);
void rigstore_reload_changed(RigStore* s, bool changed);
void rigstore_remove_strays(RigStore* s);
bool rigstore_ensure_folder(RigStore* s, int* err);
// rigstore.cpp
void rigstore_post(RigStore* s, const RigStoreResult* r);   // copies the record; owns r->doc from now
bool rigstore_key_read_only_locked(RigStore* s, const char* key);
void rigstore_set_read_only_locked(RigStore* s, const char* key, bool flag);
void rigstore_free(RigStore* s);
void rigstore_thread_main(RigStore* s);
