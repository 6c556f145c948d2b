// cloud_sign_in.cpp - the sign-in job: asks the service who is signed in, and when
// it wants a browser sign-in, opens the address and waits for the callback.
#include "library/cloud_internal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/plat_open.h"
#include "rig/json_read.h"

// What users/current answered.
struct CloudUserAnswer {
    int status;              // 0: the transfer failed
    char user[128];          // userRecordName
    char redirect[1024];     // redirectURL
    char error[160];         // the failure, or the error text of the body
    bool has_error;          // the body named an error code or reason
};

static void users_current(CloudClient* c, bool with_token, CloudUserAnswer* a)
{
    std::memset(a, 0, sizeof *a);
    char path[6144];
    if (!cloud_format_path(c, "private", "users/current", with_token, path, sizeof path)) {
        std::snprintf(a->error, sizeof a->error, "REQUEST FAILED (0)");
        return;
    }
    char* body = nullptr;
    size_t len = 0;
    a->status = cloud_http_request(c, "GET", path, nullptr, &body, &len, a->error, sizeof a->error);
    if (a->status == 0)
        return;
    JsonValue doc, v;
    if (json_parse(body, len, &doc, nullptr, 0) && doc.kind == JSON_OBJECT) {
        if (json_find_member(doc, "userRecordName", &v))
            json_get_string(v, a->user, sizeof a->user, nullptr);
        if (json_find_member(doc, "redirectURL", &v))
            json_get_string(v, a->redirect, sizeof a->redirect, nullptr);
    }
    a->has_error = cloud_error_text(body, len, a->status, a->error, sizeof a->error);
    std::free(body);
}

// Only a web address goes to the desktop's opener: a file:// address or a bare path
// would open a local file with its default program.
static bool is_https(const char* url)
{
    static const char scheme[] = "https://";
    for (int i = 0; scheme[i]; i++) {
        char ch = url[i];
        if (ch >= 'A' && ch <= 'Z')
            ch = (char)(ch - 'A' + 'a');
        if (ch != scheme[i])
            return false;
    }
    return url[8] != '\0';
}

static void set_user(CloudClient* c, const char* user)
{
    std::lock_guard<std::mutex> hold(c->lock);
    if (!c->cancel.load(std::memory_order_acquire))
        cloud_copy_text(c->user_record, sizeof c->user_record, user);
}

// Keeps the token unless a sign-out came first. False when it did.
static bool store_token(CloudClient* c, const char* token)
{
    std::lock_guard<std::mutex> hold(c->lock);
    if (c->cancel.load(std::memory_order_acquire))
        return false;
    std::snprintf(c->web_auth_token, sizeof c->web_auth_token, "%s", token);
    return true;
}

static void browser_sign_in(CloudClient* c, const char* address)
{
    uint16_t port = 0;
    if (plat_net_listen_loopback(c->callback_port, 4, &c->listener, &port, nullptr) != 0) {
        char text[64];
        std::snprintf(text, sizeof text, "CALLBACK PORT %u BUSY", (unsigned)c->callback_port);
        cloud_post_result(c, false, text);
        return;
    }
    c->bound_port.store(port, std::memory_order_release);
    cloud_set_worker_status(c, "SIGN IN IN THE BROWSER...");
    if (!plat_open_with_desktop(address))
        std::fprintf(stderr, "cloud: xdg-open could not be started\n");
    char* token = (char*)std::calloc(1, CLOUD_TOKEN_SIZE);
    bool got = token && cloud_callback_serve(c, token, CLOUD_TOKEN_SIZE);
    plat_net_close(c->listener);
    c->listener = PLAT_SOCKET_INVALID;
    c->bound_port.store(0, std::memory_order_release);
    if (!got || !store_token(c, token)) {
        std::free(token);
        cloud_post_result(c, false, "SIGN-IN CANCELLED");
        return;
    }
    std::free(token);
    cloud_set_worker_status(c, "CHECKING THE SESSION...");
    CloudUserAnswer a;
    users_current(c, true, &a);
    if (a.status == 200) {
        set_user(c, a.user);
        cloud_post_result(c, true, "SIGNED IN");
    } else {
        cloud_post_result(c, false, a.status == 0 || a.has_error ? a.error : "SESSION REFUSED");
    }
}

void cloud_sign_in_thread(CloudClient* c)
{
    cloud_set_worker_status(c, "ASKING APPLE...");
    CloudUserAnswer a;
    users_current(c, false, &a);
    if (a.status == 200 && a.user[0]) {
        set_user(c, a.user);
        cloud_post_result(c, true, "SIGNED IN");
    } else if (a.status == 421 && is_https(a.redirect)) {
        browser_sign_in(c, a.redirect);
    } else if (a.status == 421 && a.redirect[0]) {
        cloud_post_result(c, false, "NO SIGN-IN URL");
    } else if (a.status == 0 || a.has_error) {
        cloud_post_result(c, false, a.error);
    } else {
        cloud_post_result(c, false, a.status == 401 || a.status == 403 ? "API TOKEN REFUSED" : "NO SIGN-IN URL");
    }
}
