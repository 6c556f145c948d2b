// rigstore.cpp - opening and closing the store, job submission, results, read-only
// keys, the clock and the log.
#include "rig/rigstore.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "platform/plat_dir_watch.h"
#include "platform/plat_folders.h"
#include "platform/plat_random.h"
#include "platform/plat_time.h"
#include "rig/rigstore_internal.h"

static std::atomic<int> g_seeded{0};

double rig_wall_clock(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return (double)ts.tv_sec + ts.tv_nsec / 1e9 - 978307200.0;
}

static void copy_text(char* dst, int size, const char* src)
{
    rig_utf8_copy(dst, size, src ? src : "");
}

int rigstore_folder_path(bool use_base, const char* base, char* out, int size)
{
    if (!out || size < 1)
        return -1;
    out[0] = '\0';
    char root[600 + 16];
    if (use_base) {
        if (!base || !base[0])
            return -1;
        snprintf(root, sizeof root, "%s", base);
    } else {
        char config[560];
        if (plat_config_folder(config, sizeof config) != PLAT_PATH_OK || !config[0])
            return -1;
        snprintf(root, sizeof root, "%s/TideCoil", config);
    }
    size_t n = strlen(root);
    while (n > 1 && root[n - 1] == '/')
        root[--n] = '\0';
    int w = snprintf(out, (size_t)size, "%s/rigs", root);
    if (w < 0 || w >= size) {
        out[0] = '\0';
        return -1;
    }
    return 0;
}

void rigstore_lock_name(const char* file_name, char* out, int size)
{
    const char* f = file_name ? file_name : "";
    int len = (int)strlen(f);
    if (len >= 5 && strcmp(f + len - 5, ".json") == 0)
        len -= 5;
    snprintf(out, (size_t)size, "TideCoil.rig.%.*s", len, f);
}

double rigstore_now(RigStore* s)
{
    if (s) {
        double (*fn)(void*);
        void* ctx;
        {
            std::lock_guard<std::mutex> g(s->lock);
            fn = s->clock_fn;
            ctx = s->clock_ctx;
        }
        if (fn)
            return fn(ctx);
    }
    return plat_time_seconds();
}

static void log_stderr(void*, const char* text)
{
    fprintf(stderr, "%s\n", text);
}

void rigstore_log(RigStore* s, const char* format, ...)
{
    if (!s)
        return;
    char buf[400];
    va_list ap;
    va_start(ap, format);
    vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    void (*fn)(void*, const char*);
    void* ctx;
    {
        std::lock_guard<std::mutex> g(s->lock);
        fn = s->log_fn;
        ctx = s->log_ctx;
    }
    if (fn)
        fn(ctx, buf);
}

const char* rigstore_folder(const RigStore* s)
{
    return s ? s->folder : "";
}

void rigstore_set_test_hook(RigStore* s, void (*hook)(void* ctx, const char* temp_path), void* ctx)
{
    if (!s)
        return;
    std::lock_guard<std::mutex> g(s->lock);
    s->hook = hook;
    s->hook_ctx = ctx;
}

static void seed_once(void)
{
    int expected = 0;
    if (!g_seeded.compare_exchange_strong(expected, 1))
        return;
    rig_random_seed(plat_random_seed());
}

RigStore* rigstore_open(const RigStoreConfig* config)
{
    RigStoreConfig c = config ? *config : RigStoreConfig{};
    RigStore* s = new (std::nothrow) RigStore();
    if (!s)
        return nullptr;
    char folder[520];
    if (c.folder && c.folder[0])
        snprintf(folder, sizeof folder, "%s", c.folder);
    else if (rigstore_folder_path(false, nullptr, folder, (int)sizeof folder) != 0)
        folder[0] = '\0';
    size_t n = strlen(folder);
    while (n > 1 && folder[n - 1] == '/')
        folder[--n] = '\0';
    memcpy(s->folder, folder, sizeof folder);
    snprintf(s->lock_folder, sizeof s->lock_folder, "%s", folder);
    char* slash = strrchr(s->lock_folder, '/');
    if (slash && slash != s->lock_folder)
        *slash = '\0';
    else if (slash)
        slash[1] = '\0';
    else
        snprintf(s->lock_folder, sizeof s->lock_folder, ".");
    copy_text(s->app, sizeof s->app, c.app && c.app[0] ? c.app : "app");
    copy_text(s->version, sizeof s->version, c.version);
    s->log_fn = c.log;
    s->log_ctx = c.log_ctx;
    s->clock_fn = c.clock;
    s->clock_ctx = c.clock_ctx;
    s->poll_ms = c.poll_ms < 1 ? 1000 : c.poll_ms;
    s->no_watch = c.no_watch;
    seed_once();
    rig_instance_id(s->instance);
    s->starting = true;
    s->next_id = 1;
    s->start_time = rigstore_now(s);
    s->watcher = plat_dir_watch_create();
    if (!s->watcher) {
        delete s;
        return nullptr;
    }
    try {
        s->thread = std::thread(rigstore_thread_main, s);
    } catch (...) {
        plat_dir_watch_destroy(s->watcher);
        delete s;
        return nullptr;
    }
    return s;
}

static void free_job(RigStoreJob* j)
{
    if (!j)
        return;
    rig_doc_free(j->doc);
    free(j);
}

void rigstore_free(RigStore* s)
{
    if (!s)
        return;
    for (RigStoreJob* j = s->first; j;) {
        RigStoreJob* next = j->next;
        free_job(j);
        j = next;
    }
    for (RigStoreResultNode* r = s->results_first; r;) {
        RigStoreResultNode* next = r->next;
        rig_doc_free(r->r.doc);
        free(r);
        r = next;
    }
    plat_dir_watch_destroy(s->watcher);
    free(s->enc);
    delete s;
}

void rigstore_close(RigStore* s, int wait_ms)
{
    if (!s)
        return;
    std::unique_lock<std::mutex> g(s->lock);
    s->stop = true;
    plat_dir_watch_wake(s->watcher);
    s->cv.wait_for(g, std::chrono::milliseconds(wait_ms < 1 ? 0 : wait_ms), [s] { return s->stopped; });
    if (s->stopped) {
        g.unlock();
        s->thread.join();
        rigstore_free(s);
        return;
    }
    // The worker is still at a job: it finishes it, then frees the store. From here
    // on it must not call into the owner, whose callback contexts may go away.
    s->detached = true;
    s->log_fn = log_stderr;
    s->log_ctx = nullptr;
    s->clock_fn = nullptr;
    s->clock_ctx = nullptr;
    s->thread.detach();
    g.unlock();
    fprintf(stderr, "rig: still writing at close - the store finishes in the background\n");
}

static uint32_t next_job_id(RigStore* s)
{
    uint32_t id = s->next_id++;
    if (id == 0)
        id = s->next_id++;
    if (s->next_id == 0)
        s->next_id = 1;
    return id;
}

static RigStoreJob* new_job(int kind, const char* key, const RigDocument* doc)
{
    RigStoreJob* j = (RigStoreJob*)calloc(1, sizeof(RigStoreJob));
    if (!j)
        return nullptr;
    j->kind = kind;
    copy_text(j->key, sizeof j->key, key);
    if (doc) {
        j->doc = rig_doc_new();
        if (!j->doc || !rig_doc_assign(j->doc, doc)) {
            free_job(j);
            return nullptr;
        }
    }
    return j;
}

// Gives the job its first requester and queues it; under the lock.
static uint32_t enqueue_locked(RigStore* s, RigStoreJob* j)
{
    j->ids[0] = next_job_id(s);
    j->count = 1;
    j->queued_at = s->clock_fn ? s->clock_fn(s->clock_ctx) : plat_time_seconds();
    if (s->last)
        s->last->next = j;
    else
        s->first = j;
    s->last = j;
    plat_dir_watch_wake(s->watcher);
    return j->ids[0];
}

uint32_t rigstore_submit_load(RigStore* s, const char* key, const RigDocument* seed)
{
    if (!s || !key || !key[0])
        return 0;
    RigStoreJob* j = new_job(1, key, seed);
    if (!j)
        return 0;
    std::lock_guard<std::mutex> g(s->lock);
    return enqueue_locked(s, j);
}

uint32_t rigstore_submit_save(RigStore* s, const RigDocument* doc, const RigEditMask* mask)
{
    if (!s || !doc || !doc->key[0] || doc->read_only)
        return 0;
    {
        std::lock_guard<std::mutex> g(s->lock);
        if (rigstore_key_read_only_locked(s, doc->key))
            return 0;
    }
    RigDocument* copy = rig_doc_new();
    if (!copy || !rig_doc_assign(copy, doc)) {
        rig_doc_free(copy);
        return 0;
    }
    std::lock_guard<std::mutex> g(s->lock);
    for (RigStoreJob* j = s->first; j; j = j->next) {
        if (j->kind != 2 || j->count >= RIGSTORE_MAX_REQUESTERS || strcmp(j->key, doc->key) != 0)
            continue;
        rig_doc_free(j->doc);
        j->doc = copy;
        if (mask)
            rig_edit_mask_or(&j->mask, mask);
        uint32_t id = next_job_id(s);
        j->ids[j->count++] = id;
        plat_dir_watch_wake(s->watcher);
        return id;
    }
    RigStoreJob* j = new_job(2, doc->key, nullptr);
    if (!j) {
        rig_doc_free(copy);
        return 0;
    }
    j->doc = copy;
    if (mask)
        j->mask = *mask;
    return enqueue_locked(s, j);
}

void rigstore_watch(RigStore* s, const char* key)
{
    if (!s)
        return;
    std::lock_guard<std::mutex> g(s->lock);
    copy_text(s->watched, sizeof s->watched, key);
    s->watch_gen++;
    plat_dir_watch_wake(s->watcher);
}

void rigstore_post(RigStore* s, const RigStoreResult* r)
{
    RigStoreResultNode* n = (RigStoreResultNode*)calloc(1, sizeof(RigStoreResultNode));
    if (!n) {
        rig_doc_free(r->doc);
        return;
    }
    n->r = *r;
    std::lock_guard<std::mutex> g(s->lock);
    if (s->results_last)
        s->results_last->next = n;
    else
        s->results_first = n;
    s->results_last = n;
}

bool rigstore_take_result(RigStore* s, RigStoreResult* out)
{
    if (!out)
        return false;
    memset(out, 0, sizeof *out);
    if (!s)
        return false;
    RigStoreResultNode* n;
    {
        std::lock_guard<std::mutex> g(s->lock);
        n = s->results_first;
        if (!n)
            return false;
        s->results_first = n->next;
        if (!s->results_first)
            s->results_last = nullptr;
    }
    *out = n->r;
    free(n);
    return true;
}

void rigstore_result_free(RigStoreResult* r)
{
    if (!r)
        return;
    rig_doc_free(r->doc);
    r->doc = nullptr;
}

bool rigstore_wait_idle(RigStore* s, int wait_ms)
{
    if (!s)
        return true;
    std::unique_lock<std::mutex> g(s->lock);
    auto idle = [s] { return (!s->first && !s->running && !s->starting) || s->stopped; };
    return s->cv.wait_for(g, std::chrono::milliseconds(wait_ms < 0 ? 0 : wait_ms), idle) &&
           !s->first && !s->running;
}

bool rigstore_pending_age(RigStore* s, double* seconds)
{
    if (seconds)
        *seconds = 0.0;
    if (!s)
        return false;
    double queued;
    {
        std::lock_guard<std::mutex> g(s->lock);
        RigStoreJob* j = s->running ? s->running : s->first;
        if (!j)
            return false;
        queued = j->queued_at;
    }
    double age = rigstore_now(s) - queued;
    if (seconds)
        *seconds = age > 0.0 ? age : 0.0;
    return true;
}

bool rigstore_key_read_only_locked(RigStore* s, const char* key)
{
    for (int i = 0; i < s->read_only_count; i++)
        if (strcmp(s->read_only[i], key) == 0)
            return true;
    return false;
}

void rigstore_set_read_only_locked(RigStore* s, const char* key, bool flag)
{
    if (!key || !key[0])
        return;
    int at = -1;
    for (int i = 0; i < s->read_only_count; i++)
        if (strcmp(s->read_only[i], key) == 0)
            at = i;
    if (flag) {
        if (at >= 0)
            return;
        if (s->read_only_count == RIGSTORE_READ_ONLY_KEYS) {
            memmove(s->read_only[0], s->read_only[1], sizeof s->read_only[0] * (RIGSTORE_READ_ONLY_KEYS - 1));
            s->read_only_count--;
        }
        copy_text(s->read_only[s->read_only_count++], sizeof s->read_only[0], key);
    } else if (at >= 0) {
        memmove(s->read_only[at], s->read_only[at + 1], sizeof s->read_only[0] * (size_t)(s->read_only_count - at - 1));
        s->read_only_count--;
    }
}

bool rigstore_is_read_only(RigStore* s, const char* key)
{
    if (!s || !key)
        return false;
    std::lock_guard<std::mutex> g(s->lock);
    return rigstore_key_read_only_locked(s, key);
}

void rigstore_set_read_only(RigStore* s, const char* key, bool flag)
{
    if (!s)
        return;
    std::lock_guard<std::mutex> g(s->lock);
    rigstore_set_read_only_locked(s, key, flag);
}
