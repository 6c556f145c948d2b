// engine.h - the one audio engine record and its duplex stream.
// Threads: engine_init/shutdown/start/stop and the device functions: UI thread only.
//          engine_audio_callback (looper.h): audio thread [RT].
// Shared fields are relaxed atomics written by the side named on each; the stream
// fields change only while no stream is open, so the callback never sees them move.
// Depends on: fx.h, vst.h, rig/rig_device.h, rig/router.h, platform/plat_audio_api.h.
#pragma once
#include <atomic>
#include <cstdint>

#include "audio/fx.h"
#include "rig/rig_device.h"

struct RigRouter;
struct VstPlugin;
struct EngineBackend;
struct PlatHostApiPolicy;

enum {
    ENGINE_MAX_BLOCK = 4096,             // largest block the callback handles at once
    ENGINE_LOOP_CAPACITY = 17280000,     // loop frames: 360 s at 48 kHz
    ENGINE_SLOTS = 4,                    // slots 0-1 patch A, 2-3 patch B
    ENGINE_RUNOUTS = 8,                  // run-outs fading at once (see EngineRunout): four
                                         // long ones, and room for those ending quickly
};

// Receives every finished output block (interleaved stereo) on the audio thread.
typedef void (*EngineOutputTap)(void* ctx, const float* interleaved, int32_t frames, int32_t rate);
// Adds an extra stereo source into two zeroed buffers on the audio thread.
typedef void (*EngineRenderHook)(void* ctx, float* left, float* right, int32_t frames, double rate);

// A read of the loop that runs on after playback has left it (a stop, a clear, a turn
// of direction) and fades out, so the output never cuts. After a stop or a turn while
// recording it also goes on writing the record ramp's tail into the loop the old way,
// as if playing had gone on until the ramp died. Several run at once, so changes made
// in quick succession each fade; one taken over by a newer change ends its tail through
// a short fade instead of at once. Audio thread only.
struct EngineRunout {
    int32_t position = 0;
    int32_t length = 0;        // the loop length it wraps at
    int32_t step = 1;          // +1 forward, -1 reversed
    float gain = 0.0f;         // its share of the output, falling to 0
    float ramp = 0.0f;         // record ramp of the tail it writes, falling
    float fall = 0.0f;         // > 0: taken over, the ramp falls by this much per frame
};

struct Engine {
    // Transport and input settings: UI writes, callback reads once per block.
    std::atomic<uint8_t> monitor{1};
    std::atomic<uint8_t> record{0};
    std::atomic<uint8_t> hold_dub{0};
    std::atomic<uint8_t> playing{1};
    std::atomic<uint8_t> reversed{0};
    std::atomic<float> gain{1.0f};            // linear input gain
    std::atomic<float> pan{0.0f};             // -1 left .. +1 right
    std::atomic<float> gate_threshold{0.0f};  // linear peak; 0 = gate off
    FxSlot slots[ENGINE_SLOTS];
    std::atomic<float> wet_dry{1.0f};         // share of the patch output in the bus
    std::atomic<float> crossfade{1.0f};       // 1 = all patch A
    std::atomic<uint8_t> fx_bypass{0};
    std::atomic<VstPlugin*> instrument{nullptr};   // publish/retire rule of the plug-in host

    // One-shot requests: UI sets, callback takes.
    std::atomic<uint8_t> clear_request{0};
    std::atomic<uint8_t> close_request{0};
    std::atomic<int32_t> seek_request{-1};
    std::atomic<int32_t> length_request{0};   // taken by exchange with 0

    // Loop state: callback writes (the UI only inside loop_begin_write/loop_end_write).
    std::atomic<int32_t> position{0};
    std::atomic<int32_t> length{0};           // 0 = no loop yet

    // Meters and counters: callback writes, UI reads (and clears the clip latches).
    std::atomic<float> input_peak{0.0f};
    std::atomic<float> output_peak{0.0f};
    std::atomic<uint8_t> input_clip{0};
    std::atomic<uint8_t> output_clip{0};
    std::atomic<uint32_t> wrap_count{0};
    std::atomic<uint32_t> loop_set_count{0};
    std::atomic<uint32_t> callback_count{0};
    std::atomic<uint32_t> content_generation{0};
    std::atomic<int32_t> block_frames{0};     // frames of the latest callback

    // Callback-only state.
    float record_ramp = 0.0f;
    uint8_t first_pass_was_recording = 0;
    float gate_envelope = 0.0f;
    float gate_gain = 0.0f;
    // What the output and the input path have reached of the UI's settings: changes
    // glide over a few milliseconds instead of stepping at a block's start.
    uint8_t glides_primed = 0;                // the first block takes the settings as they are
    float glide_gain_l = 1.0f;                // input gain with the pan's share, per side
    float glide_gain_r = 1.0f;
    float glide_wet_dry = 1.0f;
    float glide_crossfade = 1.0f;
    float glide_monitor = 1.0f;               // the monitored input's share of the output
    float glide_play = 1.0f;                  // loop playback's share of the output
    uint8_t was_playing = 1;                  // transport as the previous block saw it
    uint8_t was_reversed = 0;
    int32_t left_position = 0;                // position and length the previous block
    int32_t left_length = 0;                  // stored: others mean the UI replaced the loop
    EngineRunout runouts[ENGINE_RUNOUTS];

    // Owned arrays, allocated by engine_init.
    float* loop_left = nullptr;
    float* loop_right = nullptr;
    float* bus_left = nullptr;
    float* bus_right = nullptr;
    float* patch_a_left = nullptr;
    float* patch_a_right = nullptr;
    float* patch_b_left = nullptr;
    float* patch_b_right = nullptr;

    // Stream and device state: UI thread, changed only while no stream is open.
    void* stream = nullptr;
    double sample_rate = 48000.0;
    int32_t buffer_frames = 128;
    int32_t input_channels = 0;               // 0 = output-only stream
    int32_t chosen_input_device = -1;         // -1 = automatic
    char missing_name[128] = {};              // a chosen device whose server has gone
    char missing_label[32] = {};              // (empty: none), chosen again when back
    uint8_t exclusive_wanted = 0;
    uint8_t exclusive_granted = 0;
    double latency_ms = 0.0;
    int32_t latency_block = 0;                // the block the latency was read for; after a
                                              // stop, the last stream's (0: none ran yet)
    char input_name[128] = {};
    char host_label[32] = {};
    uint8_t asio = 0;                         // output runs on the direct host API
    int32_t open_input_device = 0;
    char error_text[256] = {};
    uint8_t running = 0;
    RigRouter* router = nullptr;              // set once by the shell
    RigDeviceInfo opened_device = {};
    uint32_t stream_stamp = 0;
    void* stream_tag = nullptr;               // the open stream's EngineStreamTag
    uint32_t streams_abandoned = 0;           // streams whose stop never returned
    uint32_t watch_count = 0;                 // callback count at the last watch that saw it move
    double watch_time = 0.0;                  // when it last moved (seconds)
    uint8_t callbacks_seen = 0;               // the stream has called back
    int32_t block_reported = 0;               // the callback's block size last reported

    // Hooks: UI stores the context first, then the function (release), and clears
    // the function first (seq_cst); callback loads the function (seq_cst), then the
    // context, inside its block counters.
    std::atomic<EngineOutputTap> output_tap{nullptr};
    std::atomic<void*> output_tap_ctx{nullptr};
    std::atomic<uint8_t> player_to_input{0};
    std::atomic<EngineRenderHook> render_hook{nullptr};
    std::atomic<void*> render_hook_ctx{nullptr};
    float hook_left[ENGINE_MAX_BLOCK] = {};
    float hook_right[ENGINE_MAX_BLOCK] = {};

    // Hand-over between UI writers of the loop and the callback: the UI raises the
    // hold and waits until every block that might not have seen it has left.
    std::atomic<uint8_t> loop_hold{0};
    // A UI write that replaces the loop first asks (1) for its playback to fade out as
    // a stop fades it; the callback answers (2) once nothing of the loop is heard.
    std::atomic<uint8_t> loop_fade_out{0};
    std::atomic<uint64_t> blocks_entered{0};
    std::atomic<uint64_t> blocks_left{0};

    // Writers reading the loop off the UI thread (the session take): while any does,
    // shutdown leaves the loop arrays for the process's exit to reclaim.
    std::atomic<int32_t> loop_readers{0};
};

static_assert(std::atomic<uint8_t>::is_always_lock_free);
static_assert(std::atomic<float>::is_always_lock_free);
static_assert(std::atomic<int32_t>::is_always_lock_free);
static_assert(std::atomic<uint32_t>::is_always_lock_free);
static_assert(std::atomic<uint64_t>::is_always_lock_free);
static_assert(std::atomic<void*>::is_always_lock_free);

// The program's one engine.
Engine* engine_instance(void);

// Chooses the audio library behind the engine and the host API roles (tests pass a
// scripted fake and the Windows roles); null restores PortAudio and this platform's.
// Call before engine_init.
void engine_use_backend(const EngineBackend* backend, const PlatHostApiPolicy* policy);

// The name the audio server shows for the program's client (JACK: its ports are
// "<name>:in_0" ...). Call before engine_init, with text that outlives the engine;
// without it the audio library's own name is used.
void engine_set_client_name(const char* name);

bool engine_init(Engine* e);                  // defaults, arrays, slots, audio library
void engine_shutdown(Engine* e);              // stops the stream, frees everything
                                              // (the loop only when no writer reads it)
// A thread that reads the loop arrays enters before it starts (on the UI thread, so
// no shutdown can come between) and leaves when it no longer reads them.
void engine_loop_reader_enter(Engine* e);
void engine_loop_reader_leave(Engine* e);
bool engine_start(Engine* e);                 // (re)opens and starts the stream
// Stops and closes the stream; the meters' peaks read silence. Returns within about
// 2 s: a stop the audio library does not finish in time is left on its worker and
// the stream abandoned.
void engine_stop(Engine* e);
// Once a frame: reads the latency again when the callback's block size changed, and
// notices a stream that stopped without being asked (it ended, its server went away,
// or no callback came for 1 s while running) and closes it; the engine is then in
// the no-stream state. A first pass it cut off is closed into the loop as a close
// request would close it, and recording stops; otherwise loop and settings are
// untouched.
void engine_watch(Engine* e);
void engine_set_input_device(Engine* e, int device);
bool engine_set_exclusive(Engine* e, int flag);
// Steps the buffer size through 64..1024 (wrapping) and reopens the stream; a stream
// whose server sets the block size (JACK) is not reopened, the server is asked for
// the size instead. False when the server refused it (the buffer size is unchanged).
bool engine_cycle_buffer_size(Engine* e, int direction);
int engine_next_buffer_size(const Engine* e, int direction);   // the size a step from the block in force goes to
// The block size the stream runs at: the callback's own while it runs (a server may
// keep its own period), else the buffer size.
int engine_block_in_force(const Engine* e);
// Steps the input through every host API's devices (wrapping) and reopens the stream.
// While no stream runs, the chosen device (or the automatic one) is opened again
// instead; the step is taken only when the chosen device is gone.
void engine_cycle_input_device(Engine* e, int direction);
// Looks for audio servers again: a JACK server that went away is dropped, one that
// came back is reached, clients that came or went are listed afresh. The chosen
// device is found again by its name and label, since its index may have moved; while
// it is gone the choice is automatic, but it is kept (and saved) and taken again once
// it is back. A running stream runs on (its device's index is found again too).
void engine_rescan(Engine* e);
int engine_pick_input_device(Engine* e);                       // automatic choice or -1
int engine_list_input_devices(Engine* e, int* out, int max);   // direct API, then system API
int engine_find_input_device(Engine* e, const char* name, const char* label);   // or -1
// The chosen input device's name and label for the settings: also while its server
// is gone; empty texts when the choice is automatic.
void engine_chosen_device_label(Engine* e, char* name, int name_size, char* label, int label_size);
void engine_device_label(Engine* e, int device, char* name, int name_size, char* label,
                         int label_size);
bool engine_open_stream(Engine* e, int device, double rate, int channels);

// Sets the hooks (UI thread, once): the context first, then the function (release).
void engine_set_output_tap(Engine* e, EngineOutputTap tap, void* ctx);
void engine_set_render_hook(Engine* e, EngineRenderHook hook, void* ctx);
// Takes a hook back: clears the function, waits (up to timeout_ms) until no block
// that may have loaded it is still running, then clears the context. After a true
// result the callback no longer calls the old function, and its context may be
// freed. False on timeout: the context is left in place for a block still running.
// [blocks, UI thread]
bool engine_clear_output_tap(Engine* e, int timeout_ms);
bool engine_clear_render_hook(Engine* e, int timeout_ms);

// Waits (bounded) until every callback block that began before this call has ended.
// Returns true at once when no stream runs, false on timeout. [blocks, UI thread]
bool engine_wait_blocks_passed(Engine* e, int timeout_ms);
