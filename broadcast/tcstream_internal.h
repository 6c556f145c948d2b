// tcstream_internal.h - what the station's own files share: the station thread, the
// station id, the announcement on the local network and the feed's clock seam.
// Threads: as named on each.
// Depends on: tcstream.h.
#pragma once
#include <cstdint>

struct Station;

// The station thread's body: serves listeners while running is 1, then says BYE to
// each, closes every socket it owns and clears thread_active. [station thread]
void tcstream_thread_main(void* station);

// Fixes the station id for this run into station->sid. [UI, from tcstream_init]
void tcstream_station_id(Station* station, const char* dir);

// Announces the station on the local network and withdraws it again. Neither is built
// yet: listeners connect by address, and advertised stays 0. [UI]
void tcstream_advertise(Station* station);
void tcstream_withdraw(Station* station);

// tcstream_feed with the station clock already read: now_ns is the time the rate
// tracker dates this block with (the push still reads the clock). [RT]
void tcstream_feed_at(Station* station, const float* samples, int32_t frames, double nominal_rate,
                      int64_t now_ns);

// Runs the rate tracker and the converter once on silence and clears what they left,
// so their code is paged in and bound before the audio thread first needs it.
// [UI, from tcstream_init, before the station is ever on air]
void tcstream_feed_warm_up(Station* station);

// Frames of audio a span of station-clock time covers at 48 kHz, without overflow
// for any span.
uint64_t tcstream_ns_to_frames(uint64_t ns);
