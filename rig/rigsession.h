// rigsession.h - RigSession: the rig of the audio interface open now. It loads the
// device's rig through the store, keeps the document the user edits, publishes the
// active scene's mix to the router, saves edits in the background after a short
// pause, merges other running copies' changes (unsaved local fields win), runs on
// fresh defaults while the file cannot be read, and reports what happened as messages.
// Threads: UI thread only. The store's worker and the audio thread are reached through
//          the store's job and result lists and the router's publications and meters.
// Depends on: rigdoc.h, rigmix.h, router.h, rigstore.h.
#pragma once
#include <cstdint>

#include "rig/rig_device.h"
#include "rig/rigdoc.h"

struct RigSession;
struct RigRouter;
struct RigStore;

struct RigSessionConfig {
    const char* app;
    const char* version;
    const char* folder;                          // the rigs folder; empty: the store's default
    void (*log)(void* ctx, const char* text);
    void* log_ctx;
    double (*clock)(void* ctx);
    void* clock_ctx;
};

enum RigMessageKind {
    RIGMSG_USABLE = 1,          // a: file created or replaced, b: the router had fallen back
    RIGMSG_SCENE = 2,           // a: scene, b: this user switched, c: the mix changed
    RIGMSG_OTHER_WRITER = 3,    // text: the other writer's app
    RIGMSG_SAVE_FAILED = 4,     // text: the store's message
    RIGMSG_SAVED_AGAIN = 5,
    RIGMSG_DAMAGED = 6,         // text: the name the damaged file was kept under
    RIGMSG_READ_ONLY = 7,
    RIGMSG_MORE_INPUTS = 8,     // a: the new count
};

struct RigMessage {
    int32_t kind;
    int32_t a, b, c;
    char text[520];
};

enum RigLoadState { RIG_STATE_NONE = 0, RIG_STATE_LOADING = 1, RIG_STATE_READY = 2, RIG_STATE_READ_ONLY = 3 };

struct RigInputView {
    int32_t state;              // 0 unbound, else RigLoadState
    uint8_t running;
    char key[200];
    char device_name[128];
    char api[16];
    int32_t channels;
    int32_t inputs_on_device;
    int32_t inputs_opened;
    double sample_rate;
    int32_t active_scene;
    int32_t live_count;
    uint8_t no_live_input;
    int64_t rev;
    int32_t hot_input;          // -1 none
    uint8_t store_busy;
    uint8_t fallback;
    uint8_t on_defaults;
    uint8_t mismatch;
    uint8_t save_failed;
    char save_message[160];     // capitals
    char other_writer[48];
    double other_writer_at;     // session seconds; -1 none
    uint8_t silent;
    uint8_t save_pending;       // edits waiting or saves in flight
};

struct RigMeterView {
    int32_t channels;
    float level[RIG_MAX_INPUTS];        // fader positions
    float post[RIG_MAX_INPUTS];
    float peak[RIG_MAX_INPUTS];
    uint8_t clip[RIG_MAX_INPUTS];
    uint8_t bad[RIG_MAX_INPUTS];
    float bus[4];                       // left, right, left peak, right peak
    uint8_t bus_clip;
    float raw_peak;
    uint8_t silent;
};

RigSession* rigsession_create(const RigSessionConfig* config);
void rigsession_destroy(RigSession* s);
void rigsession_bind(RigSession* s, const RigDeviceInfo* device);
void rigsession_unbind(RigSession* s);
// t: monotonic seconds; w: wall-clock seconds since 2001-01-01 (not finite or not
// above 0: the system's).
void rigsession_tick(RigSession* s, double t, double w);
bool rigsession_next_message(RigSession* s, RigMessage* out);
bool rigsession_flush(RigSession* s, int wait_ms);    // true when nothing is left unsaved
RigRouter* rigsession_router(RigSession* s);
RigStore* rigsession_store(RigSession* s);
const RigDocument* rigsession_current_doc(RigSession* s);
void rigsession_set_flag(RigSession* s, uint8_t flag);

void rigsession_input_view(RigSession* s, RigInputView* out);
void rigsession_meter_view(RigSession* s, RigMeterView* out);
const char* rigsession_input_label(RigSession* s, int input);
void rigsession_clear_latches(RigSession* s, int input);   // negative: every input and the bus

int rigsession_lead_input(RigSession* s, int input);
void rigsession_set_input_gain(RigSession* s, int input, float gain);
void rigsession_nudge_input_gain(RigSession* s, int input, float step_db);
void rigsession_set_pan(RigSession* s, int input, float pan);
void rigsession_set_muted(RigSession* s, int input, bool muted);
void rigsession_set_link(RigSession* s, int even_input, bool link);
void rigsession_set_master_gain(RigSession* s, float gain);
void rigsession_nudge_master_gain(RigSession* s, float step_db);
void rigsession_set_glyph(RigSession* s, int scene, const char* text);
void rigsession_switch_scene(RigSession* s, int scene);
void rigsession_copy_scene(RigSession* s, int from, int to);
