// rigsession_internal.h - the RigSession record and what its files share. No
// compatibility promise.
// Threads: UI thread.
// Depends on: rigsession.h, rigstore.h, router.h.
#pragma once
#include "rig/rigmix.h"
#include "rig/rigsession.h"
#include "rig/rigstore.h"
#include "rig/router.h"

enum { RIGSESSION_INFLIGHT = 8, RIGSESSION_MESSAGES = 32 };

struct RigInFlight {
    uint32_t job;
    RigEditMask mask;
};

struct RigSaveSlot {
    RigDocument* doc;
    char key[200];
    RigEditMask pending;
    RigInFlight inflight[RIGSESSION_INFLIGHT];
    int inflight_count;
    double first_edit, last_edit;
    uint8_t save_now;
    uint8_t retry_pending;
    double retry_at;
};

struct RigSession {
    char app[48];
    void (*log_fn)(void* ctx, const char* text);
    void* log_ctx;
    RigStore* store;
    RigRouter* router;
    RigDocument* scratch;
    double now, wall;
    uint8_t ticked;
    uint8_t bound;
    int32_t state;
    uint8_t flag;
    RigDeviceInfo device;
    uint32_t tag;
    RigSaveSlot slot;           // the bound device's
    RigSaveSlot background;     // a previous device's, still saving
    int32_t active_scene;
    double scene_at;
    uint32_t pending_load;
    double bind_time;
    uint8_t read_failing;
    int32_t retry_count;
    double next_retry;
    uint8_t on_defaults;
    uint8_t save_failed;
    char save_message[160];
    uint8_t fallback_seen;
    RigMix published;
    uint32_t published_tag;
    uint8_t has_published;
    RigMeters meters;
    uint8_t meters_valid;
    RigMeterView mview;
    float level_db[RIG_MAX_INPUTS], post_db[RIG_MAX_INPUTS], peak_db[RIG_MAX_INPUTS];
    double peak_time[RIG_MAX_INPUTS];
    float bus_db[2], bus_peak_db[2];
    double bus_peak_time[2];
    double last_meter_time;
    uint8_t meters_started;
    int32_t hot_input;
    int32_t hot_candidate;
    double hot_since, hot_gone_since;
    uint8_t mismatch, mismatch_logged;
    char other_writer[48];
    double other_writer_at;
    RigMessage messages[RIGSESSION_MESSAGES];
    int head, count;
};

void rigsession_log(RigSession* s, const char* format, ...) __attribute__((format(printf, 2, 3)));
void rigsession_post(RigSession* s, int kind, int a, int b, int c, const char* text);
void rigsession_publish_mix(RigSession* s, float ramp);
void rigsession_mark_edited(RigSession* s);
void rigsession_poll_store(RigSession* s);
void rigsession_submit_saves(RigSession* s, RigSaveSlot* slot, bool forced);
void rigsession_slot_free(RigSaveSlot* slot);
bool rigsession_slot_busy(const RigSaveSlot* slot);
void rigsession_update_device(RigSession* s);
void rigsession_update_meters(RigSession* s);
void rigsession_find_hot_input(RigSession* s);
void rigsession_reset_meters(RigSession* s);
void rigsession_retry_load(RigSession* s);
int rigsession_opened(const RigSession* s);
