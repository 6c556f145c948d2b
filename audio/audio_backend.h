// audio_backend.h - the audio library calls the engine makes, as a table, so that
// tests can drive every branch of the stream set-up with a scripted fake.
// Threads: UI thread (the callback given to open_stream runs on the audio thread).
// Depends on: PortAudio's types.
#pragma once
#include <portaudio.h>

#include <atomic>
#include <cstdint>

struct Engine;

// What each opened stream's callback is handed as its user data: one per stream, so
// a stream the UI gave up on can be told apart from the one that replaced it.
// UI writes engine and live before the open; clears live when it abandons the stream.
// The audio side reads live each block and sets finished when the stream ends.
struct EngineStreamTag {
    Engine* engine = nullptr;
    std::atomic<uint8_t> live{1};
    std::atomic<uint8_t> finished{0};
};
static_assert(std::atomic<uint8_t>::is_always_lock_free);

struct EngineBackend {
    PaError (*initialize)(void);
    PaError (*terminate)(void);
    PaDeviceIndex (*device_count)(void);
    const PaDeviceInfo* (*device_info)(PaDeviceIndex device);          // null when unknown
    const PaHostApiInfo* (*host_api_info)(PaHostApiIndex api);         // null when unknown
    PaHostApiIndex (*host_api_type_to_index)(PaHostApiTypeId type);    // negative when absent
    PaDeviceIndex (*default_input_device)(void);
    PaDeviceIndex (*default_output_device)(void);
    // exclusive: ask for the system host API's exclusive mode on both sides.
    PaError (*open_stream)(PaStream** stream, const PaStreamParameters* in,
                           const PaStreamParameters* out, double rate, unsigned long frames,
                           PaStreamFlags flags, PaStreamCallback* cb, void* user, int exclusive);
    PaError (*start_stream)(PaStream* stream);
    PaError (*stop_stream)(PaStream* stream);
    PaError (*close_stream)(PaStream* stream);
    const PaStreamInfo* (*stream_info)(PaStream* stream);              // null when unknown
    // 1 while the started stream still runs, 0 once it ended on its own (its server
    // went away); null: always 1.
    int (*stream_active)(PaStream* stream);
    // Looks for audio servers again (a server that went away, or came back) and
    // refreshes the devices they bring. `frames` is the block size to ask of a graph
    // that takes it. Device indices may change. Null: nothing to look for.
    void (*rescan)(int frames);
    // For a stream whose block size its server sets (JACK): asks the server for
    // `frames` when above 0, and returns the size the server runs after that (the
    // old one when it refused). 0 for a stream that takes its block size at the open,
    // and null: a new size needs a new stream.
    int (*server_block_size)(PaStream* stream, int frames);
};

const EngineBackend* engine_backend_portaudio(void);   // the real library

// The engine's callback with PortAudio's exact signature; `user` is the stream's
// EngineStreamTag. A stream whose tag is no longer live gets silence and is aborted.
int engine_stream_callback(const void* input, void* output, unsigned long frames,
                           const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags,
                           void* user);
