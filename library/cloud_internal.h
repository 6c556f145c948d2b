// cloud_internal.h - the cloud client's record, shared by its source files only.
// Threads: see each group of fields.
#pragma once
#include <atomic>
#include <mutex>
#include <thread>

#include "library/cloud.h"
#include "platform/plat_net.h"

enum : int32_t {
    CLOUD_ZONE_NAME_SIZE = 40,
    CLOUD_OWNER_SIZE = 128,
    CLOUD_ZONE_LIST = 2 * CLOUD_MAX_ZONES,   // private and shared together
};

struct CloudZone {
    char name[CLOUD_ZONE_NAME_SIZE];
    char owner[CLOUD_OWNER_SIZE];
    uint8_t shared;
};

struct CloudClient {
    // Fixed at create.
    char container[96];
    char environment[16];
    char api_token[128];

    // Set by the UI before a job starts; read by the worker.
    char endpoint[256];
    char ca_file[512];
    uint16_t callback_port;
    long connect_ms;
    long stall_ms;

    // UI thread only: the line sign-in refusals and sign-out set, and the copies
    // handed out by cloud_status_text and cloud_user_text.
    char status[160];
    int32_t state;
    char status_out[160];
    char user_out[96];

    // The worker.
    std::thread thread;
    int32_t job_kind;
    std::atomic<uint32_t> busy;
    std::atomic<uint32_t> cancel;
    PlatSocket listener;                 // the worker's own; nothing else touches it
    std::atomic<uint16_t> bound_port;    // the listener's port while it listens

    // Under lock.
    std::mutex lock;
    char web_auth_token[CLOUD_TOKEN_SIZE];
    char user_record[128];
    CloudZone zones[CLOUD_ZONE_LIST];
    int32_t zone_count;
    CloudRecord* records;                // CLOUD_MAX_RECORDS entries
    int32_t record_count;
    char outcome[160];
    char worker_status[96];
    float worker_progress;
    uint8_t done;
    uint8_t ok;
    uint8_t zones_read;
};

// Bounded copy of a UTF-8 text, cut at a whole character.
void cloud_copy_text(char* dst, size_t size, const char* src);
// What sign-out leaves on the status line: "SIGN IN", or "NO API TOKEN".
const char* cloud_idle_text(const CloudClient* c);
// Appends a record unless the list is full or a sign-out cancelled the job. [worker]
bool cloud_add_record(CloudClient* c, const CloudRecord* r);
// Waits on the listener for the browser's callback and takes the web-auth token.
// False when cancelled first. [worker]
bool cloud_callback_serve(CloudClient* c, char* token, size_t size);
