/* lsan_alsa_plugins.c - linked into the test binaries that open real audio devices.
   ALSA's plug-ins (PipeWire's on most desktops), loaded while devices are probed and
   unloaded after, leak a little on their failure paths: not the program's leaks.
   Full allocation stacks let the suppression see libasound behind the unloaded plug-in. */
const char* __asan_default_options(void) { return "fast_unwind_on_malloc=0"; }
const char* __lsan_default_suppressions(void) { return "leak:libasound.so\n"; }
