// cloud.h - the cloud database client: browser sign-in through a callback to a local
// listener, then the zones of the private and shared databases and their records,
// read page by page on one worker thread at a time.
// Threads: everything on the UI thread except the functions marked [worker], which
//          the worker calls. The worker writes its outcome, status, token, user and
//          lists under the client's lock; the UI reads them through the copying
//          accessors below. busy and cancel are atomic flags.
// Depends on: rig/json_read.h, rig/json_write.h, platform/plat_http.h,
//             platform/plat_net.h, platform/plat_file.h, platform/plat_open.h,
//             user_stores.h (the roaming folder).
//
// No part of the program makes a client: the library's cloud source stays empty.
#pragma once
#include <cstddef>
#include <cstdint>

enum : int32_t {
    CLOUD_MAX_ZONES = 32,         // per database
    CLOUD_MAX_RECORDS = 4096,
    CLOUD_MAX_PAGES = 200,        // per zone
    CLOUD_PAGE_RECORDS = 200,     // resultsLimit of each page
    CLOUD_TOKEN_SIZE = 1400,      // a web-auth token of up to 1399 bytes
    CLOUD_DEFAULT_CALLBACK_PORT = 47555,
};

enum : int32_t {
    CLOUD_JOB_SIGN_IN = 1,
    CLOUD_JOB_REFRESH = 3,
};

enum : int32_t {
    CLOUD_STATE_NO_API_TOKEN = 0,
    CLOUD_STATE_READY = 1,        // can sign in
    CLOUD_STATE_BUSY = 2,         // a job runs
    CLOUD_STATE_SIGNED_IN = 3,    // the last job ended well and a web-auth token is held
};

struct CloudRecord {
    char zone[40];
    uint8_t shared;               // from the shared database
    char record_name[128];
    char record_type[48];
    char display_name[96];
    double modified;              // modified.timestamp as the service gives it
    int64_t asset_size;
    char asset_url[600];          // the asset's downloadURL
};

struct CloudClient;
typedef void (*CloudWorker)(CloudClient* c);

// State 0 "NO API TOKEN" without an API token, else 1 "SIGN IN". Null when out of
// memory. The session file "cloud-session.ini" lies in the roaming folder
// (folders_roaming_path).
CloudClient* cloud_create(const char* container, const char* environment, const char* api_token);
// Cancels the running job, waits for its worker and frees. Null is accepted.
void cloud_destroy(CloudClient* c);

// The service's address, "https://host[:port]" alone; anything else is refused
// (false). Without one every request fails with "NO CONNECTION (0)".
bool cloud_set_endpoint(CloudClient* c, const char* base_url);
// Seams for tests. Defaults: the system's certificate store; port 47555 (0: any,
// read back through cloud_callback_port); connect 20 s and a 60 s stall limit.
void cloud_set_ca_file(CloudClient* c, const char* path);
void cloud_set_callback_port(CloudClient* c, uint16_t port);
void cloud_set_timeouts(CloudClient* c, long connect_ms, long stall_ms);
uint16_t cloud_callback_port(CloudClient* c);   // the listener's port while it listens, else 0

// Starts the sign-in job; without an API token sets "NO API TOKEN" and state 0
// instead. False when no job started.
bool cloud_sign_in(CloudClient* c);
// Starts the refresh job when both tokens are present. False when no job started.
bool cloud_refresh(CloudClient* c);
// Cancels the job, forgets the web-auth token, the user and the lists, and rewrites
// the session file empty.
void cloud_sign_out(CloudClient* c);

bool cloud_is_busy(CloudClient* c);
float cloud_progress(CloudClient* c);            // -1: none
int32_t cloud_state(CloudClient* c);
// The status and user lines; valid until the next call of the same function.
const char* cloud_status_text(CloudClient* c);
const char* cloud_user_text(CloudClient* c);

// Lists, copied out under the lock.
int32_t cloud_zone_count(CloudClient* c);
bool cloud_zone_name(CloudClient* c, int32_t i, char* out, size_t size);
int32_t cloud_record_count(CloudClient* c);
bool cloud_record_at(CloudClient* c, int32_t i, CloudRecord* out);

// Takes the busy flag and starts worker(c) as job kind; false when a job runs or the
// thread cannot start.
bool cloud_start_job(CloudClient* c, int32_t kind, CloudWorker worker);
// The job kinds' workers.
void cloud_sign_in_thread(CloudClient* c);       // [worker]
void cloud_refresh_thread(CloudClient* c);       // [worker]
// Ends the job: ok flag, outcome, worker status and progress cleared, done. [worker]
void cloud_post_result(CloudClient* c, bool ok, const char* message);
// Shown while the job runs. [worker]
void cloud_set_worker_status(CloudClient* c, const char* text);

// One request to the service at path (from cloud_format_path). Returns the HTTP
// status with *out_body (NUL-terminated, free with free()) and *out_len set, or 0
// with the failure in err. [worker]
int cloud_http_request(CloudClient* c, const char* method, const char* path, const char* body,
                       char** out_body, size_t* out_len, char* err, size_t err_size);
// "/database/1/<container>/<environment>/<database>/<operation>?ckAPIToken=..." with
// "&ckWebAuthToken=..." when asked and a token is held. False when it did not fit.
bool cloud_format_path(CloudClient* c, const char* database, const char* operation, bool with_token,
                       char* out, size_t size);
// Percent-encoding of every byte but A-Z a-z 0-9 - . _ ~, upper-case hex, only whole
// escapes within size - 1. Returns the length the whole text needs.
size_t cloud_url_encode(const char* text, char* out, size_t size);
// "HTTP <status>  <CODE>: <REASON>" from a JSON error body, else "HTTP <status>", in
// capitals. True when the body named a code or a reason.
bool cloud_error_text(const char* body, size_t len, int status, char* out, size_t size);
// The text of a failed transfer (a PlatHttpFailure and the library's code).
void cloud_transfer_error_text(int failure, long code, char* out, size_t size);
