// jack_tone.cpp - a small JACK client for real-stream tests: one steady sine per port,
// each port connected to a destination port, for a given number of seconds.
// usage: tessel_jack_tone SECONDS AMPLITUDE FREQ:DEST [FREQ:DEST ...]
// Exits early when the server goes away. Exit code 0 once the tones have played.
#include <jack/jack.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Tone {
    jack_port_t* port = nullptr;
    double freq = 0.0;
    double phase = 0.0;
    std::string dest;
};

std::vector<Tone> g_tones;
float g_amplitude = 0.25f;
double g_rate = 48000.0;
std::atomic<bool> g_gone{false};

int on_process(jack_nframes_t n, void*)
{
    const double two_pi = 6.283185307179586;
    for (Tone& t : g_tones) {
        float* out = (float*)jack_port_get_buffer(t.port, n);
        double inc = two_pi * t.freq / g_rate;
        for (jack_nframes_t i = 0; i < n; i++) {
            out[i] = g_amplitude * (float)std::sin(t.phase);
            t.phase += inc;
            if (t.phase >= two_pi)
                t.phase -= two_pi;
        }
    }
    return 0;
}

void on_shutdown(void*) { g_gone.store(true); }

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s SECONDS AMPLITUDE FREQ:DEST [FREQ:DEST ...]\n", argv[0]);
        return 2;
    }
    double seconds = std::atof(argv[1]);
    g_amplitude = (float)std::atof(argv[2]);
    for (int a = 3; a < argc; a++) {
        const char* colon = std::strchr(argv[a], ':');
        if (!colon) {
            std::fprintf(stderr, "jack_tone: bad tone %s\n", argv[a]);
            return 2;
        }
        Tone t;
        t.freq = std::atof(argv[a]);
        t.dest = colon + 1;
        g_tones.push_back(t);
    }

    jack_status_t status;
    jack_client_t* client = jack_client_open("tessel_tone", JackNoStartServer, &status);
    if (!client) {
        std::fprintf(stderr, "jack_tone: no server (status 0x%x)\n", (unsigned)status);
        return 1;
    }
    g_rate = (double)jack_get_sample_rate(client);
    for (size_t i = 0; i < g_tones.size(); i++) {
        char name[32];
        std::snprintf(name, sizeof name, "out_%zu", i);
        g_tones[i].port = jack_port_register(client, name, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        if (!g_tones[i].port) {
            std::fprintf(stderr, "jack_tone: cannot register %s\n", name);
            jack_client_close(client);
            return 1;
        }
    }
    jack_set_process_callback(client, on_process, nullptr);
    jack_on_shutdown(client, on_shutdown, nullptr);
    if (jack_activate(client) != 0) {
        std::fprintf(stderr, "jack_tone: cannot activate\n");
        jack_client_close(client);
        return 1;
    }
    for (Tone& t : g_tones) {
        int rc = jack_connect(client, jack_port_name(t.port), t.dest.c_str());
        if (rc != 0 && rc != EEXIST) {
            std::fprintf(stderr, "jack_tone: cannot connect to %s\n", t.dest.c_str());
            jack_client_close(client);
            return 1;
        }
    }
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!g_gone.load() && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (!g_gone.load())
        jack_client_close(client);
    return 0;
}
