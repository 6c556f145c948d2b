// plat_http.cpp - the requests of plat_http.h on libcurl's easy API.
#include "platform/plat_http.h"

#include <cstdlib>
#include <cstring>
#include <curl/curl.h>

static std::atomic<size_t> g_peak_capacity{0};

// The body as it arrives: doubled as needed, never past max bytes (plus its NUL).
struct HttpSink {
    char* buf;
    size_t len;
    size_t cap;
    size_t max;
    bool too_big;
    bool no_memory;
};

static void note_capacity(size_t cap)
{
    size_t seen = g_peak_capacity.load(std::memory_order_relaxed);
    while (cap > seen && !g_peak_capacity.compare_exchange_weak(seen, cap, std::memory_order_relaxed)) {
    }
}

static size_t http_on_body(char* data, size_t size, size_t count, void* ctx)
{
    HttpSink* s = (HttpSink*)ctx;
    size_t add = size * count;
    if (add > s->max - s->len) {
        s->too_big = true;
        return 0;
    }
    size_t need = s->len + add + 1;
    if (need > s->cap) {
        size_t cap = s->cap;
        while (cap < need)
            cap *= 2;
        char* grown = (char*)std::realloc(s->buf, cap);
        if (!grown) {
            s->no_memory = true;
            return 0;
        }
        s->buf = grown;
        s->cap = cap;
        note_capacity(cap);
    }
    std::memcpy(s->buf + s->len, data, add);
    s->len += add;
    s->buf[s->len] = '\0';
    return add;
}

static int http_on_progress(void* ctx, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const std::atomic<uint32_t>* cancel = (const std::atomic<uint32_t>*)ctx;
    return cancel && cancel->load(std::memory_order_acquire) ? 1 : 0;
}

bool plat_http_global_init(void)
{
    static bool done = false;
    if (!done)
        done = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return done;
}

int plat_http_failure_of(long code, bool too_big, bool no_memory)
{
    if (no_memory || code == CURLE_OUT_OF_MEMORY)
        return PLAT_HTTP_NO_MEMORY;
    if (too_big && code == CURLE_WRITE_ERROR)
        return PLAT_HTTP_TOO_BIG;
    switch (code) {
    case CURLE_OK: return PLAT_HTTP_OK;
    case CURLE_COULDNT_CONNECT: return PLAT_HTTP_CANNOT_CONNECT;
    case CURLE_OPERATION_TIMEDOUT: return PLAT_HTTP_TIMED_OUT;
    case CURLE_COULDNT_RESOLVE_HOST: return PLAT_HTTP_NO_DNS;
    case CURLE_GOT_NOTHING:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE: return PLAT_HTTP_NO_RESPONSE;
    case CURLE_UNSUPPORTED_PROTOCOL: return PLAT_HTTP_REQUEST_FAILED;
    default: return PLAT_HTTP_SEND_FAILED;
    }
}

static bool http_fail(PlatHttpResponse* out, long code, bool too_big, bool no_memory)
{
    out->failure = plat_http_failure_of(code, too_big, no_memory);
    out->code = code;
    return false;
}

// Options of one handle; false when the library refused one.
static bool http_configure(CURL* h, const PlatHttpRequest* rq, curl_slist* headers, HttpSink* sink)
{
    long connect_ms = rq->connect_timeout_ms > 0 ? rq->connect_timeout_ms : 20000;
    long stall_s = rq->stall_timeout_ms > 0 ? (rq->stall_timeout_ms + 999) / 1000 : 60;
    bool ok = curl_easy_setopt(h, CURLOPT_URL, rq->url) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, connect_ms) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, stall_s) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, http_on_body) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_WRITEDATA, sink) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, http_on_progress) == CURLE_OK &&
              curl_easy_setopt(h, CURLOPT_XFERINFODATA, (void*)rq->cancel) == CURLE_OK;
    if (ok && rq->user_agent)
        ok = curl_easy_setopt(h, CURLOPT_USERAGENT, rq->user_agent) == CURLE_OK;
    if (ok && rq->ca_file)
        ok = curl_easy_setopt(h, CURLOPT_CAINFO, rq->ca_file) == CURLE_OK;
    const char* method = rq->method ? rq->method : "GET";
    if (ok && (rq->body || std::strcmp(method, "POST") == 0)) {
        ok = curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, (curl_off_t)(rq->body ? rq->body_len : 0)) == CURLE_OK &&
             curl_easy_setopt(h, CURLOPT_POSTFIELDS, rq->body ? rq->body : "") == CURLE_OK;
    }
    if (ok && std::strcmp(method, "GET") != 0 && std::strcmp(method, "POST") != 0)
        ok = curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, method) == CURLE_OK;
    return ok;
}

bool plat_http_perform(const PlatHttpRequest* rq, PlatHttpResponse* out)
{
    if (!out)
        return false;
    std::memset(out, 0, sizeof *out);
    if (!rq || !rq->url)
        return http_fail(out, CURLE_URL_MALFORMAT, false, false);
    if (!plat_http_global_init()) {
        out->failure = PLAT_HTTP_NO_LIBRARY;
        out->code = CURLE_FAILED_INIT;
        return false;
    }
    HttpSink sink = {};
    sink.max = rq->max_body;
    sink.cap = PLAT_HTTP_FIRST_CAPACITY;
    sink.buf = (char*)std::malloc(sink.cap);
    if (!sink.buf)
        return http_fail(out, CURLE_OUT_OF_MEMORY, false, true);
    sink.buf[0] = '\0';
    note_capacity(sink.cap);

    curl_slist* headers = nullptr;
    bool ok = true;
    for (const char* const* h = rq->headers; ok && h && *h; h++) {
        curl_slist* more = curl_slist_append(headers, *h);
        ok = more != nullptr;
        if (more)
            headers = more;
    }
    CURL* h = ok ? curl_easy_init() : nullptr;
    long code = CURLE_OUT_OF_MEMORY;
    if (h) {
        code = http_configure(h, rq, headers, &sink) ? (long)curl_easy_perform(h) : (long)CURLE_FAILED_INIT;
        if (code == CURLE_OK)
            curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &out->status);
        curl_easy_cleanup(h);
    }
    curl_slist_free_all(headers);
    if (code != CURLE_OK) {
        std::free(sink.buf);
        return http_fail(out, code, sink.too_big, sink.no_memory || !h);
    }
    out->body = sink.buf;
    out->len = sink.len;
    return true;
}

void plat_http_response_free(PlatHttpResponse* r)
{
    if (!r)
        return;
    std::free(r->body);
    r->body = nullptr;
    r->len = 0;
}

size_t plat_http_peak_capacity(void) { return g_peak_capacity.load(std::memory_order_relaxed); }

void plat_http_reset_peak(void) { g_peak_capacity.store(0, std::memory_order_relaxed); }
