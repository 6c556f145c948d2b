// tcstream_queue.cpp - the listener send queue. Moving a frame within the ring costs
// one slot copy, so no operation shifts more than one frame.
#include "broadcast/tcstream_queue.h"

#include <cstring>

#include "broadcast/tcstream.h"

enum { Q = TCSTREAM_QUEUE_FRAMES };

static int32_t slot_of(const StationListener* l, int32_t pos)
{
    return (l->head + pos) % Q;
}

static void copy_slot(StationListener* l, int32_t to, int32_t from)
{
    std::memcpy(l->queue + (size_t)to * TCSTREAM_MAX_FRAME, l->queue + (size_t)from * TCSTREAM_MAX_FRAME,
                (size_t)l->lengths[from]);
    l->lengths[to] = l->lengths[from];
}

static void put_slot(StationListener* l, int32_t slot, const uint8_t* frame, int32_t len)
{
    std::memcpy(l->queue + (size_t)slot * TCSTREAM_MAX_FRAME, frame, (size_t)len);
    l->lengths[slot] = len;
}

void tcstream_queue_clear(StationListener* l)
{
    l->head = 0;
    l->count = 0;
    l->head_sent = 0;
    l->carry_resync = 0;
}

static bool is_audio(const uint8_t* f, int32_t len)
{
    return len >= TCSTREAM_AUDIO_HEADER && f[7] == TCSTREAM_AUDIO;
}

// Before the frame at pos leaves the queue unsent: when it is AUDIO with the resync
// flag, the flag moves to the next AUDIO frame behind it, or to the next one queued.
static void keep_resync(StationListener* l, int32_t pos)
{
    const uint8_t* f = tcstream_queue_at(l, pos);
    if (!is_audio(f, tcstream_queue_length_at(l, pos)) || !(f[11] & TCSTREAM_FLAG_RESYNC))
        return;
    for (int32_t i = pos + 1; i < l->count; i++) {
        uint8_t* later = tcstream_queue_at(l, i);
        if (is_audio(later, tcstream_queue_length_at(l, i))) {
            later[11] |= TCSTREAM_FLAG_RESYNC;
            return;
        }
    }
    l->carry_resync = 1;
}

uint8_t* tcstream_queue_at(StationListener* l, int32_t pos)
{
    return l->queue + (size_t)slot_of(l, pos) * TCSTREAM_MAX_FRAME;
}

int32_t tcstream_queue_length_at(const StationListener* l, int32_t pos)
{
    return l->lengths[slot_of(l, pos)];
}

// Drops the frame behind the head: the head (with its sent bytes) moves one slot on,
// over it, which is the same as shifting every later frame forward.
static void drop_behind_head(StationListener* l)
{
    int32_t next = slot_of(l, 1);
    copy_slot(l, next, l->head);
    l->head = next;
    l->count--;
}

bool tcstream_queue_append(StationListener* l, const uint8_t* frame, int32_t len)
{
    if (!l->queue || len < 1 || len > TCSTREAM_MAX_FRAME)
        return false;
    if (l->count == Q) {
        if (l->head_sent > 0) {
            keep_resync(l, 1);
            drop_behind_head(l);
        } else {
            keep_resync(l, 0);
            l->head = slot_of(l, 1);
            l->count--;
        }
    }
    int32_t slot = slot_of(l, l->count);
    put_slot(l, slot, frame, len);
    l->count++;
    uint8_t* queued = l->queue + (size_t)slot * TCSTREAM_MAX_FRAME;
    if (l->carry_resync && is_audio(queued, len)) {
        queued[11] |= TCSTREAM_FLAG_RESYNC;
        l->carry_resync = 0;
    }
    return true;
}

bool tcstream_queue_front(StationListener* l, const uint8_t* frame, int32_t len)
{
    if (!l->queue || len < 1 || len > TCSTREAM_MAX_FRAME)
        return false;
    if (l->count == Q) {
        keep_resync(l, Q - 1);
        l->count--;
    }
    int32_t before = (l->head + Q - 1) % Q;
    if (l->count > 0 && l->head_sent > 0) {
        // The partly sent head moves one slot back and the new frame takes its place,
        // second in line.
        copy_slot(l, before, l->head);
        put_slot(l, l->head, frame, len);
    } else {
        put_slot(l, before, frame, len);
    }
    l->head = before;
    l->count++;
    return true;
}

void tcstream_queue_sent(StationListener* l, int32_t n)
{
    if (l->count < 1 || n < 1)
        return;
    l->head_sent += n;
    if (l->head_sent >= l->lengths[l->head]) {
        l->head = slot_of(l, 1);
        l->count--;
        l->head_sent = 0;
    }
}
