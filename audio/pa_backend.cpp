// pa_backend.cpp - the engine's audio library table over PortAudio.
// Exclusive mode: PortAudio has no exclusive switch on Linux. An exclusive open is
// granted when both sides are ALSA devices that name a hardware device ("(hw:N,M)"),
// which PortAudio opens directly; anything else is refused, and the engine falls
// back to a shared open.
#include <pa_jack.h>

#include <cstring>

#include "audio/audio_backend.h"
#include "audio/engine.h"
#include "audio/looper.h"

static bool pa_is_hw_device(PaDeviceIndex device)
{
    const PaDeviceInfo* di = device >= 0 ? Pa_GetDeviceInfo(device) : nullptr;
    if (!di || !di->name)
        return false;
    const PaHostApiInfo* hi = Pa_GetHostApiInfo(di->hostApi);
    return hi && hi->type == paALSA && std::strstr(di->name, "(hw:") != nullptr;
}

static PaError pa_open(PaStream** stream, const PaStreamParameters* in, const PaStreamParameters* out,
                       double rate, unsigned long frames, PaStreamFlags flags, PaStreamCallback* cb,
                       void* user, int exclusive)
{
    if (exclusive) {
        if ((in && !pa_is_hw_device(in->device)) || !out || !pa_is_hw_device(out->device))
            return paInvalidDevice;
    }
    return Pa_OpenStream(stream, in, out, rate, frames, flags, cb, user);
}

static const EngineBackend g_portaudio = {
    Pa_Initialize,
    Pa_Terminate,
    Pa_GetDeviceCount,
    Pa_GetDeviceInfo,
    Pa_GetHostApiInfo,
    Pa_HostApiTypeIdToHostApiIndex,
    Pa_GetDefaultInputDevice,
    Pa_GetDefaultOutputDevice,
    pa_open,
    Pa_StartStream,
    Pa_StopStream,
    Pa_CloseStream,
    Pa_GetStreamInfo,
};

const EngineBackend* engine_backend_portaudio(void)
{
    return &g_portaudio;
}

int engine_stream_callback(const void* input, void* output, unsigned long frames,
                           const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags, void* user)
{
    return engine_audio_callback(input, output, frames, time, flags, user);
}

void engine_set_client_name(const char* name)
{
    // PortAudio keeps the pointer: the caller passes text that lives as long as the
    // program. A name JACK would refuse leaves PortAudio's own.
    if (name && name[0])
        PaJack_SetClientName(name);
}
