// cloud_request.cpp - requests to the cloud service: paths, URL encoding, the
// transfer itself and the texts of its failures.
#include "library/cloud_internal.h"

#include <cstdio>
#include <cstring>

#include "platform/plat_http.h"
#include "rig/json_read.h"

static const char* const USER_AGENT = "TideCoil VividKit/1.0";
static const size_t MAX_BODY = 16u * 1024u * 1024u;

size_t cloud_url_encode(const char* text, char* out, size_t size)
{
    static const char hex[] = "0123456789ABCDEF";
    size_t need = 0, put = 0;
    bool full = false;
    for (const unsigned char* p = (const unsigned char*)(text ? text : ""); *p; p++) {
        unsigned char b = *p;
        bool keep = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' ||
                    b == '.' || b == '_' || b == '~';
        size_t n = keep ? 1 : 3;
        need += n;
        if (full || !out || put + n >= size) {
            full = true;
            continue;
        }
        if (keep) {
            out[put++] = (char)b;
        } else {
            out[put++] = '%';
            out[put++] = hex[b >> 4];
            out[put++] = hex[b & 15];
        }
    }
    if (out && size > 0)
        out[put] = '\0';
    return need;
}

bool cloud_format_path(CloudClient* c, const char* database, const char* operation, bool with_token,
                       char* out, size_t size)
{
    if (!out || size == 0)
        return false;
    out[0] = '\0';
    if (!c)
        return false;
    char api[3 * sizeof c->api_token];
    char web[3 * CLOUD_TOKEN_SIZE] = "";
    cloud_url_encode(c->api_token, api, sizeof api);
    if (with_token) {
        std::lock_guard<std::mutex> hold(c->lock);
        cloud_url_encode(c->web_auth_token, web, sizeof web);
    }
    int n = std::snprintf(out, size, "/database/1/%s/%s/%s/%s?ckAPIToken=%s%s%s", c->container, c->environment,
                          database, operation, api, web[0] ? "&ckWebAuthToken=" : "", web);
    if (n < 0 || (size_t)n >= size) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool cloud_error_text(const char* body, size_t len, int status, char* out, size_t size)
{
    if (!out || size == 0)
        return false;
    char code[64] = "", reason[96] = "";
    JsonValue doc, v;
    if (body && json_parse(body, len, &doc, nullptr, 0)) {
        if (json_find_member(doc, "serverErrorCode", &v))
            json_get_string(v, code, sizeof code, nullptr);
        if (json_find_member(doc, "reason", &v))
            json_get_string(v, reason, sizeof reason, nullptr);
    }
    if (code[0] || reason[0])
        std::snprintf(out, size, "HTTP %d  %s%s%s", status, code, reason[0] ? ": " : "", reason);
    else
        std::snprintf(out, size, "HTTP %d", status);
    for (char* p = out; *p; p++)
        if (*p >= 'a' && *p <= 'z')
            *p = (char)(*p - 'a' + 'A');
    return code[0] || reason[0];
}

void cloud_transfer_error_text(int failure, long code, char* out, size_t size)
{
    if (!out || size == 0)
        return;
    unsigned long n = (unsigned long)code;
    switch (failure) {
    case PLAT_HTTP_CANNOT_CONNECT: std::snprintf(out, size, "CANNOT CONNECT"); break;
    case PLAT_HTTP_TIMED_OUT: std::snprintf(out, size, "TIMED OUT"); break;
    case PLAT_HTTP_NO_DNS: std::snprintf(out, size, "NO DNS"); break;
    case PLAT_HTTP_NO_RESPONSE: std::snprintf(out, size, "NO RESPONSE (%lu)", n); break;
    case PLAT_HTTP_TOO_BIG: std::snprintf(out, size, "RESPONSE TOO BIG"); break;
    case PLAT_HTTP_NO_MEMORY: std::snprintf(out, size, "OUT OF MEMORY"); break;
    case PLAT_HTTP_REQUEST_FAILED: std::snprintf(out, size, "REQUEST FAILED (%lu)", n); break;
    case PLAT_HTTP_NO_LIBRARY: std::snprintf(out, size, "HTTP OPEN FAILED (%lu)", n); break;
    default: std::snprintf(out, size, "SEND FAILED (%lu)", n); break;
    }
}

int cloud_http_request(CloudClient* c, const char* method, const char* path, const char* body,
                       char** out_body, size_t* out_len, char* err, size_t err_size)
{
    if (out_body)
        *out_body = nullptr;
    if (out_len)
        *out_len = 0;
    char url[8192];
    if (!c || !c->endpoint[0]) {
        std::snprintf(err, err_size, "NO CONNECTION (0)");
        return 0;
    }
    int n = std::snprintf(url, sizeof url, "%s%s", c->endpoint, path ? path : "");
    if (n < 0 || (size_t)n >= sizeof url) {
        std::snprintf(err, err_size, "REQUEST FAILED (0)");
        return 0;
    }
    static const char* const headers[] = {"Content-Type: application/json", "Accept: application/json", nullptr};
    PlatHttpRequest rq = {};
    rq.method = method;
    rq.url = url;
    rq.body = body;
    rq.body_len = body ? std::strlen(body) : 0;
    rq.user_agent = USER_AGENT;
    rq.headers = headers;
    rq.ca_file = c->ca_file[0] ? c->ca_file : nullptr;
    rq.connect_timeout_ms = c->connect_ms;
    rq.stall_timeout_ms = c->stall_ms;
    rq.max_body = MAX_BODY;
    rq.cancel = &c->cancel;
    PlatHttpResponse rs;
    if (!plat_http_perform(&rq, &rs)) {
        cloud_transfer_error_text(rs.failure, rs.code, err, err_size);
        return 0;
    }
    if (out_body)
        *out_body = rs.body;
    else
        plat_http_response_free(&rs);
    if (out_len)
        *out_len = rs.len;
    return (int)rs.status;
}
