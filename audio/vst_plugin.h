// vst_plugin.h - the plug-in record and the helpers the host's files share (internal
// to the vst_*.cpp files; everyone else uses vst.h).
// Threads: as each field says.
// Depends on: vst.h, vst_abi.h, platform/plat_dl.h, platform/plat_x11_editor.h.
#pragma once
#include <atomic>
#include <cstdint>
#include <thread>

#include "audio/vst.h"
#include "audio/vst_abi.h"
#include "platform/plat_dl.h"
#include "platform/plat_x11_editor.h"

struct VstPlugin {
    // Set by vst_load before the plug-in is published; read-only after.
    PlatLib* module = nullptr;                 // null for a linked-in entry point
    AEffect* effect = nullptr;
    char name[128] = {};
    char path[512] = {};
    float sample_rate = 0.0f;
    int32_t block_size = 0;
    uint8_t synth = 0;
    std::thread::id ui_thread;                 // the thread that loaded it

    // MIDI ring: the UI writes the slots and midi_write; the audio thread midi_read.
    std::atomic<uint32_t> midi_write{0};
    std::atomic<uint32_t> midi_read{0};
    uint32_t midi_ring[VST_MIDI_RING] = {};   // status | data1 << 8 | data2 << 16

    // Buffers (block_size floats each), made before the entry point is called.
    float* buffers = nullptr;                  // one allocation for all of them
    float* outputs[VST_MAX_IO] = {};           // the plug-in's first eight outputs
    float* scratch = nullptr;                  // shared by every output past eight
    float* silent = nullptr;                   // zeroed each block; inputs not fed
    // Channel pointer arrays of max(8, inputs, outputs) entries, as declared.
    float** input_ptrs = nullptr;
    float** output_ptrs = nullptr;
    int32_t ptr_count = 0;

    // Audio thread. time_info answers the time requests made while vst_process runs;
    // other threads are answered in records of their own (vst_host.cpp).
    VstMidiEvent midi_events[VST_MIDI_PER_BLOCK] = {};
    VstEventList<VST_MIDI_PER_BLOCK> event_list = {};
    VstTimeInfo time_info = {};
    std::atomic<double> sample_pos{0.0};       // frames processed since load

    // Editor: UI thread, except that the host callback reads editor_window and
    // queues sizes asked from other threads in pending_size (width << 16 | height).
    std::atomic<PlatWindowId> editor_window{0};
    uint8_t editor_open = 0;
    std::atomic<uint32_t> pending_size{0};
};

// Opcode call through the plug-in's dispatcher.
intptr_t vst_dispatch(VstPlugin* p, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);

// Host side of the callback (vst_host.cpp): which effect belongs to which plug-in,
// readable from any thread without a lock, and the rate and block size of the load
// in progress, answered to effects not attached yet.
bool vst_attach(AEffect* effect, VstPlugin* p);     // false when the table is full
void vst_detach(AEffect* effect);
VstPlugin* vst_attached(AEffect* effect);
void vst_host_set_load_values(float sample_rate, int32_t block_size);
// [RT] Brackets vst_process on the audio thread, so that the plug-in's time requests
// from inside it are told apart from those of its other threads.
void vst_host_enter_process(const VstPlugin* p);
void vst_host_leave_process(void);

// Editor (vst_editor.cpp).
void vst_editor_close(VstPlugin* p);                 // UI thread; closed is ignored
intptr_t vst_editor_size_request(VstPlugin* p, int width, int height);   // any thread

// MIDI (vst_midi.cpp): [RT] moves up to 64 waiting messages into the event list and
// hands it to the plug-in.
void vst_midi_deliver(VstPlugin* p);
