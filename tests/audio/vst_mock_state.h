// vst_mock_state.h - what a test sets and reads of the mock plug-in: its configuration
// (read when the entry point is called, and while it runs) and its record of calls.
// Threads: the test writes the configuration before loading; the mock writes the
// record from whichever thread calls it.
#pragma once
#include <atomic>
#include <cstdint>

#include "audio/vst_abi.h"

struct VstMockConfig {
    int32_t inputs = 2;
    int32_t outputs = 2;
    int32_t outputs_after_open = -1;          // >= 0: the output count effOpen settles on
    int32_t flags = VST_FLAG_CAN_REPLACE | VST_FLAG_HAS_EDITOR;
    int32_t magic = VST_MAGIC;
    bool return_null = false;                 // the entry point returns no effect
    bool no_replacing = false;                // no processReplacing function
    char name[64] = "Mock Effect";            // "" answers the name request with 0
    float gain = 0.5f;                        // output k = input (k mod inputs) * gain
    float note_level = 0.25f;                 // plus this per held note
    bool nan_output = false;                  // every output sample NaN
    int32_t undeclared_inputs = 0;            // reads this many inputs whatever it declares,
                                              // adds them in, then scribbles on them
    bool ask_time = false;                    // asks the host for the time every block
    std::atomic<int32_t> sleep_ms{0};         // processReplacing takes this long
    std::atomic<bool> hold{false};            // processReplacing waits while set
    ERect rect_before = {0, 0, 300, 50};      // editor rectangle before it opens (50 x 300)
    ERect rect_after = {0, 0, 200, 200};      // and once it is open
    bool resize_from_thread = false;          // asks for 300 x 150 from a thread of its own
};

enum { VST_MOCK_CALL_LOG = 16 };

struct VstMockStats {
    std::atomic<int32_t> opcodes[128];        // dispatcher calls per opcode
    std::atomic<int32_t> alive{0};            // effects made and not closed
    AEffect* last_effect = nullptr;           // the newest effect made
    std::atomic<int32_t> in_process{0};       // inside processReplacing now
    std::atomic<int32_t> process_calls{0};
    std::atomic<int32_t> closed_while_processing{0};
    std::atomic<int32_t> midi_events{0};
    int32_t events_per_call[VST_MOCK_CALL_LOG] = {};   // first event lists received
    int32_t event_calls = 0;
    uint8_t last_midi[3] = {};
    int32_t last_delta = -1;
    intptr_t entry_version = 0;               // host answers inside the entry point
    intptr_t entry_rate = 0;
    intptr_t entry_block = 0;
    int32_t time_requests = 0;
    VstTimeInfo last_time = {};
    intptr_t thread_resize_answer = -1;
    intptr_t editor_window = 0;               // the window handed to effEditOpen
    int32_t input_pointers_seen = 0;          // inputs read on the last block
};

struct VstMockState {
    VstMockConfig config;
    VstMockStats stats;
};

// The library's exported accessor: extern "C" VstMockState* vst_mock_state(void).
typedef VstMockState* (*VstMockStateFn)(void);
