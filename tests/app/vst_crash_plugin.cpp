// vst_crash_plugin.cpp - a plug-in library whose entry point ends the process, as a
// plug-in that crashes or hangs (and is killed) while it loads ends the program.
#include <csignal>

extern "C" __attribute__((visibility("default"))) void* VSTPluginMain(void*)
{
    raise(SIGKILL);
    return nullptr;
}
