// tcstream.cpp - the station's life: init, on air, off air, shutdown, and its clock.
#include "broadcast/tcstream.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "broadcast/tcstream_internal.h"
#include "broadcast/tcstream_queue.h"
#include "platform/plat_mem.h"
#include "platform/plat_thread.h"
#include "platform/plat_time.h"
#include "rig/rig_device.h"

enum {
    TCSTREAM_BACKLOG = 4,
    TCSTREAM_STOP_WAIT_MS = 2000,
};

static void station_free_buffers(Station* s)
{
    plat_aligned_free(s->ring);
    plat_aligned_free(s->scratch);
    s->ring = nullptr;
    s->scratch = nullptr;
    for (StationListener& l : s->listeners) {
        plat_aligned_free(l.queue);
        l.queue = nullptr;
    }
}

// Waits up to timeout_ms for the last station thread to finish. True when none runs.
static bool station_wait_thread(Station* s, int timeout_ms)
{
    for (int waited = 0; s->thread_active.load(std::memory_order_acquire); waited++) {
        if (waited >= timeout_ms)
            return false;
        plat_sleep_ms(1);
    }
    return true;
}

int tcstream_init(Station* s, const char* app, const char* an, const char* kind, const char* tref, uint16_t port,
                  const char* dir)
{
    if (!s)
        return -1;
    new (s) Station();
    rig_utf8_copy(s->app, (int)sizeof s->app, app);
    rig_utf8_copy(s->an, (int)sizeof s->an, an);
    rig_utf8_copy(s->kind, (int)sizeof s->kind, kind);
    rig_utf8_copy(s->tref, (int)sizeof s->tref, tref);
    s->port = port;
    s->listen_socket = PLAT_SOCKET_INVALID;
    for (StationListener& l : s->listeners)
        l.socket = PLAT_SOCKET_INVALID;

    char host[256];
    if (!plat_net_host_name(host, sizeof host) || rig_utf8_copy(s->dev, (int)sizeof s->dev, host) == 0)
        std::snprintf(s->dev, sizeof s->dev, "%s", "PC");
    tcstream_station_id(s, dir);

    s->ring = (float*)plat_aligned_alloc(64, sizeof(float) * 2 * TCSTREAM_RING_FRAMES);
    s->scratch = (float*)plat_aligned_alloc(64, sizeof(float) * 2 * TCSTREAM_SCRATCH_FRAMES);
    bool ok = s->ring && s->scratch;
    for (StationListener& l : s->listeners) {
        l.queue = (uint8_t*)plat_aligned_alloc(64, (size_t)TCSTREAM_QUEUE_FRAMES * TCSTREAM_MAX_FRAME);
        ok = ok && l.queue;
    }
    if (!ok) {
        station_free_buffers(s);
        return -1;
    }

    s->clock_frequency.store(1000000000, std::memory_order_relaxed);
    s->clock_start.store((int64_t)plat_time_ns(), std::memory_order_relaxed);
    tcstream_feed_warm_up(s);
    s->live.store(1, std::memory_order_relaxed);
    s->last_sent_live = 1;
    return 0;
}

void tcstream_set_latency_ns(Station* s, int64_t ns)
{
    if (s)
        s->lat_ns.store(ns, std::memory_order_relaxed);
}

void tcstream_set_live(Station* s, int flag)
{
    if (s)
        s->live.store(flag ? 1 : 0, std::memory_order_relaxed);
}

int tcstream_start(Station* s)
{
    if (!s)
        return -1;
    if (s->running.load(std::memory_order_relaxed))
        return 0;
    if (!s->ring || !s->listeners[0].queue)
        return -1;
    // A thread that outlived its stop still owns its sockets.
    if (!station_wait_thread(s, TCSTREAM_STOP_WAIT_MS)) {
        std::fprintf(stderr, "tcstream: the last station thread has not ended\n");
        return -1;
    }

    PlatSocket ls = PLAT_SOCKET_INVALID;
    uint16_t bound = 0;
    int err = 0;
    int r = plat_net_listen_tcp(s->port, TCSTREAM_BACKLOG, &ls, &bound, &err);
    if (r == -2)
        std::fprintf(stderr, "tcstream: bind(%u) failed (%d) - another station on this port?\n", (unsigned)s->port,
                     err);
    if (r != 0)
        return -1;
    s->listen_socket = ls;
    if (s->port == 0)
        s->port = bound;

    // Restart the clock and the packet state. The counters are not rewound: the audio
    // thread may still be finishing a block from the last on-air period, so the thread
    // starts reading at whatever has been written and counts frame indices from there.
    s->clock_start.store((int64_t)plat_time_ns(), std::memory_order_relaxed);
    s->sequence = 0;
    s->last_idx = 0;
    s->resync = 1;
    s->consumed_at_start = s->written.load(std::memory_order_acquire);
    s->consumed.store(s->consumed_at_start, std::memory_order_release);
    s->overflow.store(0, std::memory_order_relaxed);
    // A block of the last on-air period may still be measuring on the audio thread:
    // the tracker is cleared there, at the next block, not here.
    s->tracker_restart.store(1, std::memory_order_relaxed);
    s->last_sent_live = s->live.load(std::memory_order_relaxed);
    // Starting paused: the pause is taken to begin now, so the first change to live
    // advances the frame index by the time spent paused on this run only.
    s->paused_at_ns = 0;
    for (StationListener& l : s->listeners) {
        l.in_use = 0;
        l.socket = PLAT_SOCKET_INVALID;
        l.rx_len = 0;
        tcstream_queue_clear(&l);
    }
    s->listeners_in_use.store(0, std::memory_order_relaxed);

    s->thread_active.store(1, std::memory_order_relaxed);
    s->running.store(1, std::memory_order_release);
    if (!plat_thread_start_detached(tcstream_thread_main, s, "tessel-station")) {
        s->running.store(0, std::memory_order_relaxed);
        s->thread_active.store(0, std::memory_order_relaxed);
        plat_net_close(s->listen_socket);
        s->listen_socket = PLAT_SOCKET_INVALID;
        return -1;
    }
    tcstream_advertise(s);
    std::fprintf(stderr, "tcstream: station %s on :%u (sid %s, %s, tref=%s)\n", s->an, (unsigned)s->port, s->sid,
                 s->kind, s->tref);
    return 0;
}

void tcstream_stop(Station* s)
{
    if (!s || !s->running.load(std::memory_order_relaxed))
        return;
    tcstream_withdraw(s);
    s->running.store(0, std::memory_order_release);
    // The thread closes its own sockets on the way out; one that does not end in time
    // keeps them, and the next start or the shutdown waits for it again.
    if (!station_wait_thread(s, TCSTREAM_STOP_WAIT_MS))
        std::fprintf(stderr, "tcstream: the station thread did not end within %d ms\n", TCSTREAM_STOP_WAIT_MS);
    s->listeners_in_use.store(0, std::memory_order_relaxed);
    std::fprintf(stderr, "tcstream: off air\n");
}

void tcstream_shutdown(Station* s)
{
    if (!s)
        return;
    tcstream_stop(s);
    // Buffers a thread may still use are left to the end of the process.
    if (!station_wait_thread(s, TCSTREAM_STOP_WAIT_MS))
        return;
    station_free_buffers(s);
}

bool tcstream_on_air(const Station* s)
{
    return s && s->running.load(std::memory_order_relaxed);
}

int tcstream_listener_count(const Station* s)
{
    return s ? s->listeners_in_use.load(std::memory_order_relaxed) : 0;
}

int64_t tcstream_now_ns(const Station* s)
{
    if (!s)
        return 0;
    int64_t d = (int64_t)plat_time_ns() - s->clock_start.load(std::memory_order_relaxed);
    if (d < 0)
        d = 0;
    int64_t f = s->clock_frequency.load(std::memory_order_relaxed);
    if (f < 1)
        f = 1;
    return d / f * 1000000000 + d % f * 1000000000 / f;
}

uint64_t tcstream_ns_to_frames(uint64_t ns)
{
    return ns / 1000000000u * TCSTREAM_RATE + ns % 1000000000u * TCSTREAM_RATE / 1000000000u;
}
