// tcstream_announce.cpp - the station's announcement on the local network: a DNS-SD
// service "_tc-stream._tcp" named after the announced name and the computer, with a
// TXT record repeating the greeting's fixed facts. Registering is best effort: without
// a DNS-SD daemon the station streams unannounced, and listeners that know its address
// still connect.
#include <cstdio>
#include <cstring>

#include "broadcast/tcstream.h"
#include "broadcast/tcstream_internal.h"
#include "platform/plat_dnssd.h"
#include "rig/rig_device.h"

static const char* const TCSTREAM_SERVICE_TYPE = "_tc-stream._tcp";

int tcstream_instance_name(const char* an, const char* dev, char* out, size_t cap)
{
    if (!out || cap < 1)
        return 0;
    // The computer's name is first cut to 47 bytes, then shortened a character at a
    // time until the whole name fits one DNS label; the announced name is kept whole
    // unless it alone is too long.
    char name[TCSTREAM_INSTANCE_MAX + 1];
    char copy[48];
    rig_utf8_copy(name, (int)sizeof name - 4, an);
    int dev_len = rig_utf8_copy(copy, (int)sizeof copy, dev);
    for (;;) {
        int n = std::snprintf(out, cap, "%s \xC2\xB7 %s", name, copy);
        if (n <= TCSTREAM_INSTANCE_MAX || dev_len == 0)
            break;
        // Back over continuation bytes to the start of the last character.
        int cut = dev_len - 1;
        while (cut > 0 && ((unsigned char)copy[cut] & 0xC0) == 0x80)
            cut--;
        copy[cut] = '\0';
        dev_len = cut;
    }
    return (int)std::strlen(out);
}

void tcstream_txt_value(const char* key, const char* value, char* out, size_t cap)
{
    // A TXT string holds "key=value" in at most 255 bytes.
    int room = TCSTREAM_TXT_STRING_MAX - (int)std::strlen(key) - 1;
    if (room < 0)
        room = 0;
    if ((size_t)room + 1 > cap)
        room = (int)cap - 1;
    rig_utf8_copy(out, room + 1, value);
}

void tcstream_txt_build(const Station* s, StationTxt* t)
{
    static const char* const keys[TCSTREAM_TXT_PAIRS] = {"tc",  "v",   "app",   "an", "kind", "dev",
                                                         "sid", "codec", "ch", "rate", "os"};
    const char* values[TCSTREAM_TXT_PAIRS] = {"1",   "1",     s->app, s->an,   s->kind,  s->dev,
                                              s->sid, "pcm16", "2",    "48000", "linux"};
    for (int i = 0; i < TCSTREAM_TXT_PAIRS; i++) {
        tcstream_txt_value(keys[i], values[i], t->values[i], sizeof t->values[i]);
        t->keys[i] = keys[i];
    }
}

void tcstream_on_registered(void* ctx, int established, const char* message)
{
    Station* s = (Station*)ctx;
    if (established) {
        s->advertised.store(1, std::memory_order_relaxed);
        std::fprintf(stderr, "tcstream: advertised %s as %s - %s\n", TCSTREAM_SERVICE_TYPE, s->an, s->dev);
    } else {
        s->advertised.store(0, std::memory_order_relaxed);
        std::fprintf(stderr, "tcstream: DNS-SD register failed (%s)\n", message ? message : "");
    }
}

static void announce_outcome(void* ctx, PlatDnssdEvent event, const char* message)
{
    tcstream_on_registered(ctx, event == PLAT_DNSSD_ESTABLISHED, message);
}

void tcstream_advertise(Station* s)
{
    tcstream_withdraw(s);
    char instance[TCSTREAM_INSTANCE_MAX + 8];
    tcstream_instance_name(s->an, s->dev, instance, sizeof instance);
    StationTxt txt;
    tcstream_txt_build(s, &txt);
    PlatDnssdTxt pairs[TCSTREAM_TXT_PAIRS];
    for (int i = 0; i < TCSTREAM_TXT_PAIRS; i++)
        pairs[i] = {txt.keys[i], txt.values[i]};
    char err[128];
    PlatDnssd* reg = plat_dnssd_register(instance, TCSTREAM_SERVICE_TYPE, s->port, pairs, TCSTREAM_TXT_PAIRS,
                                         announce_outcome, s, err, sizeof err);
    if (!reg)
        std::fprintf(stderr, "tcstream: DNS-SD register: %s\n", err);
    s->register_request = reg;
}

void tcstream_withdraw(Station* s)
{
    // Once withdrawn, no outcome reaches the station any more.
    plat_dnssd_withdraw((PlatDnssd*)s->register_request);
    s->register_request = nullptr;
    s->advertised.store(0, std::memory_order_relaxed);
}
