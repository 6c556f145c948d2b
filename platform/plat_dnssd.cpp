// plat_dnssd.cpp - DNS-SD registration through the Avahi client on a threaded poll.
// Every Avahi object of a registration lives on its poll thread: it is created before
// the thread starts, touched by callbacks on that thread, and freed after the thread
// is stopped.
#include "platform/plat_dnssd.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>

#include <cstdio>
#include <cstring>

struct PlatDnssd {
    AvahiThreadedPoll* poll;
    AvahiClient* client;
    AvahiEntryGroup* group;
    char* name;                 // current instance name (avahi_malloc'ed)
    char type[64];
    uint16_t port;
    AvahiStringList* txt;
    PlatDnssdOutcome outcome;
    void* ctx;
    int add_error;              // the last failure to add the service (0: none)
    bool started;               // the poll thread runs: outcomes go to the owner; before
                                // that, plat_dnssd_register reports failures itself
};

static void dnssd_error(char* err, size_t cap, const char* what, int code)
{
    if (err && cap)
        std::snprintf(err, cap, "%s: %s", what, avahi_strerror(code));
}

static void dnssd_report(PlatDnssd* r, PlatDnssdEvent event, const char* message)
{
    if (r->started && r->outcome)
        r->outcome(r->ctx, event, message ? message : "");
}

static int dnssd_add(PlatDnssd* r, AvahiClient* c);

static void dnssd_group_cb(AvahiEntryGroup* g, AvahiEntryGroupState state, void* user)
{
    PlatDnssd* r = (PlatDnssd*)user;
    switch (state) {
    case AVAHI_ENTRY_GROUP_ESTABLISHED:
        dnssd_report(r, PLAT_DNSSD_ESTABLISHED, "");
        break;
    case AVAHI_ENTRY_GROUP_COLLISION: {
        // Another host announces this name: take the next alternative and try again.
        char* alt = avahi_alternative_service_name(r->name);
        avahi_free(r->name);
        r->name = alt;
        avahi_entry_group_reset(g);
        if (!r->name || dnssd_add(r, avahi_entry_group_get_client(g)) != 0)
            dnssd_report(r, PLAT_DNSSD_FAILED, "name collision");
        break;
    }
    case AVAHI_ENTRY_GROUP_FAILURE:
        dnssd_report(r, PLAT_DNSSD_FAILED, avahi_strerror(avahi_client_errno(avahi_entry_group_get_client(g))));
        break;
    default:
        break;
    }
}

// Adds the service to the (new or reset) entry group and commits it. 0, or an Avahi
// error code.
static int dnssd_add(PlatDnssd* r, AvahiClient* c)
{
    if (!r->group) {
        r->group = avahi_entry_group_new(c, dnssd_group_cb, r);
        if (!r->group)
            return r->add_error = avahi_client_errno(c);
    }
    int e = avahi_entry_group_add_service_strlst(r->group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, (AvahiPublishFlags)0,
                                                 r->name, r->type, nullptr, nullptr, r->port, r->txt);
    if (e == 0)
        e = avahi_entry_group_commit(r->group);
    return r->add_error = e;
}

static void dnssd_client_cb(AvahiClient* c, AvahiClientState state, void* user)
{
    PlatDnssd* r = (PlatDnssd*)user;
    switch (state) {
    case AVAHI_CLIENT_S_RUNNING:
        // Also called from within avahi_client_new, before r->client is set.
        if (!r->group || avahi_entry_group_is_empty(r->group)) {
            if (dnssd_add(r, c) != 0)
                dnssd_report(r, PLAT_DNSSD_FAILED, avahi_strerror(r->add_error));
        }
        break;
    case AVAHI_CLIENT_S_COLLISION:
    case AVAHI_CLIENT_S_REGISTERING:
        // The host's own name is changing: the service is added again once it runs.
        if (r->group)
            avahi_entry_group_reset(r->group);
        break;
    case AVAHI_CLIENT_FAILURE:
        // The daemon went away (or the bus did). The client is dead; the service is
        // no longer announced, and the owner hears it once.
        dnssd_report(r, PLAT_DNSSD_FAILED, avahi_strerror(avahi_client_errno(c)));
        break;
    default:
        break;
    }
}

static void dnssd_free(PlatDnssd* r)
{
    if (r->client)
        avahi_client_free(r->client);   // frees its entry groups too
    if (r->poll)
        avahi_threaded_poll_free(r->poll);
    avahi_string_list_free(r->txt);
    avahi_free(r->name);
    delete r;
}

PlatDnssd* plat_dnssd_register(const char* instance, const char* type, uint16_t port, const PlatDnssdTxt* txt,
                               int txt_count, PlatDnssdOutcome outcome, void* ctx, char* err, size_t err_cap)
{
    if (err && err_cap)
        err[0] = '\0';
    if (!instance || !type || std::strlen(type) >= sizeof(PlatDnssd::type)) {
        if (err && err_cap)
            std::snprintf(err, err_cap, "bad service name");
        return nullptr;
    }
    PlatDnssd* r = new PlatDnssd();
    r->name = avahi_strdup(instance);
    std::snprintf(r->type, sizeof r->type, "%s", type);
    r->port = port;
    r->outcome = outcome;
    r->ctx = ctx;
    // avahi_string_list_add prepends: build from the last pair so the order holds.
    for (int i = txt_count - 1; i >= 0; i--) {
        AvahiStringList* l = avahi_string_list_add_pair(r->txt, txt[i].key, txt[i].value);
        if (!l) {
            dnssd_error(err, err_cap, "txt record", AVAHI_ERR_NO_MEMORY);
            dnssd_free(r);
            return nullptr;
        }
        r->txt = l;
    }
    r->poll = avahi_threaded_poll_new();
    if (!r->name || !r->poll) {
        dnssd_error(err, err_cap, "dns-sd", AVAHI_ERR_NO_MEMORY);
        dnssd_free(r);
        return nullptr;
    }
    int e = 0;
    // Without a running daemon this fails at once rather than waiting for one.
    r->client = avahi_client_new(avahi_threaded_poll_get(r->poll), (AvahiClientFlags)0, dnssd_client_cb, r, &e);
    if (!r->client) {
        dnssd_error(err, err_cap, "dns-sd daemon", e);
        dnssd_free(r);
        return nullptr;
    }
    if (r->add_error) {
        dnssd_error(err, err_cap, "dns-sd register", r->add_error);
        dnssd_free(r);
        return nullptr;
    }
    r->started = true;
    if (avahi_threaded_poll_start(r->poll) < 0) {
        dnssd_error(err, err_cap, "dns-sd thread", AVAHI_ERR_FAILURE);
        dnssd_free(r);
        return nullptr;
    }
    return r;
}

void plat_dnssd_withdraw(PlatDnssd* r)
{
    if (!r)
        return;
    // After the stop no callback runs; freeing the client withdraws the service.
    avahi_threaded_poll_stop(r->poll);
    dnssd_free(r);
}
