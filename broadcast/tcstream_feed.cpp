// tcstream_feed.cpp - the producer side of the station ring, called from the engine's
// output tap on the audio thread: no allocation, no lock, no wait, no log. [RT]
#include <atomic>
#include <cstring>

#include "broadcast/tcstream.h"

void tcstream_feed(Station* s, const float* samples, int32_t frames, double nominal_rate)
{
    if (!s || !samples || frames < 1 || !s->running.load(std::memory_order_acquire))
        return;
    // The device's measured rate will take the nominal rate's place here.
    double rate = nominal_rate;
    if (rate <= 0.0 || (rate > 47999.0 && rate < 48001.0)) {
        tcstream_push(s, samples, frames);
        return;
    }
    // Other rates must be converted to 48 kHz first; until that conversion exists
    // their blocks are not sent rather than sent at the wrong pitch.
}

void tcstream_push(Station* s, const float* samples, int32_t frames)
{
    if (!s || !samples || frames < 1 || !s->ring || !s->running.load(std::memory_order_acquire))
        return;
    int64_t w = s->written.load(std::memory_order_relaxed);
    int64_t c = s->consumed.load(std::memory_order_acquire);
    if (w - c + frames > TCSTREAM_RING_FRAMES) {
        s->overflow.store(1, std::memory_order_relaxed);
        return;
    }
    int64_t at = w % TCSTREAM_RING_FRAMES;
    int64_t first = TCSTREAM_RING_FRAMES - at;
    if (first > frames)
        first = frames;
    std::memcpy(s->ring + at * 2, samples, sizeof(float) * 2 * (size_t)first);
    std::memcpy(s->ring, samples + first * 2, sizeof(float) * 2 * (size_t)(frames - first));

    // The pair is written under the sequence counter so the station thread never
    // dates a packet with the time of one push and the count of another.
    // Release on each field keeps the odd count ahead of it; the reader loads the
    // fields with acquire, so seeing either new value means seeing the odd count.
    uint32_t seq = s->push_seq.load(std::memory_order_relaxed);
    s->push_seq.store(seq + 1, std::memory_order_relaxed);
    s->last_push_ns.store(tcstream_now_ns(s), std::memory_order_release);
    s->written_before_last_push.store(w, std::memory_order_release);
    s->push_seq.store(seq + 2, std::memory_order_release);
    s->written.store(w + frames, std::memory_order_release);
}
