// engine_retire.h - publishing a loaded plug-in to the audio callback and taking it
// back before it is unloaded.
// Threads: UI thread only [blocks].
// The callback loads each plug-in field once per block (seq_cst) between its block
// counters. Retiring stores null (seq_cst), then waits until every block that began
// before the store has ended: after that no block can still hold the old pointer.
// The wait is bounded; a callback that never comes back (a plug-in stuck inside its
// processing) leaves the plug-in loaded rather than unmapped under the audio thread.
// Depends on: engine.h (block counters), vst.h.
#pragma once
#include <atomic>

struct Engine;
struct VstPlugin;

enum { ENGINE_RETIRE_WAIT_MS = 2000 };

// Stores a fully set-up plug-in into field (the instrument or a slot's plug-in). A
// plug-in already there is retired first.
void engine_publish_plugin(Engine* e, std::atomic<VstPlugin*>* field, VstPlugin* plugin);

// Clears field, waits for the callback to let go of the plug-in it held and unloads
// it. Returns false when the callback did not let go within ENGINE_RETIRE_WAIT_MS:
// the plug-in is then left loaded (leaked). An empty field returns true.
bool engine_retire_plugin(Engine* e, std::atomic<VstPlugin*>* field);

// As engine_retire_plugin with a wait of timeout_ms.
bool engine_retire_plugin_within(Engine* e, std::atomic<VstPlugin*>* field, int timeout_ms);
