// vst.h - the VST 2 plug-in host (placeholder until the host lands).
// Threads: vst_process: audio thread [RT]; everything else: UI thread.
#pragma once

struct VstPlugin;

void vst_process(VstPlugin* plugin, float* left, float* right, int frames);   // [RT]
