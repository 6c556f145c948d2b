// cloud_listener.cpp - the loopback listener the browser hands the web-auth token to
// at the end of the sign-in: one connection at a time, each read within 2 s, the
// cancel flag looked at every 250 ms.
#include "library/cloud_internal.h"

#include <cstdio>
#include <cstring>

#include "platform/plat_time.h"

enum {
    REQUEST_MAX = 4095,
    TOKEN_TAKEN_MAX = 1399,     // bytes of the value taken before decoding
    WAIT_STEP_MS = 250,
    READ_LIMIT_MS = 2000,
};

static const char NOT_FOUND[] = "HTTP/1.1 404 Not Found\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
static const char PAGE_HEAD[] =
    "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nConnection: close\r\n\r\n";
// When the token came in the address fragment, the browser never sent it: the page's
// script asks again with the fragment as the query.
static const char PAGE[] =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>TideCoil</title><style>"
    "body{background:#0e0f12;color:#e6ebef;font-family:monospace;text-align:center;padding-top:20vh}"
    "h1{color:#4fc3f7;letter-spacing:.3em}</style></head><body><h1>TIDECOIL</h1><p>SIGNED IN</p>"
    "<p>BACK TO THE APP</p><script>"
    "if(location.hash.length>1&&location.search.indexOf('ckWebAuthToken=')<0)"
    "{fetch('/ck?'+location.hash.substring(1));}"
    "</script></body></html>";

static bool cancelled(CloudClient* c) { return c->cancel.load(std::memory_order_acquire) != 0; }

// Reads until the blank line that ends the head, REQUEST_MAX bytes, the peer's end,
// 2 s or cancel. A quiet connection (a browser's preconnect) thus never holds the
// listener. Returns the bytes read.
static size_t read_request(CloudClient* c, PlatSocket s, char* buf)
{
    size_t n = 0;
    double until = plat_time_seconds() + (double)READ_LIMIT_MS / 1000.0;
    while (n < REQUEST_MAX && !cancelled(c)) {
        long got = plat_net_recv(s, buf + n, REQUEST_MAX - n);
        if (got > 0) {
            n += (size_t)got;
            buf[n] = '\0';
            if (std::strstr(buf, "\r\n\r\n"))
                break;
            continue;
        }
        if (got != PLAT_NET_WOULD_BLOCK)
            break;
        double left = until - plat_time_seconds();
        if (left <= 0)
            break;
        int wait = (int)(left * 1000.0) + 1;
        plat_net_wait_readable(&s, 1, nullptr, wait < WAIT_STEP_MS ? wait : WAIT_STEP_MS);
    }
    buf[n] = '\0';
    return n;
}

static void send_all(CloudClient* c, PlatSocket s, const char* data, size_t len)
{
    double until = plat_time_seconds() + (double)READ_LIMIT_MS / 1000.0;
    while (len > 0 && !cancelled(c) && plat_time_seconds() < until) {
        long put = plat_net_send(s, data, len);
        if (put == PLAT_NET_FAILED)
            return;
        if (put == PLAT_NET_WOULD_BLOCK) {
            plat_sleep_ms(5);
            continue;
        }
        data += put;
        len -= (size_t)put;
    }
}

static int hex_digit(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// The value of ckWebAuthToken in the request line, percent-decoded ('+' a space).
static void take_token(const char* request, char* out, size_t size)
{
    out[0] = '\0';
    const char* line_end = std::strstr(request, "\r\n");
    const char* key = std::strstr(request, "ckWebAuthToken=");
    if (!key || (line_end && key > line_end))
        return;
    const char* p = key + std::strlen("ckWebAuthToken=");
    const char* end = p;
    while (*end && *end != '&' && *end != ' ' && *end != '\r' && *end != '\n' && *end != '#' &&
           end - p < TOKEN_TAKEN_MAX)
        end++;
    size_t put = 0;
    while (p < end && put + 1 < size) {
        int hi, lo;
        if (*p == '%' && end - p >= 3 && (hi = hex_digit(p[1])) >= 0 && (lo = hex_digit(p[2])) >= 0) {
            out[put++] = (char)(hi * 16 + lo);
            p += 3;
        } else {
            out[put++] = *p == '+' ? ' ' : *p;
            p++;
        }
    }
    out[put] = '\0';
}

static void serve_connection(CloudClient* c, PlatSocket s, char* token, size_t size)
{
    char request[REQUEST_MAX + 1];
    read_request(c, s, request);
    if (std::strncmp(request, "GET /ck", 7) != 0 && std::strncmp(request, "GET /?", 6) != 0 &&
        std::strncmp(request, "GET / ", 6) != 0) {
        send_all(c, s, NOT_FOUND, sizeof NOT_FOUND - 1);
        return;
    }
    take_token(request, token, size);
    send_all(c, s, PAGE_HEAD, sizeof PAGE_HEAD - 1);
    send_all(c, s, PAGE, sizeof PAGE - 1);
}

bool cloud_callback_serve(CloudClient* c, char* token, size_t size)
{
    token[0] = '\0';
    while (!cancelled(c)) {
        if (plat_net_wait_readable(&c->listener, 1, nullptr, WAIT_STEP_MS) == 0)
            continue;
        PlatSocket s = plat_net_accept(c->listener);
        if (s == PLAT_SOCKET_INVALID)
            continue;
        serve_connection(c, s, token, size);
        plat_net_shutdown_send(s);
        plat_net_close(s);
        if (token[0])
            return !cancelled(c);
    }
    return false;
}
