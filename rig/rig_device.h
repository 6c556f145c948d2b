// rig_device.h - how an opened audio interface is identified, and what it plays
// before its rig is read: device words, names and keys, the key hash, the default mix,
// and the bounded UTF-8 copy every rig text goes through.
// Threads: any (plain functions on values).
// Depends on: json_utf8.h, platform/plat_text.h.
#pragma once
#include <cstdint>

enum { RIG_MAX_INPUTS = 64 };

// The opened input device as the engine describes it to the rig session.
struct RigDeviceInfo {
    char key[200];                    // "api:name", empty when it could not be built
    char api[16];                     // host API word ("jack", "alsa", "asio", ...)
    char name[128];                   // trimmed UTF-8 device name
    int32_t inputs_opened;            // 1..64
    int32_t inputs_on_device;         // at most 64, never below inputs_opened
    double sample_rate;               // rate the stream was opened at
    char channel_names[RIG_MAX_INPUTS][64];   // left empty by the engine
};

// Per-input left and right gains the router applies.
struct RigMix {
    int32_t channels;                 // 0..64; entries at and past it are 0
    float left[RIG_MAX_INPUTS];
    float right[RIG_MAX_INPUTS];
    float master;
};

// Bounded copy of a NUL-terminated UTF-8 text, invalid units written as U+FFFD, cut
// at a whole character within size - 1 bytes. Returns the bytes written.
int rig_utf8_copy(char* dst, int size, const char* src);

// API word of a PortAudio host API type id ("wasapi", "jack", "api%d"). Returns length.
int rig_api_name(int type_id, char* out, int size);

// Device name as the audio library reports it, trimmed, as valid UTF-8 (a name that is
// not UTF-8 is read through the platform's legacy code page, Latin-1 on Linux, else
// repaired with U+FFFD). Looks at the first 4096 bytes. Returns length.
int rig_device_name_utf8(const char* name, char* out, int size);

// Key "api:name" with Windows instance numbers and a trailing ALSA " (hw:N,M)" removed
// from the name. Returns its length, or -1 (empty output) when it does not fit.
int rig_device_key(const char* api, const char* name, char* out, int size);

// 32-bit FNV-1a of a text; 0 becomes 1 so that 0 can mean "no tag".
uint32_t rig_fnv1a32(const char* text);

// True for the API words whose channels are separate mono inputs of one interface
// ("asio", and "jack" which takes its role here). Compared in full, with case.
bool rig_api_is_direct(const char* api);

// The mix a device plays before its rig is read: the first pair (or the only input)
// at unity, further inputs muted, master 1.
void rig_default_input_mix(const char* api, int channels, RigMix* out);
