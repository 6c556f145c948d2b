// tcstream_proto.h - the station's frames, built into caller's buffers: HELLO, AUDIO,
// STATE, BYE and PONG, the frame header of received frames, and the listener label.
// Threads: any (no state).
// Depends on: tcstream.h, rig/json_write.h (the greeting).
#pragma once
#include <cstddef>
#include <cstdint>

struct Station;

enum {
    TCSTREAM_VERSION = 1,
    TCSTREAM_HELLO_JSON_MAX = 640,         // room for the greeting with every field full
};

// Frame header: N = the bytes after the length word (type and body included, + 4).
void tcstream_put_header(uint8_t* out, uint32_t n, uint8_t type);
uint32_t tcstream_get_u32(const uint8_t* p);
uint64_t tcstream_get_u64(const uint8_t* p);
void tcstream_put_u32(uint8_t* p, uint32_t v);
void tcstream_put_u64(uint8_t* p, uint64_t v);

// The greeting as compact JSON (strings escaped as JSON requires). Returns its length,
// or -1 when it does not fit in out_size - 1 bytes.
int tcstream_hello_json(const Station* station, char* out, size_t out_size);
// The HELLO frame; -1 when it would not fit in out_size or in one queue slot.
int tcstream_build_hello(const Station* station, uint8_t* out, size_t out_size);
// STATE {"state":"live"} (24 bytes) or {"state":"paused"} (26 bytes); out holds 32.
int tcstream_build_state(uint8_t* out, bool live);
int tcstream_build_bye(uint8_t* out);                  // 8 bytes
// PONG: the listener's time echoed, then two station clock readings (32 bytes).
int tcstream_build_pong(uint8_t* out, uint64_t echo, int64_t t1, int64_t t2);
// AUDIO from 480 interleaved stereo frames: 36 bytes when every sample lies within
// +-2^-16 (or is NaN), else 1956 with the samples as 16-bit PCM. out holds 1956.
int tcstream_build_audio(uint8_t* out, const float* frames, uint32_t sequence, uint64_t idx, int64_t ts,
                         bool resync);
// One sample as PCM16: trunc(clamp(x, -1, 1) * 32767), NaN as 0.
int16_t tcstream_pcm16(float x);

// "NAME (dev)", or "NAME" when dev is empty, cut to out_size.
void tcstream_listener_label(const char* name, const char* dev, char* out, size_t out_size);
