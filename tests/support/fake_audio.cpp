// fake_audio.cpp - the scripted audio library behind fake_audio.h.
#include "support/fake_audio.h"

#include <deque>

static FakeAudio g_fake;
static std::deque<PaDeviceInfo> g_device_infos;     // stable addresses for returned pointers
static std::deque<PaHostApiInfo> g_api_infos;
static PaStreamInfo g_stream_info;
static int g_stream_token;

FakeAudio& fake_audio(void)
{
    return g_fake;
}

void fake_audio_reset(void)
{
    g_fake.~FakeAudio();
    new (&g_fake) FakeAudio();
    g_device_infos.clear();
    g_api_infos.clear();
}

static PaError f_init(void) { return g_fake.init_fails ? paNotInitialized : paNoError; }
static PaError f_term(void)
{
    g_fake.terminates++;
    return paNoError;
}
static PaDeviceIndex f_count(void) { return (PaDeviceIndex)g_fake.devices.size(); }

static const PaDeviceInfo* f_device(PaDeviceIndex d)
{
    if (d < 0 || d >= (int)g_fake.devices.size())
        return nullptr;
    const FakeDevice& fd = g_fake.devices[(size_t)d];
    PaDeviceInfo info = {};
    info.structVersion = 2;
    info.name = fd.name;
    info.hostApi = fd.host_api;
    info.maxInputChannels = fd.max_inputs;
    info.maxOutputChannels = fd.max_outputs;
    info.defaultLowInputLatency = fd.low_input_latency;
    info.defaultLowOutputLatency = fd.low_output_latency;
    info.defaultHighInputLatency = fd.low_input_latency * 4;
    info.defaultHighOutputLatency = fd.low_output_latency * 4;
    info.defaultSampleRate = fd.default_rate;
    g_device_infos.push_back(info);
    return &g_device_infos.back();
}

static const PaHostApiInfo* f_api(PaHostApiIndex a)
{
    if (a < 0 || a >= (int)g_fake.apis.size())
        return nullptr;
    const FakeHostApi& fa = g_fake.apis[(size_t)a];
    PaHostApiInfo info = {};
    info.structVersion = 1;
    info.type = (PaHostApiTypeId)fa.type;
    info.name = fa.name;
    int count = 0;
    for (const FakeDevice& d : g_fake.devices)
        count += d.host_api == a;
    info.deviceCount = count;
    info.defaultInputDevice = fa.default_input;
    info.defaultOutputDevice = fa.default_output;
    g_api_infos.push_back(info);
    return &g_api_infos.back();
}

static PaHostApiIndex f_type_to_index(PaHostApiTypeId type)
{
    for (size_t i = 0; i < g_fake.apis.size(); i++)
        if (g_fake.apis[i].type == (int)type)
            return (PaHostApiIndex)i;
    return paHostApiNotFound;
}

static PaDeviceIndex f_def_in(void) { return g_fake.default_input; }
static PaDeviceIndex f_def_out(void) { return g_fake.default_output; }

static PaError f_open(PaStream** stream, const PaStreamParameters* in, const PaStreamParameters* out, double rate,
                      unsigned long frames, PaStreamFlags, PaStreamCallback* cb, void* user, int exclusive)
{
    FakeOpenCall call = {};
    call.in_device = in ? in->device : -1;
    call.in_channels = in ? in->channelCount : 0;
    call.in_latency = in ? in->suggestedLatency : 0.0;
    call.out_device = out ? out->device : -1;
    call.out_channels = out ? out->channelCount : 0;
    call.out_latency = out ? out->suggestedLatency : 0.0;
    call.rate = rate;
    call.frames = frames;
    call.exclusive = exclusive;
    bool refused = g_fake.refuse && g_fake.refuse(call);
    if (!refused && in && f_device(in->device) && in->channelCount > g_fake.devices[(size_t)in->device].max_inputs)
        refused = true;
    call.granted = !refused;
    g_fake.opens.push_back(call);
    if (refused) {
        *stream = nullptr;
        return paInvalidSampleRate;
    }
    g_fake.callback = cb;
    g_fake.user = user;
    g_fake.stream_open = true;
    *stream = (PaStream*)&g_stream_token;
    return paNoError;
}

static PaError f_start(PaStream*) { g_fake.starts++; return g_fake.start_result; }
static PaError f_stop(PaStream*)
{
    if (g_fake.on_stop)
        g_fake.on_stop();
    g_fake.stops++;
    return paNoError;
}
static PaError f_close(PaStream*)
{
    g_fake.closes++;
    g_fake.stream_open = false;
    return paNoError;
}

static const PaStreamInfo* f_info(PaStream*)
{
    if (!g_fake.have_stream_info)
        return nullptr;
    g_stream_info = {};
    g_stream_info.structVersion = 1;
    g_stream_info.inputLatency = g_fake.info_input_latency;
    g_stream_info.outputLatency = g_fake.info_output_latency;
    g_stream_info.sampleRate = g_fake.opens.empty() ? 0.0 : g_fake.opens.back().rate;
    return &g_stream_info;
}

static int f_active(PaStream*) { return g_fake.server_gone ? 0 : 1; }

static void f_rescan(int)
{
    if (g_fake.on_rescan)
        g_fake.on_rescan();
}

static int f_server_block(PaStream*, int frames)
{
    if (frames > 0 && g_fake.server_block > 0 && !g_fake.server_refuses)
        g_fake.server_block = frames;
    return g_fake.server_block;
}

static const EngineBackend g_backend = {f_init,  f_term,  f_count, f_device, f_api,   f_type_to_index,
                                        f_def_in, f_def_out, f_open, f_start, f_stop, f_close,
                                        f_info,  f_active, f_rescan, f_server_block};

const EngineBackend* fake_audio_backend(void)
{
    return &g_backend;
}

int fake_audio_pump(const float* input, float* output, unsigned long frames)
{
    if (!g_fake.callback)
        return -1;
    return g_fake.callback(input, output, frames, nullptr, 0, g_fake.user);
}
