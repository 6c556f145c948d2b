// tcstream_internal.h - what the station's own files share: the station thread, the
// station id, the announcement on the local network and the feed's clock seam.
// Threads: as named on each.
// Depends on: tcstream.h.
#pragma once
#include <cstddef>
#include <cstdint>

struct Station;
struct StationListener;

// The station thread's body: serves listeners while running is 1, then says BYE to
// each, closes every socket it owns and clears thread_active. [station thread]
void tcstream_thread_main(void* station);

// Handles every whole frame in the listener's received bytes (a greeting names it, a
// PING is answered with a PONG ahead of its queue) and keeps the rest for later.
// False when the listener announced a frame longer than any it may send: it is then
// to be dropped. [station thread]
bool tcstream_take_frames(Station* station, StationListener* listener);

// Fixes the station id for this run into station->sid. [UI, from tcstream_init]
void tcstream_station_id(Station* station, const char* dir);

// Announces the station on the local network by DNS-SD ("_tc-stream._tcp") and
// withdraws it again. Announcing is best effort: a failure is logged, advertised stays
// 0 and the station serves on. advertised becomes 1 when the announcement is confirmed.
// [UI]
void tcstream_advertise(Station* station);
void tcstream_withdraw(Station* station);

// The outcome of an announcement (established 1: confirmed; 0: refused, or the daemon
// went away). Sets advertised and logs. [the announcement's own thread]
void tcstream_on_registered(void* station, int established, const char* message);

enum {
    TCSTREAM_INSTANCE_MAX = 63,     // bytes of a service instance name (one DNS label)
    TCSTREAM_TXT_STRING_MAX = 255,  // bytes of one TXT string, "key=value"
    TCSTREAM_TXT_PAIRS = 11,
};

// The instance name "<an> · <dev>": dev is cut to 47 bytes, then shortened by whole
// UTF-8 characters until the name fits TCSTREAM_INSTANCE_MAX bytes. Returns its length.
int tcstream_instance_name(const char* an, const char* dev, char* out, size_t cap);

// The station's TXT record: tc, v, app, an, kind, dev, sid, codec, ch, rate, os.
struct StationTxt {
    const char* keys[TCSTREAM_TXT_PAIRS];
    char values[TCSTREAM_TXT_PAIRS][TCSTREAM_TXT_STRING_MAX + 1];
};
void tcstream_txt_build(const Station* station, StationTxt* txt);
// value cut at a whole UTF-8 character so that "key=value" fits one TXT string.
void tcstream_txt_value(const char* key, const char* value, char* out, size_t cap);

// Reads an id file: 1 with sid (9 bytes) set when its first line begins with 8 digits
// 0-9 a-f; else 0 and sid untouched. Only a regular file is read.
int tcstream_read_sid(const char* path, char* sid);

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
