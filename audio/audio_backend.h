// audio_backend.h - the audio library calls the engine makes, as a table, so that
// tests can drive every branch of the stream set-up with a scripted fake.
// Threads: UI thread (the callback given to open_stream runs on the audio thread).
// Depends on: PortAudio's types.
#pragma once
#include <portaudio.h>

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
};

const EngineBackend* engine_backend_portaudio(void);   // the real library

// The engine's callback with PortAudio's exact signature.
int engine_stream_callback(const void* input, void* output, unsigned long frames,
                           const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags,
                           void* user);
