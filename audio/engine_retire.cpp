// engine_retire.cpp - plug-in publish and retire on the engine's block counters.
// Threads: UI thread only.
#include "audio/engine_retire.h"

#include <cstdio>

#include "audio/engine.h"
#include "audio/vst.h"

void engine_publish_plugin(Engine* e, std::atomic<VstPlugin*>* field, VstPlugin* plugin)
{
    if (!field)
        return;
    if (field->load(std::memory_order_relaxed))
        engine_retire_plugin(e, field);
    field->store(plugin, std::memory_order_seq_cst);
}

bool engine_retire_plugin_within(Engine* e, std::atomic<VstPlugin*>* field, int timeout_ms)
{
    if (!field)
        return true;
    // seq_cst on both sides: either the callback's next pointer load sees null, or
    // the entry count loaded inside the wait already includes that block.
    VstPlugin* old = field->exchange(nullptr, std::memory_order_seq_cst);
    if (!old)
        return true;
    if (e && !engine_wait_blocks_passed(e, timeout_ms)) {
        fprintf(stderr, "vst: the audio callback kept \"%s\"; left loaded\n", vst_name(old));
        return false;
    }
    vst_unload(old);
    return true;
}

bool engine_retire_plugin(Engine* e, std::atomic<VstPlugin*>* field)
{
    return engine_retire_plugin_within(e, field, ENGINE_RETIRE_WAIT_MS);
}
