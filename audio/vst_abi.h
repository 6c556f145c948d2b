// vst_abi.h - the VST 2 binary interface as the host uses it: the effect record, the
// entry point, the dispatcher and host-callback opcodes, MIDI events, the event list,
// time information and the editor rectangle. Declared here from the published
// layout; the static_asserts pin it for x86-64 (SysV) with natural alignment.
// Threads: declarations only.
// Depends on: nothing.
#pragma once
#include <cstddef>
#include <cstdint>

struct AEffect;

// Host callback and dispatcher: (effect, opcode, index, value, pointer, float option).
typedef intptr_t (*VstHostCallback)(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                    float opt);
typedef intptr_t (*VstDispatcher)(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr,
                                  float opt);
typedef void (*VstProcess)(AEffect* effect, float** inputs, float** outputs, int32_t frames);
typedef void (*VstProcessDouble)(AEffect* effect, double** inputs, double** outputs, int32_t frames);
typedef void (*VstSetParameter)(AEffect* effect, int32_t index, float value);
typedef float (*VstGetParameter)(AEffect* effect, int32_t index);
// The library's entry point, "VSTPluginMain" or "main".
typedef AEffect* (*VstEntry)(VstHostCallback host);

enum {
    VST_MAGIC = 0x56737450,               // 'VstP'

    // Effect flags.
    VST_FLAG_HAS_EDITOR = 1,
    VST_FLAG_CAN_REPLACE = 16,
    VST_FLAG_PROGRAM_CHUNKS = 32,
    VST_FLAG_IS_SYNTH = 256,

    // Dispatcher opcodes (host to plug-in).
    VST_EFF_OPEN = 0,
    VST_EFF_CLOSE = 1,
    VST_EFF_GET_PARAM_NAME = 8,
    VST_EFF_SET_SAMPLE_RATE = 10,
    VST_EFF_SET_BLOCK_SIZE = 11,
    VST_EFF_MAINS_CHANGED = 12,
    VST_EFF_EDIT_GET_RECT = 13,
    VST_EFF_EDIT_OPEN = 14,
    VST_EFF_EDIT_CLOSE = 15,
    VST_EFF_EDIT_IDLE = 19,
    VST_EFF_PROCESS_EVENTS = 25,
    VST_EFF_GET_EFFECT_NAME = 45,
    VST_EFF_START_PROCESS = 71,
    VST_EFF_STOP_PROCESS = 72,

    // Host-callback opcodes (plug-in to host).
    VST_HOST_VERSION = 1,
    VST_HOST_CURRENT_ID = 2,
    VST_HOST_WANT_MIDI = 6,
    VST_HOST_GET_TIME = 7,
    VST_HOST_SIZE_WINDOW = 15,
    VST_HOST_GET_SAMPLE_RATE = 16,
    VST_HOST_GET_BLOCK_SIZE = 17,
    VST_HOST_GET_VENDOR_STRING = 32,
    VST_HOST_GET_PRODUCT_STRING = 33,
    VST_HOST_GET_VENDOR_VERSION = 34,
    VST_HOST_CAN_DO = 37,

    // Event types and time flags.
    VST_EVENT_MIDI = 1,
    VST_TIME_TRANSPORT_PLAYING = 2,
    VST_TIME_TEMPO_VALID = 1024,

    VST_STRING_MAX = 64,                  // vendor and product strings, with the NUL
};

struct AEffect {
    int32_t magic;                        // VST_MAGIC
    VstDispatcher dispatcher;
    VstProcess process;                   // accumulating process, unused
    VstSetParameter set_parameter;
    VstGetParameter get_parameter;
    int32_t num_programs;
    int32_t num_params;
    int32_t num_inputs;
    int32_t num_outputs;
    int32_t flags;
    intptr_t resvd1;                      // the host's: set to its record
    intptr_t resvd2;
    int32_t initial_delay;
    int32_t real_qualities;
    int32_t off_qualities;
    float io_ratio;
    void* object;                         // the plug-in's own
    void* user;
    int32_t unique_id;
    int32_t version;
    VstProcess process_replacing;
    VstProcessDouble process_double_replacing;
    char future[56];
};

struct VstMidiEvent {
    int32_t type;                         // VST_EVENT_MIDI
    int32_t byte_size;                    // 32
    int32_t delta_frames;
    int32_t flags;
    int32_t note_length;
    int32_t note_offset;
    char midi_data[4];                    // status, data 1, data 2, 0
    char detune;
    char note_off_velocity;
    char reserved1;
    char reserved2;
};

// Any event; the list's pointers have this type.
struct VstEvent {
    int32_t type;
    int32_t byte_size;
    int32_t delta_frames;
    int32_t flags;
    char data[16];
};

// The event list: the count, then pointers. Plug-ins read num_events of them, so a
// host declares as many as it sends.
template <int N>
struct VstEventList {
    int32_t num_events;
    intptr_t reserved;
    VstEvent* events[N];
};

struct VstTimeInfo {
    double sample_pos;
    double sample_rate;
    double nano_seconds;
    double ppq_pos;
    double tempo;
    double bar_start_pos;
    double cycle_start_pos;
    double cycle_end_pos;
    int32_t time_sig_numerator;
    int32_t time_sig_denominator;
    int32_t smpte_offset;
    int32_t smpte_frame_rate;
    int32_t samples_to_next_clock;
    int32_t flags;
};

struct ERect {
    int16_t top, left, bottom, right;
};

#if defined(__x86_64__) || defined(_M_X64) || defined(__aarch64__)
static_assert(sizeof(AEffect) == 192, "AEffect is 192 bytes");
static_assert(offsetof(AEffect, dispatcher) == 8);
static_assert(offsetof(AEffect, num_inputs) == 48);
static_assert(offsetof(AEffect, num_outputs) == 52);
static_assert(offsetof(AEffect, flags) == 56);
static_assert(offsetof(AEffect, resvd1) == 64);
static_assert(offsetof(AEffect, object) == 96);
static_assert(offsetof(AEffect, unique_id) == 112);
static_assert(offsetof(AEffect, process_replacing) == 120);
static_assert(offsetof(AEffect, process_double_replacing) == 128);
static_assert(offsetof(VstEventList<2>, events) == 16);
#endif
static_assert(sizeof(VstMidiEvent) == 32, "a MIDI event is 32 bytes");
static_assert(offsetof(VstMidiEvent, midi_data) == 24);
static_assert(sizeof(VstEvent) == 32);
static_assert(sizeof(VstTimeInfo) == 88, "the time record is 88 bytes");
static_assert(offsetof(VstTimeInfo, time_sig_numerator) == 64);
static_assert(offsetof(VstTimeInfo, flags) == 84);
static_assert(sizeof(ERect) == 8);
