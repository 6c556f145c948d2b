// tcstream_thread.cpp - the station thread: accepts listeners, reads their frames,
// announces live and paused, cuts the ring into AUDIO packets and sends every queue,
// never waiting longer than 5 ms and never on a single peer.
#include <cstdio>
#include <cstring>

#include "broadcast/tcstream.h"
#include "broadcast/tcstream_internal.h"
#include "broadcast/tcstream_proto.h"
#include "broadcast/tcstream_queue.h"
#include "rig/rig_device.h"

enum { TCSTREAM_WAIT_MS = 5 };
// A peer's greetings reach the log at most once a second; the rest are counted.
static const int64_t kGreetingLogNs = 1000000000;

// ---------------------------------------------------------------------------
// Listeners
// ---------------------------------------------------------------------------

static int count_listeners(Station* s)
{
    int n = 0;
    for (const StationListener& l : s->listeners)
        n += l.in_use;
    s->listeners_in_use.store(n, std::memory_order_relaxed);
    return n;
}

// How many bytes of the UTF-8 character at c a terminal would act on or would let
// reorder the line: C1 controls (U+0080..U+009F, U+009B a CSI), the line and
// paragraph separators (U+2028, U+2029) and the bidirectional embeddings, overrides
// and isolates (U+202A..U+202E, U+2066..U+2069). 0 for any other character.
static int unsafe_character(const unsigned char* c)
{
    if (c[0] == 0xC2 && c[1] >= 0x80 && c[1] <= 0x9F)
        return 2;
    if (c[0] == 0xE2 && c[1] == 0x80 && c[2] >= 0xA8 && c[2] <= 0xAE)
        return 3;
    if (c[0] == 0xE2 && c[1] == 0x81 && c[2] >= 0xA6 && c[2] <= 0xA9)
        return 3;
    return 0;
}

// A peer's text as it may appear in the log: control characters (line feeds, escape
// sequences, C1 controls) and the separators and direction marks above written as
// \xNN bytes, so a peer can neither forge lines nor drive a terminal.
static void log_text(const char* in, char* out, size_t cap)
{
    size_t k = 0;
    int escaping = 0;   // bytes left of an unsafe character
    for (const unsigned char* c = (const unsigned char*)in; *c && k + 5 < cap; c++) {
        if (escaping == 0)
            escaping = unsafe_character(c);
        if (escaping > 0 || *c < 0x20 || *c == 0x7f || *c == '\\')
            k += (size_t)std::snprintf(out + k, cap - k, "\\x%02x", *c);
        else
            out[k++] = (char)*c;
        if (escaping > 0)
            escaping--;
    }
    out[k] = '\0';
}

static void drop_listener(Station* s, StationListener* l)
{
    if (!l->in_use)
        return;
    plat_net_close(l->socket);
    l->socket = PLAT_SOCKET_INVALID;
    tcstream_queue_clear(l);
    l->rx_len = 0;
    l->in_use = 0;
    int n = count_listeners(s);
    char name[4 * sizeof l->name + 8];
    log_text(l->name[0] ? l->name : "a listener", name, sizeof name);
    std::fprintf(stderr, "tcstream: %s left (%d listening)\n", name, n);
}

static void queue_to_all(Station* s, const uint8_t* frame, int len)
{
    for (StationListener& l : s->listeners)
        if (l.in_use)
            tcstream_queue_append(&l, frame, len);
}

static void accept_listeners(Station* s)
{
    for (;;) {
        PlatSocket c = plat_net_accept(s->listen_socket);
        if (c == PLAT_SOCKET_INVALID)
            return;
        StationListener* l = nullptr;
        for (StationListener& slot : s->listeners)
            if (!slot.in_use && !l)
                l = &slot;
        if (!l) {
            plat_net_close(c);
            continue;
        }
        plat_net_set_nodelay(c);
        l->socket = c;
        l->in_use = 1;
        l->name[0] = '\0';
        l->dev[0] = '\0';
        l->rx_len = 0;
        l->greeting_logged = 0;
        l->greetings_unlogged = 0;
        tcstream_queue_clear(l);
        uint8_t frame[TCSTREAM_MAX_FRAME];
        int len = tcstream_build_hello(s, frame, sizeof frame);
        if (len > 0)
            tcstream_queue_append(l, frame, len);
        if (!s->live.load(std::memory_order_relaxed))
            tcstream_queue_append(l, frame, tcstream_build_state(frame, false));
        std::fprintf(stderr, "tcstream: a listener connected (%d listening)\n", count_listeners(s));
    }
}

// A greeting text as a name field: at most 31 bytes, invalid UTF-8 repaired.
static void greeting_member(const uint8_t* body, size_t len, const char* key, char* out, size_t out_size)
{
    char raw[32];
    tcstream_json_get_string((const char*)body, len, key, raw, sizeof raw);
    rig_utf8_copy(out, (int)out_size, raw);
}

// Logs a peer's greeting, at most once a second per peer with the count of those
// left out since: a peer repeating its greeting cannot flood the log.
static void log_greeting(Station* s, StationListener* l)
{
    int64_t now = tcstream_now_ns(s);
    if (l->greeting_logged && now - l->greeting_logged_ns < kGreetingLogNs) {
        l->greetings_unlogged++;
        return;
    }
    char label[4 * sizeof s->last_listener_label + 8];
    log_text(s->last_listener_label, label, sizeof label);
    if (l->greetings_unlogged > 0)
        std::fprintf(stderr, "tcstream: %s is listening (%u greetings not logged)\n", label,
                     (unsigned)l->greetings_unlogged);
    else
        std::fprintf(stderr, "tcstream: %s is listening\n", label);
    l->greeting_logged = 1;
    l->greeting_logged_ns = now;
    l->greetings_unlogged = 0;
}

static void handle_frame(Station* s, StationListener* l, const uint8_t* f, uint32_t n)
{
    if (n < 4 || f[4] != 'T' || f[5] != 'C' || f[6] != TCSTREAM_VERSION)
        return;
    if (f[7] == TCSTREAM_LISTENER_HELLO) {
        greeting_member(f + 8, n - 4, "an", l->name, sizeof l->name);
        greeting_member(f + 8, n - 4, "dev", l->dev, sizeof l->dev);
        for (char* p = l->name; *p; p++)
            if (*p >= 'a' && *p <= 'z')
                *p = (char)(*p - 'a' + 'A');
        tcstream_listener_label(l->name, l->dev, s->last_listener_label, sizeof s->last_listener_label);
        log_greeting(s, l);
    } else if (f[7] == TCSTREAM_PING && n >= 12) {
        uint64_t echo = tcstream_get_u64(f + 8);
        int64_t t1 = tcstream_now_ns(s);
        int64_t t2 = tcstream_now_ns(s);
        uint8_t pong[32];
        tcstream_queue_front(l, pong, tcstream_build_pong(pong, echo, t1, t2));
    }
}

// Reads what the listener sent and handles each whole frame. False when dropped.
static bool receive(Station* s, StationListener* l)
{
    long got = plat_net_recv(l->socket, l->rx + l->rx_len, (size_t)(TCSTREAM_RX_BYTES - l->rx_len));
    if (got == 0 || got == PLAT_NET_FAILED) {
        drop_listener(s, l);
        return false;
    }
    if (got > 0)
        l->rx_len += (int32_t)got;
    if (!tcstream_take_frames(s, l)) {
        drop_listener(s, l);
        return false;
    }
    return true;
}

bool tcstream_take_frames(Station* s, StationListener* l)
{
    while (l->rx_len >= 4) {
        uint32_t n = tcstream_get_u32(l->rx);
        if (n > TCSTREAM_MAX_RX_BODY)
            return false;
        int32_t whole = (int32_t)n + 4;
        if (l->rx_len < whole)
            break;
        handle_frame(s, l, l->rx, n);
        std::memmove(l->rx, l->rx + whole, (size_t)(l->rx_len - whole));
        l->rx_len -= whole;
    }
    return true;
}

static void send_queues(Station* s)
{
    for (StationListener& l : s->listeners) {
        while (l.in_use && l.count > 0) {
            int32_t len = tcstream_queue_length_at(&l, 0);
            long sent = plat_net_send(l.socket, tcstream_queue_at(&l, 0) + l.head_sent, (size_t)(len - l.head_sent));
            if (sent == PLAT_NET_WOULD_BLOCK)
                break;
            if (sent < 0) {
                drop_listener(s, &l);
                break;
            }
            tcstream_queue_sent(&l, (int32_t)sent);
        }
    }
}

// The farewell: BYE straight on the socket, but never inside a frame already begun.
// A head frame that cannot be finished now leaves the listener without BYE.
static void say_bye(StationListener* l)
{
    if (l->count > 0 && l->head_sent > 0) {
        int32_t len = tcstream_queue_length_at(l, 0);
        long sent = plat_net_send(l->socket, tcstream_queue_at(l, 0) + l->head_sent, (size_t)(len - l->head_sent));
        if (sent < 0 || l->head_sent + sent < len)
            return;
    }
    uint8_t bye[8];
    plat_net_send(l->socket, bye, (size_t)tcstream_build_bye(bye));
}

// ---------------------------------------------------------------------------
// Live state and packets
// ---------------------------------------------------------------------------

static uint8_t follow_live(Station* s, uint64_t* base)
{
    uint8_t live = s->live.load(std::memory_order_relaxed);
    if (live == s->last_sent_live)
        return live;
    uint8_t frame[32];
    queue_to_all(s, frame, tcstream_build_state(frame, live != 0));
    int64_t now = tcstream_now_ns(s);
    if (live) {
        s->resync = 1;
        if (now > s->paused_at_ns)
            *base += tcstream_ns_to_frames((uint64_t)(now - s->paused_at_ns));
    } else {
        s->paused_at_ns = now;
    }
    s->last_sent_live = live;
    std::fprintf(stderr, "tcstream: %s\n", live ? "live" : "paused");
    return live;
}

// The last push's time and the written count before it, as one consistent pair.
static void read_last_push(const Station* s, int64_t* push_ns, int64_t* before)
{
    for (int tries = 0;; tries++) {
        uint32_t a = s->push_seq.load(std::memory_order_acquire);
        *push_ns = s->last_push_ns.load(std::memory_order_acquire);
        *before = s->written_before_last_push.load(std::memory_order_acquire);
        uint32_t b = s->push_seq.load(std::memory_order_relaxed);
        // The audio thread never holds the pair for long; should it be preempted in
        // the middle, a slightly stale stamp beats a stalled station.
        if ((a == b && !(a & 1)) || tries >= 100)
            return;
    }
}

static void make_packets(Station* s, uint64_t base, uint8_t live)
{
    int64_t w = s->written.load(std::memory_order_acquire);
    int64_t c = s->consumed.load(std::memory_order_relaxed);
    float frames[TCSTREAM_PACKET_FRAMES * 2];
    uint8_t packet[TCSTREAM_MAX_FRAME];
    while (w - c >= TCSTREAM_PACKET_FRAMES) {
        uint64_t idx = base + (uint64_t)(c - s->consumed_at_start);
        s->last_idx = idx;
        if (live && s->listeners_in_use.load(std::memory_order_relaxed) > 0) {
            int64_t at = c % TCSTREAM_RING_FRAMES;
            int64_t first = TCSTREAM_RING_FRAMES - at;
            if (first > TCSTREAM_PACKET_FRAMES)
                first = TCSTREAM_PACKET_FRAMES;
            std::memcpy(frames, s->ring + at * 2, sizeof(float) * 2 * (size_t)first);
            std::memcpy(frames + first * 2, s->ring, sizeof(float) * 2 * (size_t)(TCSTREAM_PACKET_FRAMES - first));
            int64_t push_ns, before;
            read_last_push(s, &push_ns, &before);
            int64_t ts = push_ns + s->lat_ns.load(std::memory_order_relaxed) +
                         (c - before) * 1000000000 / TCSTREAM_RATE;
            if (ts < 0)
                ts = 0;
            int len = tcstream_build_audio(packet, frames, s->sequence++, idx, ts, s->resync != 0);
            s->resync = 0;
            queue_to_all(s, packet, len);
        }
        c += TCSTREAM_PACKET_FRAMES;
        s->consumed.store(c, std::memory_order_release);
    }
}

// ---------------------------------------------------------------------------
// The thread
// ---------------------------------------------------------------------------

static void station_pass(Station* s, uint64_t* base)
{
    PlatSocket socks[1 + TCSTREAM_MAX_LISTENERS];
    StationListener* owners[1 + TCSTREAM_MAX_LISTENERS];
    uint8_t ready[1 + TCSTREAM_MAX_LISTENERS];
    int count = 0;
    socks[count] = s->listen_socket;
    owners[count++] = nullptr;
    for (StationListener& l : s->listeners) {
        if (l.in_use) {
            socks[count] = l.socket;
            owners[count++] = &l;
        }
    }
    if (plat_net_wait_readable(socks, count, ready, TCSTREAM_WAIT_MS) > 0) {
        if (ready[0])
            accept_listeners(s);
        for (int i = 1; i < count; i++)
            if (ready[i] && owners[i]->in_use)
                receive(s, owners[i]);
    }
    uint8_t live = follow_live(s, base);
    if (s->overflow.exchange(0, std::memory_order_relaxed))
        s->resync = 1;
    make_packets(s, *base, live);
    send_queues(s);
}

void tcstream_thread_main(void* p)
{
    Station* s = (Station*)p;
    uint64_t base = 0;
    while (s->running.load(std::memory_order_acquire))
        station_pass(s, &base);
    for (StationListener& l : s->listeners) {
        if (l.in_use) {
            say_bye(&l);
            drop_listener(s, &l);
        }
    }
    plat_net_close(s->listen_socket);
    s->listen_socket = PLAT_SOCKET_INVALID;
    s->listeners_in_use.store(0, std::memory_order_relaxed);
    s->thread_active.store(0, std::memory_order_release);
}
