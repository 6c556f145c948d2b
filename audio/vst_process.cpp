// vst_process.cpp - running a published plug-in inside the audio callback.
// Threads: audio thread only [RT]: no allocation, lock, wait, log or file access.
#include <cmath>
#include <cstring>

#include "audio/vst_plugin.h"

// Copies a plug-in output into the bus, non-finite samples as 0.
static void copy_scrubbed(float* dst, const float* src, int frames)
{
    for (int i = 0; i < frames; i++)
        dst[i] = std::isfinite(src[i]) ? src[i] : 0.0f;
}

void vst_process(VstPlugin* p, float* left, float* right, int frames)
{
    if (!p || !p->effect || !left || !right || frames <= 0 || frames > p->block_size)
        return;
    AEffect* fx = p->effect;
    int ins = fx->num_inputs;
    int outs = fx->num_outputs;
    // A plug-in that declares more channels than when it was loaded would run past
    // its pointer arrays: it is not run.
    if (ins > p->ptr_count || outs > p->ptr_count)
        return;

    vst_host_enter_process(p);
    vst_midi_deliver(p);

    size_t bytes = sizeof(float) * (size_t)frames;
    std::memset(p->silent, 0, bytes);   // plug-ins sometimes write into their inputs
    p->input_ptrs[0] = ins >= 1 ? left : p->silent;
    p->input_ptrs[1] = ins >= 2 ? right : p->silent;
    std::memset(p->outputs[0], 0, bytes);
    std::memset(p->outputs[1], 0, bytes);

    fx->process_replacing(fx, p->input_ptrs, p->output_ptrs, frames);
    vst_host_leave_process();
    p->sample_pos.store(p->sample_pos.load(std::memory_order_relaxed) + frames, std::memory_order_relaxed);

    if (outs >= 2) {
        copy_scrubbed(left, p->outputs[0], frames);
        copy_scrubbed(right, p->outputs[1], frames);
    } else if (outs == 1) {
        copy_scrubbed(left, p->outputs[0], frames);
        std::memcpy(right, left, bytes);
    }
}
