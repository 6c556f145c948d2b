// plat_x11_lost.cpp - Xlib's I/O error handler for a lost X server connection.
#include "platform/plat_x11_lost.h"

#include <X11/Xlib.h>
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

static void (*g_on_lost)(void* ctx) = nullptr;
static void* g_ctx = nullptr;
static pthread_t g_owner;
static std::atomic<bool> g_lost{false};
static std::atomic<bool> g_handling{false};

// Xlib calls this once a connection has failed; when it returns, Xlib ends the
// process. The watching thread never comes back from its handler; another thread
// stays here while the watching one saves and ends the process.
static int plat_x11_io_error(Display* d)
{
    (void)d;
    g_lost.store(true, std::memory_order_release);
    if (pthread_equal(pthread_self(), g_owner)) {
        if (g_on_lost && !g_handling.exchange(true))
            g_on_lost(g_ctx);
        fflush(stderr);
        _exit(1);
    }
    for (;;)
        pause();
}

void plat_x11_watch_lost(void (*on_lost)(void* ctx), void* ctx)
{
    g_on_lost = on_lost;
    g_ctx = ctx;
    g_owner = pthread_self();
    XSetIOErrorHandler(plat_x11_io_error);
}

bool plat_x11_lost(void)
{
    return g_lost.load(std::memory_order_acquire);
}
