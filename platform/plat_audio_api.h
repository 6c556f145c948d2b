// plat_audio_api.h - which audio host APIs play which role on this platform.
// Threads: any (constant tables).
// The engine gives two host APIs special treatment: a "direct" one, preferred for
// input, that drives one device for both sides with latencies of one buffer (ASIO on
// Windows, JACK here), and a "system" one that is the fallback for outputs and the
// only one with an exclusive mode (WASAPI on Windows, ALSA here). Ids are PortAudio's
// host API type ids.
#pragma once

struct PlatHostApiPolicy {
    int direct_type;              // preferred host API, same device for both sides
    int system_type;              // fallback output host API, exclusive mode
    const char* direct_label;     // host label shown for the direct API
    const char* system_label;     // host label shown for the system API
};

const PlatHostApiPolicy* plat_host_api_policy(void);          // this platform's roles
const PlatHostApiPolicy* plat_host_api_policy_windows(void);  // ASIO/WASAPI roles, for tests
