// vst.h - the VST 2 plug-in host: loading and unloading plug-ins, running them in the
// audio callback, MIDI from the UI, parameters, editor windows and the folder scan.
// Threads: vst_process: audio thread [RT]. vst_host_callback: any thread (plug-ins
//          call it from the audio thread, the UI thread and threads of their own).
//          Everything else: UI thread.
// A loaded plug-in reaches the audio thread only through a pointer store into the
// engine's instrument or a slot's plug-in field, and leaves it through
// engine_retire_plugin (engine_retire.h). MIDI goes from the UI thread to the audio
// thread through a single-producer single-consumer ring of 255 messages.
// Depends on: vst_abi.h, rig/rig_device.h, platform/plat_dl.h, plat_dir.h, plat_x11_editor.h.
#pragma once
#include <cstddef>
#include <cstdint>

#include "audio/vst_abi.h"

struct VstPlugin;

enum {
    VST_MAX_IO = 8,              // outputs the host keeps a buffer for; inputs it may feed
    VST_MIDI_RING = 256,         // ring slots; one stays free, so 255 messages fit
    VST_MIDI_PER_BLOCK = 64,     // messages handed to the plug-in per block at most
    VST_SCAN_MAX_DEPTH = 3,      // folder levels below a scanned folder
    VST_PICKER_MAX = 256,        // entries the picker keeps
};

// One plug-in library found by the folder scan.
struct VstPickerEntry {
    char path[512];
    char name[128];              // file name without ".so"
};

// Loads the library at path, creates its effect and starts it at sample_rate with
// blocks of up to block_size frames. Null on failure, with the reason in err (when
// given): "LoadLibrary failed (32-bit plugin in a 64-bit host?)", "not a VST2 plugin
// (no VSTPluginMain)", "plugin returned no effect", "plugin lacks processReplacing";
// out of memory leaves err empty.
VstPlugin* vst_load(const char* path, float sample_rate, int block_size, char* err, size_t err_cap);

// As vst_load for an entry point linked into the program (no library is opened);
// path only names it. The host's tests run their mock plug-ins through it.
VstPlugin* vst_load_entry(const char* path, VstEntry entry, float sample_rate, int block_size, char* err,
                          size_t err_cap);

// Closes the editor, stops the plug-in, closes it and unloads its library. Only for a
// plug-in the audio thread cannot reach (never published, or retired). Null ignored.
void vst_unload(VstPlugin* plugin);

// [RT] Runs the plug-in in place on left and right: pending MIDI first, then one
// processReplacing call. Buffers pass unchanged for a null plug-in or a block longer
// than the load's block size. Non-finite output samples come out as 0.
void vst_process(VstPlugin* plugin, float* left, float* right, int frames);

// Queues one MIDI message for the next block. False (dropped) when 255 are waiting.
bool vst_midi_push(VstPlugin* plugin, uint8_t status, uint8_t data1, uint8_t data2);

float vst_get_parameter(VstPlugin* plugin, int index);            // 0 for null
void vst_set_parameter(VstPlugin* plugin, int index, float value);
// The parameter's name as valid UTF-8, "?" when the plug-in gives none.
void vst_get_param_name(VstPlugin* plugin, int index, char* out, size_t out_size);

const char* vst_name(const VstPlugin* plugin);    // "" for null
const char* vst_path(const VstPlugin* plugin);    // "" for null
bool vst_is_synth(const VstPlugin* plugin);       // declares itself an instrument

// Opens the plug-in's editor in a window of its own, or brings an open one to the
// front. False for a plug-in without an editor, or when no window can be made (no
// display): the plug-in is then not asked anything.
bool vst_editor_open(VstPlugin* plugin);
bool vst_editor_is_open(const VstPlugin* plugin);
// Once per frame for every loaded plug-in: closes editors whose window was closed,
// applies sizes plug-ins asked for from other threads, and gives an open editor its
// idle call.
void vst_editor_idle(VstPlugin* plugin);

// Lists the plug-in libraries of the standard folders: TESSEL_VST_PATH (when 1 to 511
// characters long), ~/.vst, ~/.lxvst, /usr/local/lib/vst, /usr/local/lib/lxvst,
// /usr/lib/vst, /usr/lib/lxvst. Returns the count (at most max). Each folder is listed
// once however many links or roots lead to it.
int vst_scan_folders(VstPickerEntry* entries, int max);
// Adds the ".so" files of folder and its subfolders (skipping names that begin with a
// dot, folders deeper than VST_SCAN_MAX_DEPTH and folders already listed in this call
// at the same level or higher up, such as links back to a parent) to entries until max
// are listed; each file once.
void vst_scan_folder(const char* folder, int depth, VstPickerEntry* entries, int max, int* count);

// The host callback handed to every plug-in.
intptr_t vst_host_callback(AEffect* effect, int32_t opcode, int32_t index, intptr_t value, void* ptr, float opt);
