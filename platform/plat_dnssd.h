// plat_dnssd.h - announcing a service on the local network by DNS-SD (multicast DNS
// through the Avahi daemon), and withdrawing it.
// Threads: plat_dnssd_register/withdraw: any one thread at a time per registration.
//          The outcome callback runs on the registration's own poll thread; after
//          plat_dnssd_withdraw returns it never runs again.
// Depends on: the Avahi client library (threaded poll), which talks to the daemon
//             over the D-Bus system bus.
#pragma once
#include <cstddef>
#include <cstdint>

struct PlatDnssd;

struct PlatDnssdTxt {
    const char* key;
    const char* value;
};

enum PlatDnssdEvent {
    PLAT_DNSSD_ESTABLISHED = 0,   // the service is announced under its name
    PLAT_DNSSD_FAILED,            // refused, or the daemon went away: no longer announced
};

// message: a short lower-case reason for PLAT_DNSSD_FAILED, "" otherwise.
typedef void (*PlatDnssdOutcome)(void* ctx, PlatDnssdEvent event, const char* message);

// Registers instance (UTF-8, at most 63 bytes) of service type (e.g. "_x._tcp") on
// port of this host, on every interface, with txt_count TXT pairs (each "key=value"
// at most 255 bytes). The outcome arrives later through outcome. A name already taken
// on the network is replaced by the daemon's next alternative. Null with err filled
// when no daemon answers or the service cannot be added.
PlatDnssd* plat_dnssd_register(const char* instance, const char* type, uint16_t port, const PlatDnssdTxt* txt,
                               int txt_count, PlatDnssdOutcome outcome, void* ctx, char* err, size_t err_cap);
// Withdraws the service, stops its poll thread and frees it. Null is ignored.
void plat_dnssd_withdraw(PlatDnssd* reg);
