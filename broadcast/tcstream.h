// tcstream.h - the broadcast station: a TCP server that streams the program's output
// as 48 kHz 16-bit stereo PCM to at most eight listeners over a small framed protocol.
// Threads: tcstream_init/start/stop/shutdown, set_live, set_latency_ns: UI thread.
//          tcstream_feed/push: audio thread [RT] (the engine's output tap).
//          The station thread (started by tcstream_start) owns the sockets and the
//          packet fields. The DNS-SD announcement's own thread writes only advertised.
//          Shared fields are atomics; each names its writer and reader.
// Depends on: platform/plat_net.h, platform/plat_thread.h, platform/plat_time.h,
//             platform/plat_mem.h, platform/plat_dnssd.h, platform/plat_file.h,
//             platform/plat_random.h, rig/rig_device.h (UTF-8 copies).
//
// Wire format (all numbers big-endian except the PCM samples): u32 N, the bytes that
// follow; "TC"; version 1; a type byte; N - 4 bytes of body. The station sends HELLO
// (JSON greeting), AUDIO (480 frames), STATE (JSON live or paused), BYE and PONG; a
// listener sends LISTENER_HELLO (JSON an and dev) and PING (its u64 time).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/plat_net.h"

enum {
    TCSTREAM_PORT = 47482,
    TCSTREAM_RATE = 48000,                 // the stream's only rate
    TCSTREAM_RING_FRAMES = 96000,          // 2 s of stereo frames
    TCSTREAM_SCRATCH_FRAMES = 8192,        // rate conversion output per block
    TCSTREAM_PACKET_FRAMES = 480,          // 10 ms per AUDIO packet
    TCSTREAM_MAX_LISTENERS = 8,
    TCSTREAM_QUEUE_FRAMES = 50,            // send queue slots per listener
    TCSTREAM_MAX_FRAME = 1956,             // one full AUDIO frame
    TCSTREAM_AUDIO_HEADER = 36,
    TCSTREAM_RX_BYTES = 1024,              // receive buffer per listener
    TCSTREAM_MAX_RX_BODY = 1020,           // largest N a listener may announce
};

enum StationFrameType : uint8_t {
    TCSTREAM_HELLO = 0x01,
    TCSTREAM_AUDIO = 0x02,
    TCSTREAM_STATE = 0x03,
    TCSTREAM_BYE = 0x04,
    TCSTREAM_LISTENER_HELLO = 0x10,
    TCSTREAM_PING = 0x11,
    TCSTREAM_PONG = 0x12,
};

// AUDIO flag bits.
enum { TCSTREAM_FLAG_RESYNC = 1, TCSTREAM_FLAG_SILENT = 2 };

// One listener slot: station thread only.
struct StationListener {
    PlatSocket socket;
    uint8_t in_use;
    char name[32];                         // upper-cased, from the listener's greeting
    char dev[32];                          // from the greeting
    uint8_t* queue;                        // TCSTREAM_QUEUE_FRAMES slots of TCSTREAM_MAX_FRAME bytes
    int32_t lengths[TCSTREAM_QUEUE_FRAMES];
    int32_t head;                          // slot of the oldest queued frame
    int32_t count;                         // frames queued
    int32_t head_sent;                     // bytes of the head frame already sent
    uint8_t carry_resync;                  // a dropped AUDIO frame had the resync flag:
                                           // the next one queued takes it
    uint8_t rx[TCSTREAM_RX_BYTES];         // received bytes not yet parsed
    int32_t rx_len;
    uint8_t greeting_logged;               // a greeting of this peer was logged ...
    int64_t greeting_logged_ns;            // ... at this station time
    uint32_t greetings_unlogged;           // greetings since then left out of the log
};

// The station. One static record owned by the shell; all zero before tcstream_init.
struct Station {
    char app[32];                          // program id, sent in HELLO
    char an[32];                           // announced name
    char kind[16];                         // what is streamed
    char tref[4];                          // time reference of the packet stamps
    char dev[64];                          // the computer's name, "PC" when unknown
    char sid[9];                           // station id, 8 lower-case hex digits
    uint16_t port;                         // TCP port; 0 at init lets the system pick,
                                           // and start stores the port it got

    // The ring: the audio thread writes frames, then publishes written (release);
    // the station thread reads written (acquire), then the frames, then publishes
    // consumed (release), which the audio thread reads (acquire) before reusing slots.
    float* ring;                           // TCSTREAM_RING_FRAMES stereo frames, L R interleaved
    std::atomic<int64_t> written;          // frames ever pushed (audio thread)
    std::atomic<int64_t> consumed;         // frames ever taken (station thread)
    // The last push's time and the written count before it: the audio thread writes the
    // pair under push_seq (odd while writing), the station thread reads it whole.
    std::atomic<uint32_t> push_seq;
    std::atomic<int64_t> last_push_ns;
    std::atomic<int64_t> written_before_last_push;
    std::atomic<uint8_t> live;             // the stream runs (UI, every frame); 1 after init
    std::atomic<uint8_t> overflow;         // a block did not fit (audio thread sets,
                                           // station thread takes by exchange)
    std::atomic<int64_t> lat_ns;           // output latency added to packet times (UI)

    // A new on-air period asks the feed to start its rate tracker afresh: the UI sets
    // this before running (release), the audio thread takes it by exchange before it
    // measures, so the tracker fields below are never written by two threads.
    std::atomic<uint8_t> tracker_restart;
    // Rate tracking and conversion to 48 kHz: the audio thread's alone.
    float* scratch;                        // TCSTREAM_SCRATCH_FRAMES stereo frames
    double phase;
    float last_l, last_r;
    double resampler_rate;
    int64_t window_start_ns, window_frames;
    double prev_window_rate;
    uint32_t windows;
    float locked_rate;
    double window_nominal;                 // the nominal rate the windows were measured
                                           // under; a new one starts the tracker afresh

    // Packet state: station thread while on air (start resets it before the thread runs).
    uint32_t sequence;                     // AUDIO packets built since the start
    uint64_t last_idx;                     // frame index of the last packet position passed
    uint8_t resync;                        // the next AUDIO packet carries the resync flag
    uint8_t last_sent_live;                // the live state last announced
    int64_t paused_at_ns;                  // station clock when the stream last stopped
    int64_t consumed_at_start;             // consumed when the station went on air

    PlatSocket listen_socket;              // PLAT_SOCKET_INVALID when off air
    StationListener listeners[TCSTREAM_MAX_LISTENERS];
    std::atomic<uint8_t> running;          // 1 while on air (UI writes, thread polls)
    std::atomic<uint8_t> thread_active;    // a station thread has not yet finished
    std::atomic<int64_t> clock_frequency;  // clock ticks per second
    std::atomic<int64_t> clock_start;      // clock reading at the station clock's zero

    // Announcement on the local network. register_request: the registration while on
    // air (UI thread only). advertised: 1 once confirmed (the announcement's thread
    // writes, anyone reads); 0 off air.
    void* register_request;
    std::atomic<uint8_t> advertised;

    std::atomic<int32_t> listeners_in_use; // slots in use (station thread writes, UI reads)
    char last_listener_label[64];          // text of the last "is listening" log line
                                           // (station thread; read it only off air)
};

// The audio thread touches only these, and never waits on them.
static_assert(std::atomic<int64_t>::is_always_lock_free);
static_assert(std::atomic<uint32_t>::is_always_lock_free);
static_assert(std::atomic<uint8_t>::is_always_lock_free);

// Fills the record once: names (each cut to its field), port, the computer's name,
// the station id, the ring, the send queues and the scratch buffer (all zeroed), the
// clock; live = 1. 0, or -1 when an allocation fails (nothing is left allocated).
int tcstream_init(Station* station, const char* app, const char* an, const char* kind, const char* tref,
                  uint16_t port, const char* dir);
void tcstream_set_latency_ns(Station* station, int64_t ns);   // null ignored
void tcstream_set_live(Station* station, int flag);           // null ignored; every frame

// Goes on air: listener socket, station thread. 0 on success or when already on air,
// -1 when the port cannot be had or the thread cannot start (then nothing stays open).
int tcstream_start(Station* station);
// Goes off air when on air: the thread sends BYE to every listener and ends (waited
// for up to 2 s), the listener socket closes. [blocks, UI thread]
void tcstream_stop(Station* station);
// tcstream_stop, then frees the ring, the scratch buffer and the queues. Call after
// the audio stream has stopped.
void tcstream_shutdown(Station* station);

bool tcstream_on_air(const Station* station);                 // running
int tcstream_listener_count(const Station* station);          // listeners connected

// Nanoseconds on the station clock (restarted by each start). [RT]
int64_t tcstream_now_ns(const Station* station);

// The engine's output, one block of interleaved stereo floats at the stream's nominal
// rate. Measures the device's true rate over 2 s windows (a rate is used once two
// windows in a row agree within 0.5 %, snapped to the standard rate it lies within
// 1.5 % of; until then, and after a change of nominal rate, the nominal rate is used),
// converts the block to 48 kHz by linear interpolation unless it already is 48 kHz
// (or the rate is unknown, 0) and pushes it. Ignored off air. [RT]
void tcstream_feed(Station* station, const float* samples, int32_t frames, double nominal_rate);
// Appends 48 kHz stereo frames to the ring; a block that does not fit is dropped
// whole and raises the overflow flag. NaN and infinite samples go in as silence.
// Ignored off air. [RT]
void tcstream_push(Station* station, const float* samples, int32_t frames);

// Greeting reader: the string value of key in a JSON text of length bytes, at most
// out_size - 1 bytes, no escapes understood; "" when missing or not a string.
void tcstream_json_get_string(const char* text, size_t length, const char* key, char* out, size_t out_size);
