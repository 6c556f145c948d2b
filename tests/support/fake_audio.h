// fake_audio.h - a scripted audio library for the engine: host APIs, devices,
// refusals, start failures and stream information, with a record of every open and a
// pump that runs the registered callback deterministically.
#pragma once
#include <atomic>
#include <functional>
#include <vector>

#include "audio/audio_backend.h"

struct FakeHostApi {
    int type;                 // PortAudio host API type id
    const char* name;
    int default_input;        // device index, or -1
    int default_output;
};

struct FakeDevice {
    const char* name;
    int host_api;             // index into the host API list
    int max_inputs;
    int max_outputs;
    double default_rate;
    double low_input_latency;
    double low_output_latency;
};

struct FakeOpenCall {
    int in_device;            // -1 without an input side
    int in_channels;
    double in_latency;
    int out_device;
    int out_channels;
    double out_latency;
    double rate;
    unsigned long frames;
    int exclusive;
    bool granted;
};

struct FakeAudio {
    std::vector<FakeHostApi> apis;
    std::vector<FakeDevice> devices;
    int default_input = -1;
    int default_output = -1;
    bool init_fails = false;
    // Returns true to refuse an open.
    std::function<bool(const FakeOpenCall&)> refuse;
    int start_result = 0;                 // PaError returned by start
    bool have_stream_info = true;
    double info_input_latency = 0.004;
    double info_output_latency = 0.006;

    int server_block = 0;                 // a server that sets the block size runs this; 0: none
    bool server_refuses = false;          // it refuses every new size

    std::function<void()> on_stop;        // runs inside stop (may block: a dead server)
    std::function<void()> on_rescan;      // runs when the engine looks for servers again
    bool server_gone = false;             // the open stream reads as no longer active
    int terminates = 0;

    std::vector<FakeOpenCall> opens;      // every open attempt, granted or not
    // Stop and close run on the engine's worker threads.
    std::atomic<int> starts{0}, stops{0}, closes{0};
    PaStreamCallback* callback = nullptr;
    void* user = nullptr;
    std::atomic<bool> stream_open{false};
};

FakeAudio& fake_audio(void);              // the one fake
void fake_audio_reset(void);              // empty the script and the record
const EngineBackend* fake_audio_backend(void);

// Runs the open stream's callback once on this thread.
int fake_audio_pump(const float* input, float* output, unsigned long frames);
