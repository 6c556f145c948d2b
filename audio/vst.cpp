// vst.cpp - plug-in host (placeholder: no plug-in processes anything yet).
#include "audio/vst.h"

void vst_process(VstPlugin*, float*, float*, int) {}
