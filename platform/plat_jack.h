// plat_jack.h - the program's own JACK client: the server's clients as devices, one
// duplex stream whose ports keep their names and connections from one stream to the
// next while the server lives, and notice when the server goes away.
// Threads: every function here: UI thread. The process function given to
// plat_jack_stream_open runs on JACK's process thread [RT].
// Shared with the process thread (lock-free): the ports-ready and active flags and the
// entered/left cycle counters; the port tables change only while ports-ready is 0 and
// no cycle that might have seen it set is still running.
// Depends on: the JACK client library.
//
// Why not the audio library's own JACK host API: once its server has gone it can
// neither stop a stream (the stop waits for a server cycle that never comes) nor be
// shut down (it asserts on the dead client), so the program could never reach a
// server started again. This client is closed and opened again instead.
#pragma once
#include <cstddef>

enum { PLAT_JACK_MAX_DEVICES = 64, PLAT_JACK_MAX_INPUTS = 64, PLAT_JACK_MAX_OUTPUTS = 2 };

// One other client of the server, seen as a device.
struct PlatJackDevice {
    char name[64];               // the client's name ("system", a PipeWire node's name)
    int inputs;                  // its output ports we can record from (monitors left out)
    int outputs;                 // its input ports we can play into
    bool physical_capture;       // its recordable ports are physical
    bool physical_playback;      // its playable ports are physical
    bool physical_any;           // any of its ports is physical (a device, not a program)
    double input_latency;        // seconds, its capture latency
    double output_latency;       // seconds, its playback latency
};

// [RT] One server cycle: port buffers, non-interleaved, `frames` long.
typedef void (*PlatJackProcess)(void* user, const float* const* in, int in_count, float* const* out,
                                int out_count, int frames);

// Opens the client (never starts a server) and lists the devices. `frames` is the
// block size asked of a graph that takes a client's wish (PipeWire's node latency;
// jackd keeps its own period). False, with a reason, when no server answers.
bool plat_jack_connect(const char* client_name, int frames, char* err, size_t err_cap);
// Closes the client; a client whose server has gone is closed on a worker nobody
// waits for, and its record is left behind.
void plat_jack_disconnect(void);
bool plat_jack_connected(void);
// The server went away (its shutdown notice came); the client must be reconnected.
bool plat_jack_server_lost(void);
// Whether the server still runs the client's cycles (waits up to `limit` seconds for
// one); a server that ran none is taken as gone, as if its notice had come.
bool plat_jack_server_answers(double limit);
// The server is PipeWire's JACK layer.
bool plat_jack_is_pipewire(void);
// On PipeWire, asks the graph for blocks of `frames` (a running graph otherwise keeps
// the size it has); jackd's period belongs to its user and is left alone.
void plat_jack_ask_block_size(int frames);
// Asks the server for blocks of `frames`: jackd's period, PipeWire's graph quantum.
// The running stream goes on, its cycles at the new size. False when it refuses.
bool plat_jack_set_block_size(int frames);

// Lists the server's clients again (programs come and go); indices may change.
void plat_jack_refresh_devices(void);
double plat_jack_rate(void);                   // the server's sample rate, 0 unconnected
int plat_jack_period(void);                    // frames per server cycle
int plat_jack_device_count(void);
const PlatJackDevice* plat_jack_device(int index);   // null out of range
// The client with physical capture ports, else the first device-like client (one
// with any physical port: PipeWire's virtual sources) with recordable ports; never a
// monitor, never a program that only plays (a synth, a tone), never this program.
// Else -1.
int plat_jack_default_input(void);
// The client with physical playback ports, else -1.
int plat_jack_default_output(void);

// Registers (or keeps) the ports "in_0".."in_<n-1>" and "out_0", "out_1". Input
// ports moved to another device than they were connected to are connected to its
// ports, in order, and to nothing else; otherwise ports keep their connections, and
// ports that had none at all are connected to the devices' ports. False when a count
// exceeds a device's ports or the server refuses a port.
bool plat_jack_stream_open(int in_device, int in_channels, int out_device, int out_channels,
                           PlatJackProcess fn, void* user);
void plat_jack_stream_start(void);
// Stops calling the process function; waits (up to about a second) for a running
// cycle to end. Returns immediately when the server has gone.
void plat_jack_stream_stop(void);
// Ends the stream; the ports stay registered with their connections.
void plat_jack_stream_close(void);
bool plat_jack_stream_running(void);           // started, and the server still there
// The stream's devices' latencies as the server states them now, in seconds: the
// input device's capture latency and the output device's playback latency (0 for a
// side without a device). They move with the server's period. False, nothing
// written, without a server.
bool plat_jack_stream_latency(double* capture, double* playback);

// Around the audio library's initialisation: JACK clients opened meanwhile (the
// library's own JACK host API) look for a server name nobody uses, so only this
// client ever talks to the server. The environment is restored after.
void plat_jack_hide_server_begin(void);
void plat_jack_hide_server_end(void);
