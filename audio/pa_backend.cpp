// pa_backend.cpp - the engine's audio library table: PortAudio for the system's host
// APIs (ALSA), and the program's own JACK client (platform/plat_jack.h) as the JACK
// host API, so that a JACK server that goes away can be reached again when it comes
// back (the library's own JACK host API cannot).
// Indices: PortAudio's devices come first, then the JACK client's; the JACK host API
// is the index after PortAudio's last.
// Exclusive mode: PortAudio has no exclusive switch on Linux. An exclusive open is
// granted when both sides are ALSA devices that name a hardware device ("(hw:N,M)"),
// which PortAudio opens directly; anything else is refused, and the engine falls
// back to a shared open.
// Threads: UI thread; the JACK adapter and the callbacks run on the audio threads.
#include <pa_linux_alsa.h>

#include <cstdio>
#include <cstring>

#include "audio/audio_backend.h"
#include "audio/engine.h"
#include "audio/looper.h"
#include "platform/plat_audio_quiet.h"
#include "platform/plat_jack.h"
#include "platform/plat_mem.h"
#include "platform/plat_thread.h"

// ---------------------------------------------------------------------------
// Static state
// ---------------------------------------------------------------------------

enum { kAdapterFrames = ENGINE_MAX_BLOCK };
// A JACK server that runs no cycle of the client for this long is taken as gone
// (longer than the longest period a server runs: 8192 frames at 48 kHz).
static const double kServerAnswerSeconds = 0.3;

// Without a name from the program, the audio library's own.
static const char* g_client_name = "PortAudio";

// The JACK devices and host API as PortAudio records, rebuilt at each rescan.
static PaDeviceInfo g_jack_infos[PLAT_JACK_MAX_DEVICES];
static char g_jack_names[PLAT_JACK_MAX_DEVICES][64];
static int g_jack_count = 0;
static PaHostApiInfo g_jack_api;
static bool g_jack_up = false;

// The one JACK stream: interleaving buffers and the callback it feeds. Written by the
// UI only while the stream is not started (plat_jack's hand-over).
struct JackAdapter {
    PaStreamCallback* cb = nullptr;
    void* user = nullptr;
    int in_channels = 0;
    float* in_buf = nullptr;        // kAdapterFrames x PLAT_JACK_MAX_INPUTS, allocated once
    float* out_buf = nullptr;       // kAdapterFrames x 2
    bool ended = false;             // audio thread: the callback asked to stop
    PaStreamInfo info = {};
};
static JackAdapter g_adapter;
static int g_jack_stream_token;
static PaStream* const kJackStream = (PaStream*)&g_jack_stream_token;

static bool g_rt_checked = false;

// ---------------------------------------------------------------------------
// Index mapping
// ---------------------------------------------------------------------------

static int pa_devices(void)
{
    int n = Pa_GetDeviceCount();
    return n > 0 ? n : 0;
}

static int pa_apis(void)
{
    int n = Pa_GetHostApiCount();
    return n > 0 ? n : 0;
}

// The JACK device index behind a combined index, or -1.
static int jack_index(PaDeviceIndex d)
{
    int k = d - pa_devices();
    return d >= 0 && k >= 0 && k < g_jack_count ? k : -1;
}

static void jack_build_infos(void)
{
    g_jack_up = plat_jack_connected();
    g_jack_count = g_jack_up ? plat_jack_device_count() : 0;
    int base = pa_devices();
    for (int k = 0; k < g_jack_count; k++) {
        const PlatJackDevice* d = plat_jack_device(k);
        snprintf(g_jack_names[k], sizeof g_jack_names[k], "%s", d->name);
        PaDeviceInfo& info = g_jack_infos[k];
        info = PaDeviceInfo{};
        info.structVersion = 2;
        info.name = g_jack_names[k];
        info.hostApi = pa_apis();
        info.maxInputChannels = d->inputs;
        info.maxOutputChannels = d->outputs;
        info.defaultLowInputLatency = info.defaultHighInputLatency = d->input_latency;
        info.defaultLowOutputLatency = info.defaultHighOutputLatency = d->output_latency;
        info.defaultSampleRate = plat_jack_rate();
    }
    g_jack_api = PaHostApiInfo{};
    g_jack_api.structVersion = 1;
    g_jack_api.type = paJACK;
    g_jack_api.name = "JACK Audio Connection Kit";
    g_jack_api.deviceCount = g_jack_count;
    int in = plat_jack_default_input(), out = plat_jack_default_output();
    g_jack_api.defaultInputDevice = in >= 0 ? base + in : paNoDevice;
    g_jack_api.defaultOutputDevice = out >= 0 ? base + out : paNoDevice;
}

// ---------------------------------------------------------------------------
// The JACK stream
// ---------------------------------------------------------------------------

// [RT] One server cycle through the engine's interleaved callback, in pieces of at
// most kAdapterFrames.
static void jack_adapter_process(void* user, const float* const* in, int in_count, float* const* out,
                                 int out_count, int frames)
{
    JackAdapter* a = (JackAdapter*)user;
    static const PaStreamCallbackTimeInfo time = {0.0, 0.0, 0.0};
    for (int done = 0; done < frames;) {
        int n = frames - done < kAdapterFrames ? frames - done : kAdapterFrames;
        if (a->ended) {
            for (int c = 0; c < out_count; c++)
                std::memset(out[c] + done, 0, sizeof(float) * (size_t)n);
            done += n;
            continue;
        }
        for (int c = 0; c < in_count; c++)
            for (int i = 0; i < n; i++)
                a->in_buf[i * in_count + c] = in[c][done + i];
        int r = a->cb(in_count > 0 ? a->in_buf : nullptr, a->out_buf, (unsigned long)n, &time, 0, a->user);
        for (int c = 0; c < out_count; c++)
            for (int i = 0; i < n; i++)
                out[c][done + i] = a->out_buf[i * 2 + c];
        a->ended = r != paContinue;
        done += n;
    }
}

// The JACK stream's latency as it stands: its devices' port latencies and one server
// period, all of which follow the server's block size. Kept as it was while no server
// answers.
static void jack_read_latency(void)
{
    double capture = 0.0, playback = 0.0;
    double rate = plat_jack_rate();
    if (!plat_jack_stream_latency(&capture, &playback) || rate <= 0.0)
        return;
    g_adapter.info.inputLatency = g_adapter.in_channels > 0 ? capture : 0.0;
    g_adapter.info.outputLatency = playback + plat_jack_period() / rate;
}

static PaError jack_open(const PaStreamParameters* in, const PaStreamParameters* out, double rate,
                         PaStreamCallback* cb, void* user)
{
    int in_dev = in ? jack_index(in->device) : -1;
    int out_dev = out ? jack_index(out->device) : -1;
    if ((in && in_dev < 0) || (out && out_dev < 0))
        return paBadIODeviceCombination;
    double server_rate = plat_jack_rate();
    if (rate - server_rate > 1.0 || server_rate - rate > 1.0)
        return paInvalidSampleRate;
    int in_channels = in ? in->channelCount : 0;
    int out_channels = out ? out->channelCount : 0;
    if (out_channels > 2)
        return paInvalidChannelCount;
    if (!g_adapter.in_buf) {
        g_adapter.in_buf = (float*)plat_aligned_alloc(64, sizeof(float) * kAdapterFrames * PLAT_JACK_MAX_INPUTS);
        g_adapter.out_buf = (float*)plat_aligned_alloc(64, sizeof(float) * kAdapterFrames * 2);
        if (!g_adapter.in_buf || !g_adapter.out_buf)
            return paInsufficientMemory;
    }
    g_adapter.cb = cb;
    g_adapter.user = user;
    g_adapter.in_channels = in_channels;
    g_adapter.ended = false;
    if (!plat_jack_stream_open(in_dev, in_channels, out_dev, out_channels, jack_adapter_process, &g_adapter))
        return paInvalidChannelCount;
    g_adapter.info = PaStreamInfo{};
    g_adapter.info.structVersion = 1;
    g_adapter.info.sampleRate = server_rate;
    jack_read_latency();
    return paNoError;
}

// ---------------------------------------------------------------------------
// The table
// ---------------------------------------------------------------------------

static bool pa_is_hw_device(PaDeviceIndex device)
{
    const PaDeviceInfo* di = device >= 0 && device < pa_devices() ? Pa_GetDeviceInfo(device) : nullptr;
    if (!di || !di->name)
        return false;
    const PaHostApiInfo* hi = Pa_GetHostApiInfo(di->hostApi);
    return hi && hi->type == paALSA && std::strstr(di->name, "(hw:") != nullptr;
}

// Called by PortAudio when a stream ended, on its own or by a stop.
static void pa_finished(void* user)
{
    EngineStreamTag* tag = (EngineStreamTag*)user;
    if (tag)
        tag->finished.store(1, std::memory_order_release);
}

// ALSA's callback thread is asked for real-time scheduling; when the system refuses
// it, one line says so (once).
static void pa_alsa_realtime(PaStream* stream)
{
    PaAlsa_EnableRealtimeScheduling(stream, 1);
    if (g_rt_checked)
        return;
    g_rt_checked = true;
    if (!plat_thread_realtime_allowed())
        fprintf(stderr, "audio: real-time scheduling refused; the ALSA callback runs at normal priority\n");
}

static PaError c_open(PaStream** stream, const PaStreamParameters* in, const PaStreamParameters* out, double rate,
                      unsigned long frames, PaStreamFlags flags, PaStreamCallback* cb, void* user, int exclusive)
{
    *stream = nullptr;
    bool jack = (in && jack_index(in->device) >= 0) || (out && jack_index(out->device) >= 0);
    if (jack) {
        if (exclusive)
            return paInvalidDevice;
        PaError err = jack_open(in, out, rate, cb, user);
        if (err == paNoError)
            *stream = kJackStream;
        return err;
    }
    if (exclusive) {
        if ((in && !pa_is_hw_device(in->device)) || !out || !pa_is_hw_device(out->device))
            return paInvalidDevice;
    }
    PaError err = Pa_OpenStream(stream, in, out, rate, frames, flags, cb, user);
    if (err != paNoError)
        return err;
    Pa_SetStreamFinishedCallback(*stream, pa_finished);
    const PaDeviceInfo* od = out ? Pa_GetDeviceInfo(out->device) : nullptr;
    const PaHostApiInfo* hi = od ? Pa_GetHostApiInfo(od->hostApi) : nullptr;
    if (hi && hi->type == paALSA)
        pa_alsa_realtime(*stream);
    return paNoError;
}

static PaError c_init(void)
{
    plat_jack_hide_server_begin();
    PaError err = Pa_Initialize();
    plat_jack_hide_server_end();
    jack_build_infos();
    return err;
}

static PaError c_term(void)
{
    plat_jack_disconnect();
    g_jack_count = 0;
    g_jack_up = false;
    return Pa_Terminate();
}

static PaDeviceIndex c_count(void)
{
    return pa_devices() + g_jack_count;
}

static const PaDeviceInfo* c_device(PaDeviceIndex d)
{
    if (d < 0)
        return nullptr;
    if (d < pa_devices())
        return Pa_GetDeviceInfo(d);
    int k = jack_index(d);
    return k >= 0 ? &g_jack_infos[k] : nullptr;
}

static const PaHostApiInfo* c_api(PaHostApiIndex a)
{
    if (a >= 0 && a < pa_apis())
        return Pa_GetHostApiInfo(a);
    return a == pa_apis() && g_jack_up ? &g_jack_api : nullptr;
}

static PaHostApiIndex c_type_to_index(PaHostApiTypeId type)
{
    if (type == paJACK)
        return g_jack_up ? (PaHostApiIndex)pa_apis() : (PaHostApiIndex)paHostApiNotFound;
    return Pa_HostApiTypeIdToHostApiIndex(type);
}

static PaError c_start(PaStream* s)
{
    if (s != kJackStream)
        return Pa_StartStream(s);
    plat_jack_stream_start();
    return plat_jack_stream_running() ? paNoError : paDeviceUnavailable;
}

static PaError c_stop(PaStream* s)
{
    if (s != kJackStream)
        return Pa_StopStream(s);
    plat_jack_stream_stop();
    return paNoError;
}

static PaError c_close(PaStream* s)
{
    if (s != kJackStream)
        return Pa_CloseStream(s);
    plat_jack_stream_close();
    return paNoError;
}

static const PaStreamInfo* c_info(PaStream* s)
{
    if (s != kJackStream)
        return Pa_GetStreamInfo(s);
    jack_read_latency();
    return &g_adapter.info;
}

static int c_active(PaStream* s)
{
    if (s == kJackStream)
        return plat_jack_stream_running() ? 1 : 0;
    return Pa_IsStreamActive(s) == 1 ? 1 : 0;
}

static void c_rescan(int frames)
{
    if (plat_jack_connected() && plat_jack_server_answers(kServerAnswerSeconds)) {
        plat_jack_refresh_devices();
    } else {
        char err[96];
        plat_audio_quiet_begin();
        plat_jack_connect(g_client_name, frames, err, sizeof err);
        plat_audio_quiet_end();
    }
    plat_jack_ask_block_size(frames);
    jack_build_infos();
}

// The JACK stream runs at the server's period: a new size is asked of the server,
// and the stream goes on (its latency, read again, follows the new period).
static int c_server_block_size(PaStream* s, int frames)
{
    if (s != kJackStream || !plat_jack_stream_running())
        return 0;
    if (frames > 0 && frames != plat_jack_period())
        plat_jack_set_block_size(frames);
    return plat_jack_period();
}

static const EngineBackend g_portaudio = {
    c_init,  c_term,  c_count, c_device, c_api,  c_type_to_index, Pa_GetDefaultInputDevice, Pa_GetDefaultOutputDevice,
    c_open,  c_start, c_stop,  c_close,  c_info, c_active,        c_rescan, c_server_block_size,
};

const EngineBackend* engine_backend_portaudio(void)
{
    return &g_portaudio;
}

int engine_stream_callback(const void* input, void* output, unsigned long frames,
                           const PaStreamCallbackTimeInfo* time, PaStreamCallbackFlags flags, void* user)
{
    EngineStreamTag* tag = (EngineStreamTag*)user;
    if (!tag || !tag->live.load(std::memory_order_acquire)) {
        // A stream the engine gave up on that runs again: it must not touch the loop
        // the new stream is using.
        if (output)
            std::memset(output, 0, sizeof(float) * 2 * frames);
        return paAbort;
    }
    return engine_audio_callback(input, output, frames, time, flags, tag->engine);
}

void engine_set_client_name(const char* name)
{
    // The client name is used for every connection to the server; a name JACK would
    // refuse leaves the default.
    if (name && name[0])
        g_client_name = name;
}
