/* lsan_alsa_plugins.c - linked into the test binaries that open real audio devices.
   While the audio library probes ALSA's devices, ALSA loads its plug-ins (PipeWire's
   on most desktops) and unloads them after; their failure paths leak a few small
   allocations. Those reports are not the program's. The sanitizer runtime reads
   these at start-up: full stacks for allocations (the fast unwinder stops at the
   unloaded plug-in, before libasound), and the suppression of what libasound's
   plug-ins leave. */
const char* __asan_default_options(void)
{
    return "fast_unwind_on_malloc=0";
}

const char* __lsan_default_suppressions(void)
{
    return "leak:libasound.so\n";
}
