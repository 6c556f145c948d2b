// tcstream_announce.cpp - the station's announcement on the local network. Not built
// yet: the station streams unannounced, and listeners that know its address connect.
#include "broadcast/tcstream.h"
#include "broadcast/tcstream_internal.h"

void tcstream_advertise(Station* s)
{
    s->advertised.store(0, std::memory_order_relaxed);
}

void tcstream_withdraw(Station* s)
{
    s->dns_instance = nullptr;
    s->register_request = nullptr;
    s->advertised.store(0, std::memory_order_relaxed);
}
