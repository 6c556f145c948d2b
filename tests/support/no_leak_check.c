/* no_leak_check.c - linked into the test binaries that hold a GL renderer: the
   sanitizer runtime reads these options at start-up. */
const char* __asan_default_options(void)
{
    return "detect_leaks=0";
}
