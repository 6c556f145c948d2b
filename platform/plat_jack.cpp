// plat_jack.cpp - the program's own JACK client (see plat_jack.h).
#include "platform/plat_jack.h"

#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>

#include "platform/plat_thread.h"
#include "platform/plat_time.h"

// ---------------------------------------------------------------------------
// Constants and static state
// ---------------------------------------------------------------------------

static const double kStopWaitSeconds = 1.0;
static const double kPipeWireRate = 48000.0;

struct JackClientState {
    jack_client_t* client = nullptr;
    bool pipewire = false;
    int asked_frames = 0;                // block size last forced on PipeWire
    double rate = 0.0;
    char own_prefix[80] = {};            // "<our client name>:"

    PlatJackDevice devices[PLAT_JACK_MAX_DEVICES] = {};
    int device_count = 0;
    int default_input = -1;
    int default_output = -1;

    // Port tables: UI writes while ports_ready is 0 and no cycle that saw it set runs.
    jack_port_t* in_ports[PLAT_JACK_MAX_INPUTS] = {};
    jack_port_t* out_ports[PLAT_JACK_MAX_OUTPUTS] = {};
    int in_count = 0;
    int out_count = 0;
    char inputs_for[64] = {};            // the device the input ports were connected to
    char outputs_to[64] = {};            // the stream's output device ("" without one)
    PlatJackProcess fn = nullptr;
    void* user = nullptr;

    // Process-thread scratch.
    const float* in_bufs[PLAT_JACK_MAX_INPUTS] = {};
    float* out_bufs[PLAT_JACK_MAX_OUTPUTS] = {};
};

static JackClientState* g_jack = nullptr;            // the live client's state
static std::atomic<uint8_t> g_lost{0};               // JACK's thread sets, UI reads
static std::atomic<uint8_t> g_ports_ready{0};        // UI writes, process reads
static std::atomic<uint8_t> g_active{0};             // UI writes, process reads
static std::atomic<uint64_t> g_entered{0};           // process writes, UI reads
static std::atomic<uint64_t> g_left{0};
static int g_user_latency_set = -1;                  // -1 unknown, else whether the user set it

static bool jack_wait_closed(double limit);

// ---------------------------------------------------------------------------
// The process thread
// ---------------------------------------------------------------------------

// [RT] Runs the process function over the ports while the stream is active, silence
// on the output ports otherwise.
static int jack_process(jack_nframes_t frames, void* arg)
{
    JackClientState* s = (JackClientState*)arg;
    g_entered.fetch_add(1, std::memory_order_seq_cst);
    if (g_ports_ready.load(std::memory_order_seq_cst)) {
        for (int i = 0; i < s->out_count; i++)
            s->out_bufs[i] = (float*)jack_port_get_buffer(s->out_ports[i], frames);
        if (g_active.load(std::memory_order_seq_cst) && s->fn) {
            for (int i = 0; i < s->in_count; i++)
                s->in_bufs[i] = (const float*)jack_port_get_buffer(s->in_ports[i], frames);
            s->fn(s->user, s->in_bufs, s->in_count, s->out_bufs, s->out_count, (int)frames);
        } else {
            for (int i = 0; i < s->out_count; i++)
                std::memset(s->out_bufs[i], 0, sizeof(float) * frames);
        }
    }
    g_left.fetch_add(1, std::memory_order_release);
    return 0;
}

// JACK's own thread: the server has gone; nothing may be asked of the client now.
static void jack_shutdown_notice(jack_status_t, const char*, void*)
{
    g_lost.store(1, std::memory_order_release);
}

// Waits until every cycle that began before the call has ended; false after `limit`.
static bool jack_wait_cycles(double limit)
{
    uint64_t entered = g_entered.load(std::memory_order_seq_cst);
    double deadline = plat_time_seconds() + limit;
    while (g_left.load(std::memory_order_acquire) < entered) {
        if (g_lost.load(std::memory_order_acquire) || plat_time_seconds() > deadline)
            return false;
        plat_sleep_ms(1);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Devices
// ---------------------------------------------------------------------------

// PipeWire shows a sink's monitor as output ports named "monitor_*": they carry what
// is played, never a recording source.
static bool jack_is_monitor(const char* port_name)
{
    const char* colon = std::strchr(port_name, ':');
    return colon && std::strncmp(colon + 1, "monitor_", 8) == 0;
}

static PlatJackDevice* jack_device_for(JackClientState* s, const char* port_name)
{
    const char* colon = std::strchr(port_name, ':');
    size_t len = colon ? (size_t)(colon - port_name) : std::strlen(port_name);
    char name[64];
    snprintf(name, sizeof name, "%.*s", (int)std::min(len, sizeof name - 1), port_name);
    // Any client of the graph picks its own name: control characters in it (a line
    // feed that would start a line of the settings file, an escape sequence for the
    // log) are replaced here, where the name enters the program.
    for (char* c = name; *c; c++)
        if ((unsigned char)*c < 0x20 || *c == 0x7f)
            *c = '?';
    for (int i = 0; i < s->device_count; i++)
        if (!std::strcmp(s->devices[i].name, name))
            return &s->devices[i];
    if (s->device_count >= PLAT_JACK_MAX_DEVICES)
        return nullptr;
    PlatJackDevice* d = &s->devices[s->device_count++];
    *d = PlatJackDevice{};
    snprintf(d->name, sizeof d->name, "%s", name);
    return d;
}

static double jack_port_latency(jack_client_t* c, const char* port_name, jack_latency_callback_mode_t mode,
                                double rate)
{
    jack_port_t* p = jack_port_by_name(c, port_name);
    if (!p || rate <= 0.0)
        return 0.0;
    jack_latency_range_t range = {0, 0};
    jack_port_get_latency_range(p, mode, &range);
    return range.min / rate;
}

static void jack_list_devices(JackClientState* s)
{
    s->device_count = 0;
    s->default_input = s->default_output = -1;
    const char** ports = jack_get_ports(s->client, nullptr, JACK_DEFAULT_AUDIO_TYPE, 0);
    for (int i = 0; ports && ports[i]; i++) {
        const char* name = ports[i];
        if (!std::strncmp(name, s->own_prefix, std::strlen(s->own_prefix)))
            continue;
        jack_port_t* p = jack_port_by_name(s->client, name);
        if (!p)
            continue;
        int flags = jack_port_flags(p);
        PlatJackDevice* d = jack_device_for(s, name);
        if (!d)
            continue;
        bool physical = (flags & JackPortIsPhysical) != 0;
        d->physical_any = d->physical_any || physical;
        if ((flags & JackPortIsOutput) && !jack_is_monitor(name)) {
            if (d->inputs++ == 0)
                d->input_latency = jack_port_latency(s->client, name, JackCaptureLatency, s->rate);
            d->physical_capture = d->physical_capture || physical;
        } else if (flags & JackPortIsInput) {
            if (d->outputs++ == 0)
                d->output_latency = jack_port_latency(s->client, name, JackPlaybackLatency, s->rate);
            d->physical_playback = d->physical_playback || physical;
        }
    }
    jack_free(ports);
    int device_like = -1;
    for (int i = 0; i < s->device_count; i++) {
        PlatJackDevice& d = s->devices[i];
        // A virtual source (PipeWire's) takes what it records through physical input
        // ports: they feed the recording, they are no place to play into.
        if (d.inputs > 0 && !d.physical_capture && d.physical_playback) {
            d.outputs = 0;
            d.physical_playback = false;
        }
        if (s->default_input < 0 && d.inputs > 0 && d.physical_capture)
            s->default_input = i;
        if (device_like < 0 && d.inputs > 0 && d.physical_any)
            device_like = i;
        if (s->default_output < 0 && d.outputs > 0 && d.physical_playback)
            s->default_output = i;
    }
    if (s->default_input < 0)
        s->default_input = device_like;
}

// The ports of a device a stream side connects to: its recordable (non-monitor output)
// ports for capture, its input ports for playback. Free with jack_free.
static const char** jack_device_ports(JackClientState* s, const char* name, bool capture)
{
    char pattern[160];
    // Escape the name for the regular expression jack_get_ports takes.
    size_t k = 0;
    pattern[k++] = '^';
    for (const char* c = name; *c && k + 4 < sizeof pattern; c++) {
        if (std::strchr("\\()[]{}*+?|$^.", *c))
            pattern[k++] = '\\';
        pattern[k++] = *c;
    }
    snprintf(pattern + k, sizeof pattern - k, ":");
    const char** ports = jack_get_ports(s->client, pattern, JACK_DEFAULT_AUDIO_TYPE,
                                        capture ? JackPortIsOutput : JackPortIsInput);
    if (!ports || !capture)
        return ports;
    int w = 0;
    for (int r = 0; ports[r]; r++)
        if (!jack_is_monitor(ports[r]))
            ports[w++] = ports[r];
    ports[w] = nullptr;
    return ports;
}

// ---------------------------------------------------------------------------
// Client
// ---------------------------------------------------------------------------

// A graph that takes a client's wish (PipeWire) runs its cycle at the asked size:
// set before the client opens, unless the user chose a latency already.
static void jack_ask_block_size(int frames)
{
    if (g_user_latency_set < 0) {
        const char* v = getenv("PIPEWIRE_LATENCY");
        g_user_latency_set = v && v[0] ? 1 : 0;
    }
    if (g_user_latency_set || frames <= 0)
        return;
    char value[32];
    snprintf(value, sizeof value, "%d/%d", frames, (int)kPipeWireRate);
    setenv("PIPEWIRE_LATENCY", value, 1);
}

bool plat_jack_connect(const char* client_name, int frames, char* err, size_t err_cap)
{
    if (g_jack && !g_lost.load(std::memory_order_acquire))
        return true;
    plat_jack_disconnect();
    if (!jack_wait_closed(0.0)) {
        snprintf(err, err_cap, "the last JACK client is still closing");
        return false;
    }
    jack_ask_block_size(frames);
    JackClientState* s = new (std::nothrow) JackClientState();
    if (!s) {
        snprintf(err, err_cap, "out of memory");
        return false;
    }
    jack_status_t status = (jack_status_t)0;
    s->client = jack_client_open(client_name && client_name[0] ? client_name : "tessel", JackNoStartServer,
                                 &status);
    if (!s->client) {
        snprintf(err, err_cap, "no JACK server (status 0x%x)", (unsigned)status);
        delete s;
        return false;
    }
    g_lost.store(0, std::memory_order_release);
    g_ports_ready.store(0, std::memory_order_seq_cst);
    g_active.store(0, std::memory_order_seq_cst);
    // A cycle cut off by a server that died never left: the counts start again with
    // this client (nothing runs them until it is activated below).
    g_entered.store(0, std::memory_order_seq_cst);
    g_left.store(0, std::memory_order_seq_cst);
    const char* version = jack_get_version_string();
    s->pipewire = version && std::strstr(version, "PipeWire");
    s->rate = (double)jack_get_sample_rate(s->client);
    snprintf(s->own_prefix, sizeof s->own_prefix, "%s:", jack_get_client_name(s->client));
    jack_on_info_shutdown(s->client, jack_shutdown_notice, nullptr);
    if (jack_set_process_callback(s->client, jack_process, s) != 0 || jack_activate(s->client) != 0) {
        snprintf(err, err_cap, "the JACK server refused the client");
        jack_client_close(s->client);
        delete s;
        return false;
    }
    g_jack = s;
    jack_list_devices(s);
    return true;
}

// A worker closing a client whose server has gone; 1 while it runs.
static std::atomic<uint8_t> g_closing{0};

static void jack_close_worker(void* arg)
{
    JackClientState* s = (JackClientState*)arg;
    jack_client_close(s->client);
    g_closing.store(0, std::memory_order_release);
}

// Waits up to `limit` for a closing worker; the client library is not safe to open
// a client in while another one is being closed.
static bool jack_wait_closed(double limit)
{
    double deadline = plat_time_seconds() + limit;
    while (g_closing.load(std::memory_order_acquire)) {
        if (plat_time_seconds() > deadline)
            return false;
        plat_sleep_ms(2);
    }
    return true;
}

void plat_jack_disconnect(void)
{
    JackClientState* s = g_jack;
    if (!s)
        return;
    g_active.store(0, std::memory_order_seq_cst);
    g_ports_ready.store(0, std::memory_order_seq_cst);
    g_jack = nullptr;
    if (!g_lost.load(std::memory_order_acquire)) {
        jack_wait_cycles(kStopWaitSeconds);
        jack_client_close(s->client);
        delete s;
        return;
    }
    // The server has gone: the close usually fails at once, but it talks to a socket
    // nobody answers, so it runs on a worker and is waited for only up to a bound.
    // The client's record (a few kilobytes) is never freed: a close that does not
    // return could still read it. One record per lost server.
    g_closing.store(1, std::memory_order_release);
    if (!plat_thread_start_detached(jack_close_worker, s, "tessel-jackend")) {
        g_closing.store(0, std::memory_order_release);
        return;
    }
    jack_wait_closed(kStopWaitSeconds);
}

void plat_jack_refresh_devices(void)
{
    if (g_jack && !g_lost.load(std::memory_order_acquire))
        jack_list_devices(g_jack);
}

void plat_jack_ask_block_size(int frames)
{
    JackClientState* s = g_jack;
    if (s && s->pipewire && frames != s->asked_frames)
        plat_jack_set_block_size(frames);
}

bool plat_jack_set_block_size(int frames)
{
    JackClientState* s = g_jack;
    if (!s || frames <= 0 || g_lost.load(std::memory_order_acquire))
        return false;
    // PipeWire keeps a running graph's block size while its JACK clients run; a
    // client's buffer size request forces it (for as long as this client lives).
    if (jack_set_buffer_size(s->client, (jack_nframes_t)frames) != 0)
        return false;
    if (s->pipewire)
        s->asked_frames = frames;
    return true;
}

bool plat_jack_server_answers(double limit)
{
    if (!g_jack || g_lost.load(std::memory_order_acquire))
        return false;
    uint64_t entered = g_entered.load(std::memory_order_acquire);
    double deadline = plat_time_seconds() + limit;
    while (g_entered.load(std::memory_order_acquire) == entered) {
        if (plat_time_seconds() > deadline) {
            // No cycle at all: a server that died without a word (PipeWire's JACK
            // layer does not always send one) is treated as gone.
            g_lost.store(1, std::memory_order_release);
            return false;
        }
        plat_sleep_ms(2);
    }
    return true;
}

bool plat_jack_connected(void)
{
    return g_jack != nullptr && !g_lost.load(std::memory_order_acquire);
}

bool plat_jack_server_lost(void)
{
    return g_jack != nullptr && g_lost.load(std::memory_order_acquire);
}

bool plat_jack_is_pipewire(void)
{
    return g_jack && g_jack->pipewire;
}

double plat_jack_rate(void)
{
    return g_jack ? g_jack->rate : 0.0;
}

int plat_jack_period(void)
{
    if (!g_jack || g_lost.load(std::memory_order_acquire))
        return 0;
    // A size forced on PipeWire's graph takes effect a cycle or two later.
    if (g_jack->asked_frames > 0)
        return g_jack->asked_frames;
    return (int)jack_get_buffer_size(g_jack->client);
}

int plat_jack_device_count(void)
{
    return g_jack ? g_jack->device_count : 0;
}

const PlatJackDevice* plat_jack_device(int index)
{
    return g_jack && index >= 0 && index < g_jack->device_count ? &g_jack->devices[index] : nullptr;
}

int plat_jack_default_input(void)
{
    return g_jack ? g_jack->default_input : -1;
}

int plat_jack_default_output(void)
{
    return g_jack ? g_jack->default_output : -1;
}

// ---------------------------------------------------------------------------
// Stream
// ---------------------------------------------------------------------------

static bool jack_any_connection(JackClientState* s)
{
    for (int i = 0; i < s->in_count; i++)
        if (jack_port_connected(s->in_ports[i]) > 0)
            return true;
    for (int i = 0; i < s->out_count; i++)
        if (jack_port_connected(s->out_ports[i]) > 0)
            return true;
    return false;
}

// Makes the table hold exactly `count` ports named "<stem>_<k>": kept ports keep their
// connections, extra ones are unregistered, missing ones registered.
static bool jack_settle_ports(JackClientState* s, jack_port_t** table, int* have, int count, const char* stem,
                              unsigned long flags)
{
    for (int k = count; k < *have; k++) {
        jack_port_unregister(s->client, table[k]);
        table[k] = nullptr;
    }
    if (*have > count)
        *have = count;
    for (int k = *have; k < count; k++) {
        char name[32];
        snprintf(name, sizeof name, "%s_%d", stem, k);
        table[k] = jack_port_register(s->client, name, JACK_DEFAULT_AUDIO_TYPE, flags, 0);
        if (!table[k])
            return false;
        *have = k + 1;
    }
    return true;
}

static void jack_disconnect_inputs(JackClientState* s)
{
    for (int i = 0; i < s->in_count; i++)
        jack_port_disconnect(s->client, s->in_ports[i]);
}

static void jack_connect_side(JackClientState* s, int device, bool capture)
{
    if (device < 0)
        return;
    const char** remote = jack_device_ports(s, s->devices[device].name, capture);
    int count = capture ? s->in_count : s->out_count;
    for (int k = 0; remote && remote[k] && k < count; k++) {
        const char* ours = jack_port_name(capture ? s->in_ports[k] : s->out_ports[k]);
        if (capture)
            jack_connect(s->client, remote[k], ours);
        else
            jack_connect(s->client, ours, remote[k]);
    }
    jack_free(remote);
}

bool plat_jack_stream_open(int in_device, int in_channels, int out_device, int out_channels, PlatJackProcess fn,
                           void* user)
{
    JackClientState* s = g_jack;
    if (!s || g_lost.load(std::memory_order_acquire))
        return false;
    const PlatJackDevice* in = plat_jack_device(in_device);
    const PlatJackDevice* out = plat_jack_device(out_device);
    if (in_channels < 0 || in_channels > PLAT_JACK_MAX_INPUTS || (in_channels > 0 && (!in || in->inputs < in_channels)))
        return false;
    if (out_channels < 0 || out_channels > PLAT_JACK_MAX_OUTPUTS || (out_channels > 0 && (!out || out->outputs < out_channels)))
        return false;
    g_active.store(0, std::memory_order_seq_cst);
    g_ports_ready.store(0, std::memory_order_seq_cst);
    if (!jack_wait_cycles(kStopWaitSeconds) && !g_lost.load(std::memory_order_acquire))
        return false;
    bool ok = jack_settle_ports(s, s->in_ports, &s->in_count, in_channels, "in", JackPortIsInput) &&
              jack_settle_ports(s, s->out_ports, &s->out_count, out_channels, "out", JackPortIsOutput);
    if (!ok)
        return false;
    // The input ports record the chosen device: when it is another one than they were
    // connected to, they go to its ports, in order, and to nothing else. On the same
    // device the connections stay as they are (the user may have patched them by
    // hand); ports with no connection at all are new (the first stream on this
    // server) and go to the devices' ports.
    const char* in_name = in_channels > 0 ? in->name : "";
    bool fresh = !jack_any_connection(s);
    if (std::strcmp(s->inputs_for, in_name) != 0) {
        jack_disconnect_inputs(s);
        jack_connect_side(s, in_channels > 0 ? in_device : -1, true);
        snprintf(s->inputs_for, sizeof s->inputs_for, "%s", in_name);
    } else if (fresh) {
        jack_connect_side(s, in_channels > 0 ? in_device : -1, true);
    }
    if (fresh)
        jack_connect_side(s, out_channels > 0 ? out_device : -1, false);
    snprintf(s->outputs_to, sizeof s->outputs_to, "%s", out_channels > 0 ? out->name : "");
    s->fn = fn;
    s->user = user;
    g_ports_ready.store(1, std::memory_order_seq_cst);
    return true;
}

void plat_jack_stream_start(void)
{
    if (g_jack)
        g_active.store(1, std::memory_order_seq_cst);
}

void plat_jack_stream_stop(void)
{
    g_active.store(0, std::memory_order_seq_cst);
    jack_wait_cycles(kStopWaitSeconds);
}

void plat_jack_stream_close(void)
{
    plat_jack_stream_stop();
    if (g_jack) {
        g_jack->fn = nullptr;
        g_jack->user = nullptr;
    }
}

// The latency of a device's first port on one side; 0 without one.
static double jack_device_latency(JackClientState* s, const char* name, bool capture)
{
    if (!name[0])
        return 0.0;
    const char** ports = jack_device_ports(s, name, capture);
    double latency = ports && ports[0] ? jack_port_latency(s->client, ports[0],
                                                           capture ? JackCaptureLatency : JackPlaybackLatency, s->rate)
                                       : 0.0;
    jack_free(ports);
    return latency;
}

bool plat_jack_stream_latency(double* capture, double* playback)
{
    JackClientState* s = g_jack;
    if (!s || g_lost.load(std::memory_order_acquire))
        return false;
    *capture = jack_device_latency(s, s->inputs_for, true);
    *playback = jack_device_latency(s, s->outputs_to, false);
    return true;
}

bool plat_jack_stream_running(void)
{
    return g_jack && g_active.load(std::memory_order_relaxed) && !g_lost.load(std::memory_order_acquire);
}

// ---------------------------------------------------------------------------
// Hiding the server from other clients of this process
// ---------------------------------------------------------------------------

static char g_saved_server[256];
static char g_saved_no_start[16];
static char g_saved_nojack[16];
static bool g_had_server = false, g_had_no_start = false, g_had_nojack = false;

static void jack_save_env(const char* name, char* buf, size_t cap, bool* had)
{
    const char* v = getenv(name);
    *had = v != nullptr;
    snprintf(buf, cap, "%s", v ? v : "");
}

static void jack_restore_env(const char* name, const char* buf, bool had)
{
    if (had)
        setenv(name, buf, 1);
    else
        unsetenv(name);
}

void plat_jack_hide_server_begin(void)
{
    jack_save_env("JACK_DEFAULT_SERVER", g_saved_server, sizeof g_saved_server, &g_had_server);
    jack_save_env("JACK_NO_START_SERVER", g_saved_no_start, sizeof g_saved_no_start, &g_had_no_start);
    char name[64];
    snprintf(name, sizeof name, "tessel-no-server-%ld", (long)getpid());
    setenv("JACK_DEFAULT_SERVER", name, 1);
    setenv("JACK_NO_START_SERVER", "1", 1);
    // PipeWire's JACK library ignores the server name; this keeps it from connecting.
    jack_save_env("PIPEWIRE_NOJACK", g_saved_nojack, sizeof g_saved_nojack, &g_had_nojack);
    setenv("PIPEWIRE_NOJACK", "1", 1);
}

void plat_jack_hide_server_end(void)
{
    jack_restore_env("JACK_DEFAULT_SERVER", g_saved_server, g_had_server);
    jack_restore_env("JACK_NO_START_SERVER", g_saved_no_start, g_had_no_start);
    jack_restore_env("PIPEWIRE_NOJACK", g_saved_nojack, g_had_nojack);
}
