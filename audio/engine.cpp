// engine.cpp - the engine record's life, the choice of host API and devices, and the
// opening, starting and stopping of the one duplex stream.
// Threads: UI thread only.
#include "audio/engine.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "audio/audio_backend.h"
#include "audio/audiofile_loader.h"
#include "audio/looper.h"
#include "platform/plat_audio_api.h"
#include "platform/plat_audio_quiet.h"
#include "platform/plat_mem.h"
#include "platform/plat_thread.h"
#include "platform/plat_time.h"
#include "rig/router.h"

// ---------------------------------------------------------------------------
// Constants and static state
// ---------------------------------------------------------------------------

static const int kBufferSizes[5] = {64, 128, 256, 512, 1024};
static const double kPreferredRate = 48000.0;
static const int kLoaderShutdownMs = 500;
// A stop or close of the audio library that takes longer is given up (see engine_stop).
static const double kStopBoundSeconds = 2.0;
// A running stream whose callback has not run for this long has stopped.
static const double kSilentStreamSeconds = 1.0;
// Latencies beyond this are a server's garbage, not a latency.
static const double kMaxLatencySeconds = 10.0;

static Engine g_engine;
static const EngineBackend* g_backend = nullptr;
static const PlatHostApiPolicy* g_policy = nullptr;
static RigMix g_default_mix;   // the fallback mix handed to the router, kept for its lifetime

static const EngineBackend* be(void)
{
    return g_backend ? g_backend : engine_backend_portaudio();
}

static const PlatHostApiPolicy* policy(void)
{
    return g_policy ? g_policy : plat_host_api_policy();
}

Engine* engine_instance(void)
{
    return &g_engine;
}

void engine_use_backend(const EngineBackend* backend, const PlatHostApiPolicy* pol)
{
    g_backend = backend;
    g_policy = pol;
}

static void engine_set_error(Engine* e, const char* text)
{
    snprintf(e->error_text, sizeof e->error_text, "%s", text);
}

// ---------------------------------------------------------------------------
// Life
// ---------------------------------------------------------------------------

// Allocates n floats and writes every page now, so the audio thread never takes a
// first-touch page fault while recording. (A malloc followed by a memset to zero in
// one function is turned into calloc by the optimiser, and calloc leaves fresh pages
// to be faulted in on first write; the platform call writes them for real.)
static float* engine_alloc_floats(size_t n)
{
    return (float*)plat_aligned_alloc(64, n * sizeof(float));
}

static void engine_free_arrays(Engine* e)
{
    float** arrays[8] = {&e->bus_left, &e->bus_right, &e->patch_a_left, &e->patch_a_right,
                         &e->patch_b_left, &e->patch_b_right, &e->loop_left, &e->loop_right};
    // A writer still reading the loop (a take on a slow disk) would read freed
    // memory: the loop is then left for the process's exit to reclaim.
    int count = e->loop_readers.load(std::memory_order_acquire) > 0 ? 6 : 8;
    for (int i = 0; i < count; i++) {
        plat_aligned_free(*arrays[i]);
        *arrays[i] = nullptr;
    }
}

void engine_loop_reader_enter(Engine* e)
{
    if (e)
        e->loop_readers.fetch_add(1, std::memory_order_acq_rel);
}

void engine_loop_reader_leave(Engine* e)
{
    if (e)
        e->loop_readers.fetch_sub(1, std::memory_order_acq_rel);
}

bool engine_init(Engine* e)
{
    if (!e)
        return false;
    e->~Engine();
    new (e) Engine();

    e->loop_left = engine_alloc_floats(ENGINE_LOOP_CAPACITY);
    e->loop_right = engine_alloc_floats(ENGINE_LOOP_CAPACITY);
    float** buses[6] = {&e->bus_left, &e->bus_right, &e->patch_a_left, &e->patch_a_right,
                        &e->patch_b_left, &e->patch_b_right};
    bool ok = e->loop_left && e->loop_right;
    for (float** b : buses) {
        *b = engine_alloc_floats(ENGINE_MAX_BLOCK);
        ok = ok && *b;
    }
    if (!ok) {
        engine_free_arrays(e);
        engine_set_error(e, "out of memory");
        return false;
    }
    for (int s = 0; s < ENGINE_SLOTS; s++) {
        if (fx_init(&e->slots[s]) != 0) {
            for (int k = 0; k <= s; k++)
                fx_free(&e->slots[k]);
            engine_free_arrays(e);
            engine_set_error(e, "out of memory");
            return false;
        }
        e->slots[s].smoothing = 1;
    }
    // An effect first chosen mid-performance must not fault its code in on the audio
    // thread.
    fx_warm_up();
    plat_audio_quiet_begin();
    PaError init = be()->initialize();
    plat_audio_quiet_end();
    if (init != paNoError) {
        for (int s = 0; s < ENGINE_SLOTS; s++)
            fx_free(&e->slots[s]);
        engine_free_arrays(e);
        engine_set_error(e, "PortAudio init failed");
        return false;
    }
    return true;
}

void engine_shutdown(Engine* e)
{
    if (!e)
        return;
    // No loader thread may still run a decoder while the process ends.
    audiofile_loader_shutdown(kLoaderShutdownMs);
    engine_stop(e);
    e->running = 0;
    // The library's shutdown closes every stream it still knows, and so would wait
    // for the stream we gave up on: then the library is left as it is for the
    // process's exit to reclaim.
    if (e->streams_abandoned == 0)
        be()->terminate();
    for (int s = 0; s < ENGINE_SLOTS; s++)
        fx_free(&e->slots[s]);
    engine_free_arrays(e);
}

void engine_set_output_tap(Engine* e, EngineOutputTap tap, void* ctx)
{
    if (!e)
        return;
    e->output_tap_ctx.store(ctx, std::memory_order_relaxed);
    e->output_tap.store(tap, std::memory_order_release);
}

void engine_set_render_hook(Engine* e, EngineRenderHook hook, void* ctx)
{
    if (!e)
        return;
    e->render_hook_ctx.store(ctx, std::memory_order_relaxed);
    e->render_hook.store(hook, std::memory_order_release);
}

// Clearing is the retire handshake of the plug-in pointers: the function store and
// the callback's function load are both seq_cst, so either a block sees null or the
// entry count read by the wait already includes it.
bool engine_clear_output_tap(Engine* e, int timeout_ms)
{
    if (!e)
        return true;
    e->output_tap.store(nullptr, std::memory_order_seq_cst);
    if (!engine_wait_blocks_passed(e, timeout_ms))
        return false;
    e->output_tap_ctx.store(nullptr, std::memory_order_relaxed);
    return true;
}

bool engine_clear_render_hook(Engine* e, int timeout_ms)
{
    if (!e)
        return true;
    e->render_hook.store(nullptr, std::memory_order_seq_cst);
    if (!engine_wait_blocks_passed(e, timeout_ms))
        return false;
    e->render_hook_ctx.store(nullptr, std::memory_order_relaxed);
    return true;
}

bool engine_wait_blocks_passed(Engine* e, int timeout_ms)
{
    if (!e || !e->running)
        return true;
    uint64_t entered = e->blocks_entered.load(std::memory_order_seq_cst);
    double deadline = plat_time_seconds() + timeout_ms / 1000.0;
    while (e->blocks_left.load(std::memory_order_acquire) < entered) {
        if (plat_time_seconds() > deadline)
            return false;
        plat_sleep_ms(1);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Devices
// ---------------------------------------------------------------------------

static const PaDeviceInfo* engine_device(int device)
{
    return device >= 0 ? be()->device_info(device) : nullptr;
}

static const PaHostApiInfo* engine_api_of_type(int type)
{
    PaHostApiIndex idx = be()->host_api_type_to_index((PaHostApiTypeId)type);
    return idx >= 0 ? be()->host_api_info(idx) : nullptr;
}

static const PaHostApiInfo* engine_api_of_device(const PaDeviceInfo* di)
{
    return di ? be()->host_api_info(di->hostApi) : nullptr;
}

static const char* engine_api_label(const PaHostApiInfo* hi)
{
    if (!hi)
        return "";
    if (hi->type == policy()->direct_type)
        return policy()->direct_label;
    if (hi->type == policy()->system_type)
        return policy()->system_label;
    return hi->name ? hi->name : "";
}

int engine_pick_input_device(Engine* e)
{
    (void)e;
    const PaHostApiInfo* direct = engine_api_of_type(policy()->direct_type);
    if (direct && direct->defaultInputDevice >= 0) {
        // The output side runs on the same device, or on the direct host API's own
        // output (JACK's capture and playback ports may belong to different clients).
        const PaDeviceInfo* di = engine_device(direct->defaultInputDevice);
        const PaDeviceInfo* dout = engine_device(direct->defaultOutputDevice);
        bool outputs = (di && di->maxOutputChannels >= 2) || (dout && dout->maxOutputChannels >= 2);
        if (di && di->maxInputChannels >= 1 && outputs)
            return direct->defaultInputDevice;
    }
    const PaHostApiInfo* sys = engine_api_of_type(policy()->system_type);
    if (sys && sys->defaultInputDevice != paNoDevice)
        return sys->defaultInputDevice;
    return be()->default_input_device();
}

void engine_device_label(Engine* e, int device, char* name, int name_size, char* label, int label_size)
{
    (void)e;
    if (name && name_size > 0)
        name[0] = '\0';
    if (label && label_size > 0)
        label[0] = '\0';
    const PaDeviceInfo* di = engine_device(device);
    if (!di)
        return;
    if (name && name_size > 0)
        snprintf(name, (size_t)name_size, "%s", di->name ? di->name : "");
    if (label && label_size > 0)
        snprintf(label, (size_t)label_size, "%s", engine_api_label(engine_api_of_device(di)));
}

static int engine_list_api_inputs(int type, int* out, int count, int max)
{
    int n = be()->device_count();
    for (int d = 0; d < n && count < max; d++) {
        const PaDeviceInfo* di = engine_device(d);
        const PaHostApiInfo* hi = engine_api_of_device(di);
        if (di && hi && hi->type == type && di->maxInputChannels >= 1)
            out[count++] = d;
    }
    return count;
}

int engine_list_input_devices(Engine* e, int* out, int max)
{
    (void)e;
    if (!out || max <= 0)
        return 0;
    int count = engine_list_api_inputs(policy()->direct_type, out, 0, max);
    return engine_list_api_inputs(policy()->system_type, out, count, max);
}

int engine_find_input_device(Engine* e, const char* name, const char* label)
{
    char want_name[128], want_label[32];
    snprintf(want_name, sizeof want_name, "%s", name ? name : "");
    snprintf(want_label, sizeof want_label, "%s", label ? label : "");
    int n = be()->device_count();
    for (int d = 0; d < n; d++) {
        const PaDeviceInfo* di = engine_device(d);
        if (!di || di->maxInputChannels < 1)
            continue;
        char dev_name[128], dev_label[32];
        engine_device_label(e, d, dev_name, sizeof dev_name, dev_label, sizeof dev_label);
        if (!strcmp(dev_name, want_name) && !strcmp(dev_label, want_label))
            return d;
    }
    return -1;
}

// ---------------------------------------------------------------------------
// Stream
// ---------------------------------------------------------------------------

// The output device for an input device (or none): the input device itself on the
// direct host API, else its host API's default output, else the system host API's,
// else the library's. Returns false when a default is broken.
static bool engine_choose_output(const PaDeviceInfo* in_dev, int in_device, int* out_device)
{
    if (in_dev) {
        const PaHostApiInfo* hi = engine_api_of_device(in_dev);
        if (hi && hi->type == policy()->direct_type && in_dev->maxOutputChannels >= 2) {
            *out_device = in_device;
            return true;
        }
        int d = hi ? hi->defaultOutputDevice : paNoDevice;
        if (d != paNoDevice) {
            *out_device = d;
            return d >= 0;
        }
    }
    const PaHostApiInfo* sys = engine_api_of_type(policy()->system_type);
    int d = sys ? sys->defaultOutputDevice : paNoDevice;
    if (d != paNoDevice) {
        *out_device = d;
        return d >= 0;
    }
    d = be()->default_output_device();
    *out_device = d;
    return d >= 0;
}

static void engine_describe_device(Engine* e, const PaDeviceInfo* di, int channels, double rate)
{
    RigDeviceInfo* od = &e->opened_device;
    std::memset(od, 0, sizeof *od);
    const PaHostApiInfo* hi = engine_api_of_device(di);
    rig_api_name(hi ? (int)hi->type : -1, od->api, sizeof od->api);
    rig_device_name_utf8(di->name, od->name, sizeof od->name);
    if (rig_device_key(od->api, od->name, od->key, sizeof od->key) < 0)
        od->key[0] = '\0';
    od->inputs_opened = channels < 1 ? 1 : channels > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : channels;
    int on_device = di->maxInputChannels < 1 ? 0 : di->maxInputChannels > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : di->maxInputChannels;
    od->inputs_on_device = on_device > od->inputs_opened ? on_device : od->inputs_opened;
    od->sample_rate = rate;
}

static void engine_read_latency(Engine* e, PaStream* stream, double rate)
{
    const PaStreamInfo* info = be()->stream_info(stream);
    double latency = info ? info->inputLatency + info->outputLatency : -1.0;
    // Some servers report port latencies of 0 and a stream latency that wrapped
    // around: a latency that is no latency is replaced by the buffer's own.
    if (!std::isfinite(latency) || latency < 0.0 || latency > kMaxLatencySeconds)
        latency = engine_block_in_force(e) * 2.0 / rate;
    e->latency_ms = latency * 1000.0;
    e->latency_block = engine_block_in_force(e);
}

bool engine_open_stream(Engine* e, int device, double rate, int channels)
{
    if (!e)
        return false;
    const PaDeviceInfo* in_dev = engine_device(device);
    bool use_input = in_dev && in_dev->maxInputChannels >= 1 && channels >= 1;

    PaStreamParameters in_p;
    std::memset(&in_p, 0, sizeof in_p);
    if (use_input) {
        in_p.device = device;
        in_p.channelCount = channels;
        in_p.sampleFormat = paFloat32;
        in_p.suggestedLatency = in_dev->defaultLowInputLatency;
    }

    int out_device = paNoDevice;
    if (!engine_choose_output(use_input ? in_dev : nullptr, device, &out_device))
        return false;
    const PaDeviceInfo* out_dev = engine_device(out_device);
    if (!out_dev)
        return false;
    const PaHostApiInfo* out_api = engine_api_of_device(out_dev);

    PaStreamParameters out_p;
    std::memset(&out_p, 0, sizeof out_p);
    out_p.device = out_device;
    out_p.channelCount = 2;
    out_p.sampleFormat = paFloat32;
    out_p.suggestedLatency = out_dev->defaultLowOutputLatency;

    double one_buffer = (double)e->buffer_frames / rate;
    if (out_api && out_api->type == policy()->direct_type) {
        in_p.suggestedLatency = one_buffer;
        out_p.suggestedLatency = one_buffer;
    }

    EngineStreamTag* tag = new (std::nothrow) EngineStreamTag();
    if (!tag)
        return false;
    tag->engine = e;
    PaStream* stream = nullptr;
    PaError err = paInternalError;
    e->exclusive_granted = 0;
    if (e->exclusive_wanted && out_api && out_api->type == policy()->system_type) {
        PaStreamParameters xin = in_p, xout = out_p;
        xin.suggestedLatency = one_buffer;
        xout.suggestedLatency = one_buffer;
        err = be()->open_stream(&stream, use_input ? &xin : nullptr, &xout, rate,
                                (unsigned long)e->buffer_frames, paNoFlag, engine_stream_callback, tag, 1);
        if (err == paNoError)
            e->exclusive_granted = 1;
        else
            stream = nullptr;
    }
    if (!e->exclusive_granted) {
        err = be()->open_stream(&stream, use_input ? &in_p : nullptr, &out_p, rate,
                                (unsigned long)e->buffer_frames, paNoFlag, engine_stream_callback, tag, 0);
        if (err != paNoError) {
            e->stream = nullptr;
            delete tag;
            return false;
        }
    }
    e->stream = stream;
    e->stream_tag = tag;

    engine_read_latency(e, stream, rate);
    e->sample_rate = rate;
    e->input_channels = use_input ? channels : 0;

    std::memset(&e->opened_device, 0, sizeof e->opened_device);
    if (use_input) {
        engine_describe_device(e, in_dev, channels, rate);
        snprintf(e->input_name, sizeof e->input_name, "%s", in_dev->name ? in_dev->name : "");
    } else {
        snprintf(e->input_name, sizeof e->input_name, "%s", "(no input)");
    }
    snprintf(e->host_label, sizeof e->host_label, "%s", engine_api_label(out_api));
    e->asio = out_api && out_api->type == policy()->direct_type;
    e->open_input_device = use_input ? device : -1;
    return true;
}

void engine_rescan(Engine* e)
{
    if (!e || !be()->rescan)
        return;
    char name[128], label[32], open_name[128], open_label[32];
    engine_chosen_device_label(e, name, sizeof name, label, sizeof label);
    engine_device_label(e, e->open_input_device, open_name, sizeof open_name, open_label, sizeof open_label);
    be()->rescan(e->buffer_frames);
    // The running stream keeps its device; only its index may have moved.
    if (e->open_input_device >= 0)
        e->open_input_device = engine_find_input_device(e, open_name, open_label);
    if (!name[0])
        return;
    e->chosen_input_device = engine_find_input_device(e, name, label);
    bool missing = e->chosen_input_device < 0;
    snprintf(e->missing_name, sizeof e->missing_name, "%s", missing ? name : "");
    snprintf(e->missing_label, sizeof e->missing_label, "%s", missing ? label : "");
}

void engine_chosen_device_label(Engine* e, char* name, int name_size, char* label, int label_size)
{
    if (e && e->chosen_input_device >= 0) {
        engine_device_label(e, e->chosen_input_device, name, name_size, label, label_size);
        return;
    }
    snprintf(name, (size_t)name_size, "%s", e ? e->missing_name : "");
    snprintf(label, (size_t)label_size, "%s", e ? e->missing_label : "");
}

// The open sequence shared by every restart.
static bool engine_start_sequence(Engine* e)
{
    engine_stop(e);
    engine_rescan(e);

    int device = e->chosen_input_device >= 0 ? e->chosen_input_device : engine_pick_input_device(e);
    const PaDeviceInfo* di = engine_device(device);
    int channels = 0;
    if (di && di->maxInputChannels > 0)
        channels = di->maxInputChannels > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : di->maxInputChannels;

    bool opened = false;
    if (di && channels > 0) {
        int attempts[2] = {channels, 2};
        int count = channels > 2 ? 2 : 1;
        for (int a = 0; a < count && !opened; a++) {
            opened = engine_open_stream(e, device, kPreferredRate, attempts[a]) ||
                     engine_open_stream(e, device, di->defaultSampleRate, attempts[a]);
        }
    }
    if (!opened) {
        opened = engine_open_stream(e, -1, kPreferredRate, 0);
        if (!opened) {
            // An output device that refuses 48 kHz may still run at its own rate.
            int out_device = paNoDevice;
            const PaDeviceInfo* od = engine_choose_output(nullptr, -1, &out_device) ? engine_device(out_device) : nullptr;
            if (od && od->defaultSampleRate > 0 && od->defaultSampleRate != kPreferredRate)
                opened = engine_open_stream(e, -1, od->defaultSampleRate, 0);
        }
        if (!opened) {
            engine_set_error(e, "no audio stream");
            return false;
        }
    }

    if (e->input_channels > 0) {
        rig_default_input_mix(e->opened_device.api, e->input_channels, &g_default_mix);
        uint32_t tag = rig_fnv1a32(e->opened_device.key);
        if (e->router)
            rigroute_prepare(e->router, e->sample_rate, e->input_channels, tag, &g_default_mix);
    }

    e->stream_stamp++;
    e->block_frames.store(0, std::memory_order_relaxed);

    if (be()->start_stream((PaStream*)e->stream) != paNoError) {
        engine_stop(e);
        engine_set_error(e, "stream start failed");
        return false;
    }
    e->running = 1;
    e->error_text[0] = '\0';
    e->watch_count = e->callback_count.load(std::memory_order_relaxed);
    e->watch_time = plat_time_seconds();
    e->callbacks_seen = 0;
    e->block_reported = 0;
    fprintf(stderr, "engine: %s stream, input \"%s\", %.0f Hz, %d frames asked, latency %.1f ms\n", e->host_label,
            e->input_name, e->sample_rate, e->buffer_frames, e->latency_ms);
    return true;
}

bool engine_start(Engine* e)
{
    if (!e)
        return false;
    return engine_start_sequence(e);
}

// One stream's stop and close on a worker. The worker and the UI each own the record;
// the last to let go frees it and the stream's tag. A worker whose library call never
// returns keeps both for good.
struct EngineCloser {
    const EngineBackend* backend = nullptr;
    PaStream* stream = nullptr;
    EngineStreamTag* tag = nullptr;
    std::atomic<int> owners{2};
    std::atomic<uint8_t> done{0};
};

static void engine_closer_release(EngineCloser* c)
{
    if (c->owners.fetch_sub(1, std::memory_order_acq_rel) == 1) {
        delete c->tag;
        delete c;
    }
}

static void engine_closer_run(void* arg)
{
    EngineCloser* c = (EngineCloser*)arg;
    c->backend->stop_stream(c->stream);
    c->backend->close_stream(c->stream);
    c->done.store(1, std::memory_order_release);
    engine_closer_release(c);
}

// Stops and closes a stream, waiting at most kStopBoundSeconds. A library whose
// server has gone may never return from the stop (PortAudio waits for a server cycle
// that never comes). Then the stream is abandoned: its tag is marked dead so a
// callback it might still make plays silence and leaves the loop alone, and the
// worker thread, the stream and its tag are leaked. Leaking is the safe choice: the
// worker is blocked inside the library holding the stream, so freeing either could
// only crash it, and killing the thread would leave the library's locks held.
static void engine_close_bounded(Engine* e, PaStream* stream, EngineStreamTag* tag)
{
    EngineCloser* c = new (std::nothrow) EngineCloser();
    if (c) {
        c->backend = be();
        c->stream = stream;
        c->tag = tag;
    }
    if (!c || !plat_thread_start_detached(engine_closer_run, c, "tessel-closer")) {
        // No worker to be had: the calls run here.
        be()->stop_stream(stream);
        be()->close_stream(stream);
        delete tag;
        delete c;
        return;
    }
    double deadline = plat_time_seconds() + kStopBoundSeconds;
    while (!c->done.load(std::memory_order_acquire) && plat_time_seconds() < deadline)
        plat_sleep_ms(2);
    if (!c->done.load(std::memory_order_acquire)) {
        if (tag)
            tag->live.store(0, std::memory_order_release);
        e->streams_abandoned++;
        fprintf(stderr, "engine: the audio library did not stop the stream within %.0f s; it is left behind\n",
                kStopBoundSeconds);
        // A block of the abandoned stream that read the tag before it died ends first.
        engine_wait_blocks_passed(e, 200);
    }
    engine_closer_release(c);
}

void engine_stop(Engine* e)
{
    if (!e)
        return;
    if (e->stream) {
        PaStream* stream = (PaStream*)e->stream;
        EngineStreamTag* tag = (EngineStreamTag*)e->stream_tag;
        e->stream = nullptr;
        e->stream_tag = nullptr;
        engine_close_bounded(e, stream, tag);
    }
    e->running = 0;
    // No callback runs now to let the meters fall: a stopped stream reads as silence.
    e->input_peak.store(0.0f, std::memory_order_relaxed);
    e->output_peak.store(0.0f, std::memory_order_relaxed);
}

// A first pass the lost stream cut off is closed at what was recorded, as a close
// request would close it (a pass of 0.1 s or less is dropped), so the session take
// keeps it. The stream is stopped: no callback runs to take a request, and the hold
// is had at once.
static void engine_close_cut_pass(Engine* e)
{
    const auto rl = std::memory_order_relaxed;
    if (e->length.load(rl) != 0 || !e->first_pass_was_recording)
        return;
    e->record.store(0, rl);
    e->hold_dub.store(0, rl);
    loop_close_open_pass(e);
}

void engine_watch(Engine* e)
{
    if (!e || !e->running || !e->stream)
        return;
    double now = plat_time_seconds();
    uint32_t count = e->callback_count.load(std::memory_order_relaxed);
    if (count != e->watch_count) {
        e->watch_count = count;
        e->watch_time = now;
        e->callbacks_seen = 1;
        // A server may run its own block size, and change it while the stream runs:
        // its latency changes with it.
        int32_t block = e->block_frames.load(std::memory_order_relaxed);
        if (block != e->block_reported) {
            e->block_reported = block;
            engine_read_latency(e, (PaStream*)e->stream, e->sample_rate);
            fprintf(stderr, "engine: the callback gets blocks of %d frames, latency %.1f ms\n", (int)block,
                    e->latency_ms);
        }
    }
    const EngineStreamTag* tag = (const EngineStreamTag*)e->stream_tag;
    const char* why = nullptr;
    if (tag && tag->finished.load(std::memory_order_acquire))
        why = "the stream ended";
    else if (be()->stream_active && !be()->stream_active((PaStream*)e->stream))
        why = "its server went away";
    else if (e->callbacks_seen && now - e->watch_time >= kSilentStreamSeconds)
        why = "no callback for 1 s";
    if (!why)
        return;
    fprintf(stderr, "engine: the audio stream stopped (%s): audio offline\n", why);
    engine_stop(e);
    e->open_input_device = -1;
    engine_set_error(e, "audio stream lost");
    engine_close_cut_pass(e);
}

void engine_set_input_device(Engine* e, int device)
{
    if (!e)
        return;
    e->chosen_input_device = device;
    e->missing_name[0] = e->missing_label[0] = '\0';
    engine_start(e);
}

bool engine_set_exclusive(Engine* e, int flag)
{
    if (!e)
        return false;
    e->exclusive_wanted = flag ? 1 : 0;
    return engine_start(e);
}

int engine_next_buffer_size(const Engine* e, int direction)
{
    // From the size the stream runs at, which is the one shown: a server may have
    // changed it from outside, away from the saved size.
    int now = engine_block_in_force(e);
    int index = 2;
    for (int i = 0; i < 5; i++)
        if (kBufferSizes[i] == now)
            index = i;
    return kBufferSizes[((direction + 5 + index) % 5 + 5) % 5];
}

bool engine_cycle_buffer_size(Engine* e, int direction)
{
    if (!e)
        return false;
    int frames = engine_next_buffer_size(e, direction);
    // A server that sets the block size (JACK) is asked for the new one while the
    // stream runs on: reopening would only cut the sound and keep the server's size.
    PaStream* stream = (PaStream*)e->stream;
    if (e->running && stream && be()->server_block_size && be()->server_block_size(stream, 0) > 0) {
        if (be()->server_block_size(stream, frames) != frames)
            return false;
        e->buffer_frames = frames;
        engine_read_latency(e, stream, e->sample_rate);
        return true;
    }
    e->buffer_frames = frames;
    engine_start_sequence(e);
    return true;
}

int engine_block_in_force(const Engine* e)
{
    if (!e)
        return 0;
    int32_t block = e->block_frames.load(std::memory_order_relaxed);
    return e->running && block > 0 ? (int)block : e->buffer_frames;
}

void engine_cycle_input_device(Engine* e, int direction)
{
    if (!e)
        return;
    // A server that came back brings its devices into the cycle.
    engine_rescan(e);
    // A stopped stream (its server went away and came back) is opened again on the
    // chosen device: the step moves on only from a chosen device that is gone.
    if (!e->running && (e->chosen_input_device >= 0 || !e->missing_name[0])) {
        engine_start(e);
        return;
    }
    int list[64];
    int count = 0;
    int n = be()->device_count();
    for (int d = 0; d < n && count < 64; d++) {
        const PaDeviceInfo* di = engine_device(d);
        if (di && di->maxInputChannels >= 1)
            list[count++] = d;
    }
    if (count == 0)
        return;
    int current = e->open_input_device >= 0 ? e->open_input_device
                  : e->chosen_input_device >= 0 ? e->chosen_input_device
                                                : engine_pick_input_device(e);
    int place = 0;
    for (int i = 0; i < count; i++)
        if (list[i] == current)
            place = i;
    place = ((place + direction) % count + count) % count;
    e->chosen_input_device = list[place];
    e->missing_name[0] = e->missing_label[0] = '\0';
    engine_start(e);
}
