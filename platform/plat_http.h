// plat_http.h - one HTTPS request on a handle of its own: TLS verified, redirects
// never followed, the body collected into a growing buffer with a size cap, and a
// cancel flag that stops a transfer in flight.
// Threads: plat_http_global_init on the UI thread before the first request; requests
//          on any thread, each on its own.
// Depends on: libcurl (easy API).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

// How a request failed, by the library's own error codes.
enum PlatHttpFailure {
    PLAT_HTTP_OK = 0,
    PLAT_HTTP_CANNOT_CONNECT,   // the server refused or could not be reached
    PLAT_HTTP_TIMED_OUT,
    PLAT_HTTP_NO_DNS,           // the host name did not resolve
    PLAT_HTTP_NO_RESPONSE,      // no answer, or one cut short
    PLAT_HTTP_TOO_BIG,          // the body passed max_body
    PLAT_HTTP_NO_MEMORY,
    PLAT_HTTP_REQUEST_FAILED,   // the request could not be formed (a scheme other than https)
    PLAT_HTTP_SEND_FAILED,      // anything else: TLS failures, a cancelled transfer
    PLAT_HTTP_NO_LIBRARY,       // the library could not be set up
};

enum : size_t {
    PLAT_HTTP_FIRST_CAPACITY = 65537,     // the body buffer's first size; it doubles from here
};

struct PlatHttpRequest {
    const char* method;                   // "GET" or "POST" (others sent as custom)
    const char* url;                      // https:// only
    const char* body;                     // may be null
    size_t body_len;
    const char* user_agent;
    const char* const* headers;           // "Name: value" lines, null-terminated; may be null
    const char* ca_file;                  // trusted certificates; null: the system's store
    long connect_timeout_ms;              // resolve, connect and the TLS handshake together
    long stall_timeout_ms;                // under 1 byte/s for this long ends the transfer
    size_t max_body;                      // a longer body fails with PLAT_HTTP_TOO_BIG
    const std::atomic<uint32_t>* cancel;  // non-zero aborts the transfer; may be null
};

struct PlatHttpResponse {
    int failure;      // PlatHttpFailure
    long code;        // the library's error code (0 on success)
    long status;      // the HTTP status; 0 on failure
    char* body;       // NUL-terminated (free with plat_http_response_free); null on failure
    size_t len;
};

// Sets the library up once for the process. False when it cannot be.
bool plat_http_global_init(void);
// Sends the request and waits for the whole answer. True with status, body and length
// set when an answer arrived, whatever its status; false with failure and code set.
bool plat_http_perform(const PlatHttpRequest* rq, PlatHttpResponse* out);
void plat_http_response_free(PlatHttpResponse* r);   // null is accepted

// The failure a library error code stands for. too_big and no_memory tell why the
// body writer stopped, when it did.
int plat_http_failure_of(long code, bool too_big, bool no_memory);

// Test accessors: the largest body buffer any request held since the last reset.
size_t plat_http_peak_capacity(void);
void plat_http_reset_peak(void);
