// cloud.cpp - the cloud client's life: creation, settings, jobs, sign-out, and the
// lines and lists the UI reads.
#include "library/cloud_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "library/user_stores.h"
#include "platform/plat_file.h"
#include "platform/plat_http.h"
#include "rig/rig_device.h"

static const char* const SESSION_FILE = "cloud-session.ini";

void cloud_copy_text(char* dst, size_t size, const char* src)
{
    if (!dst || size == 0)
        return;
    rig_utf8_copy(dst, (int)(size > 0x7fffffff ? 0x7fffffff : size), src ? src : "");
}

const char* cloud_idle_text(const CloudClient* c)
{
    return c->api_token[0] ? "SIGN IN" : "NO API TOKEN";
}

// ---- Life -------------------------------------------------------------------------

CloudClient* cloud_create(const char* container, const char* environment, const char* api_token)
{
    plat_http_global_init();
    CloudClient* c = new (std::nothrow) CloudClient();
    if (!c)
        return nullptr;
    c->records = (CloudRecord*)std::calloc(CLOUD_MAX_RECORDS, sizeof(CloudRecord));
    if (!c->records) {
        delete c;
        return nullptr;
    }
    cloud_copy_text(c->container, sizeof c->container, container);
    cloud_copy_text(c->environment, sizeof c->environment, environment);
    cloud_copy_text(c->api_token, sizeof c->api_token, api_token);
    c->callback_port = CLOUD_DEFAULT_CALLBACK_PORT;
    c->connect_ms = 20000;
    c->stall_ms = 60000;
    c->listener = PLAT_SOCKET_INVALID;
    c->state = c->api_token[0] ? CLOUD_STATE_READY : CLOUD_STATE_NO_API_TOKEN;
    cloud_copy_text(c->status, sizeof c->status, cloud_idle_text(c));
    c->worker_progress = -1.0f;
    return c;
}

void cloud_destroy(CloudClient* c)
{
    if (!c)
        return;
    c->cancel.store(1, std::memory_order_release);
    if (c->thread.joinable())
        c->thread.join();
    std::free(c->records);
    delete c;
}

bool cloud_set_endpoint(CloudClient* c, const char* base_url)
{
    if (!c || !base_url || std::strncmp(base_url, "https://", 8) != 0 || !base_url[8])
        return false;
    size_t n = std::strlen(base_url);
    while (n > 8 && base_url[n - 1] == '/')
        n--;
    if (n >= sizeof c->endpoint)
        return false;
    std::memcpy(c->endpoint, base_url, n);
    c->endpoint[n] = '\0';
    return true;
}

void cloud_set_ca_file(CloudClient* c, const char* path)
{
    if (c)
        std::snprintf(c->ca_file, sizeof c->ca_file, "%s", path ? path : "");
}

void cloud_set_callback_port(CloudClient* c, uint16_t port)
{
    if (c)
        c->callback_port = port;
}

void cloud_set_timeouts(CloudClient* c, long connect_ms, long stall_ms)
{
    if (!c)
        return;
    c->connect_ms = connect_ms > 0 ? connect_ms : 20000;
    c->stall_ms = stall_ms > 0 ? stall_ms : 60000;
}

uint16_t cloud_callback_port(CloudClient* c)
{
    return c ? c->bound_port.load(std::memory_order_acquire) : 0;
}

// ---- Jobs -------------------------------------------------------------------------

bool cloud_start_job(CloudClient* c, int32_t kind, CloudWorker worker)
{
    uint32_t idle = 0;
    if (!c || !worker || !c->busy.compare_exchange_strong(idle, 1, std::memory_order_acq_rel))
        return false;
    if (c->thread.joinable())
        c->thread.join();
    c->cancel.store(0, std::memory_order_release);
    c->job_kind = kind;
    {
        std::lock_guard<std::mutex> hold(c->lock);
        c->done = 0;
        c->ok = 0;
        c->zones_read = 0;
        c->outcome[0] = '\0';
        c->worker_status[0] = '\0';
    }
    try {
        c->thread = std::thread(worker, c);
    } catch (...) {
        c->busy.store(0, std::memory_order_release);
        return false;
    }
    return true;
}

void cloud_post_result(CloudClient* c, bool ok, const char* message)
{
    {
        std::lock_guard<std::mutex> hold(c->lock);
        c->ok = ok ? 1 : 0;
        cloud_copy_text(c->outcome, sizeof c->outcome, message);
        c->worker_status[0] = '\0';
        c->worker_progress = -1.0f;
        c->done = 1;
    }
    c->busy.store(0, std::memory_order_release);
}

void cloud_set_worker_status(CloudClient* c, const char* text)
{
    std::lock_guard<std::mutex> hold(c->lock);
    cloud_copy_text(c->worker_status, sizeof c->worker_status, text);
}

bool cloud_add_record(CloudClient* c, const CloudRecord* r)
{
    std::lock_guard<std::mutex> hold(c->lock);
    if (c->cancel.load(std::memory_order_acquire) || c->record_count >= CLOUD_MAX_RECORDS)
        return false;
    c->records[c->record_count++] = *r;
    return true;
}

bool cloud_sign_in(CloudClient* c)
{
    if (!c)
        return false;
    if (!c->api_token[0]) {
        std::lock_guard<std::mutex> hold(c->lock);
        c->done = 0;
        c->state = CLOUD_STATE_NO_API_TOKEN;
        cloud_copy_text(c->status, sizeof c->status, "NO API TOKEN");
        return false;
    }
    return cloud_start_job(c, CLOUD_JOB_SIGN_IN, cloud_sign_in_thread);
}

bool cloud_refresh(CloudClient* c)
{
    if (!c || !c->api_token[0])
        return false;
    {
        std::lock_guard<std::mutex> hold(c->lock);
        if (!c->web_auth_token[0])
            return false;
    }
    return cloud_start_job(c, CLOUD_JOB_REFRESH, cloud_refresh_thread);
}

static bool write_empty_session(void* ctx, FILE* f)
{
    return std::fputs("token=\nuser=\n", f) >= 0;
}

// The worker is left alone: it sees cancel, closes its own listener and ends; what it
// appends after this is refused by cloud_add_record and the token store.
void cloud_sign_out(CloudClient* c)
{
    if (!c)
        return;
    c->cancel.store(1, std::memory_order_release);
    {
        std::lock_guard<std::mutex> hold(c->lock);
        std::memset(c->web_auth_token, 0, sizeof c->web_auth_token);
        c->user_record[0] = '\0';
        c->zone_count = 0;
        c->record_count = 0;
        c->zones_read = 0;
        if (!c->busy.load(std::memory_order_acquire))
            c->done = 0;
        c->state = c->api_token[0] ? CLOUD_STATE_READY : CLOUD_STATE_NO_API_TOKEN;
        cloud_copy_text(c->status, sizeof c->status, cloud_idle_text(c));
    }
    char path[600];
    folders_roaming_path(SESSION_FILE, path, sizeof path);
    if (!plat_file_write_replacing(path, write_empty_session, nullptr))
        std::fprintf(stderr, "cloud: can't write %s\n", path);
}

// ---- What the UI reads ------------------------------------------------------------

bool cloud_is_busy(CloudClient* c)
{
    return c && c->busy.load(std::memory_order_acquire) != 0;
}

float cloud_progress(CloudClient* c)
{
    if (!c)
        return -1.0f;
    std::lock_guard<std::mutex> hold(c->lock);
    return c->worker_progress;
}

// The state and line together: the worker's while it runs, then its outcome, else
// what the UI itself set last. Caller holds the lock.
static int32_t read_state(CloudClient* c, const char** line)
{
    if (c->busy.load(std::memory_order_acquire)) {
        *line = c->worker_status[0] ? c->worker_status : "SIGNING IN...";
        return CLOUD_STATE_BUSY;
    }
    if (c->done) {
        *line = c->outcome;
        if (!c->api_token[0])
            return CLOUD_STATE_NO_API_TOKEN;
        return c->ok && c->web_auth_token[0] ? CLOUD_STATE_SIGNED_IN : CLOUD_STATE_READY;
    }
    *line = c->status;
    return c->state;
}

int32_t cloud_state(CloudClient* c)
{
    if (!c)
        return CLOUD_STATE_NO_API_TOKEN;
    const char* line;
    std::lock_guard<std::mutex> hold(c->lock);
    return read_state(c, &line);
}

const char* cloud_status_text(CloudClient* c)
{
    if (!c)
        return "";
    const char* line;
    std::lock_guard<std::mutex> hold(c->lock);
    read_state(c, &line);
    cloud_copy_text(c->status_out, sizeof c->status_out, line);
    return c->status_out;
}

const char* cloud_user_text(CloudClient* c)
{
    if (!c)
        return "";
    std::lock_guard<std::mutex> hold(c->lock);
    cloud_copy_text(c->user_out, sizeof c->user_out, c->user_record);
    return c->user_out;
}

int32_t cloud_zone_count(CloudClient* c)
{
    if (!c)
        return 0;
    std::lock_guard<std::mutex> hold(c->lock);
    return c->zone_count;
}

bool cloud_zone_name(CloudClient* c, int32_t i, char* out, size_t size)
{
    if (!c || !out || size == 0)
        return false;
    std::lock_guard<std::mutex> hold(c->lock);
    if (i < 0 || i >= c->zone_count) {
        out[0] = '\0';
        return false;
    }
    cloud_copy_text(out, size, c->zones[i].name);
    return true;
}

int32_t cloud_record_count(CloudClient* c)
{
    if (!c)
        return 0;
    std::lock_guard<std::mutex> hold(c->lock);
    return c->record_count;
}

bool cloud_record_at(CloudClient* c, int32_t i, CloudRecord* out)
{
    if (!c || !out)
        return false;
    std::lock_guard<std::mutex> hold(c->lock);
    if (i < 0 || i >= c->record_count)
        return false;
    *out = c->records[i];
    return true;
}
