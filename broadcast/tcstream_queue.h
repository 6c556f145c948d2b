// tcstream_queue.h - a listener's send queue: 50 whole frames of at most 1956 bytes in
// a ring, sent from the head; when full it loses whole frames, never a frame in flight.
// Threads: the station thread (one listener is never shared).
// Depends on: tcstream.h.
#pragma once
#include <cstdint>

struct StationListener;

void tcstream_queue_clear(StationListener* l);
// The queued frame at position pos (0 = head) and its length.
uint8_t* tcstream_queue_at(StationListener* l, int32_t pos);
int32_t tcstream_queue_length_at(const StationListener* l, int32_t pos);

// Appends at the tail. When full, drops the oldest frame not yet started: the head,
// or the frame behind it when the head is partly sent. A dropped AUDIO frame with the
// resync flag hands the flag to the next AUDIO frame not yet started, so the listener
// still learns of the break. False (nothing queued) for a length below 1 or above 1956.
bool tcstream_queue_append(StationListener* l, const uint8_t* frame, int32_t len);
// Puts a frame first in line: in front of every queued frame, or right behind a head
// frame that is partly sent. When full, the last frame is dropped first.
bool tcstream_queue_front(StationListener* l, const uint8_t* frame, int32_t len);
// Marks n more bytes of the head frame sent; a finished head leaves the queue.
void tcstream_queue_sent(StationListener* l, int32_t n);
