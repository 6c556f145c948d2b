// plat_text.h - text from the OS that may not be UTF-8 (device names).
// Threads: any.
// Linux has no system ANSI code page; names that are not UTF-8 are read as Latin-1,
// where every byte is one code point, so the conversion itself cannot fail.
#pragma once
#include <cstddef>

// Converts len bytes of a legacy (non-UTF-8) text to UTF-8 into out (NUL-terminated,
// cut at a whole character). Returns the bytes written before the NUL, or -1 when no
// legacy code page is in use (the caller then keeps the bytes and repairs them).
int plat_text_legacy_to_utf8(const char* in, size_t len, char* out, size_t out_size);

// Test hook: switches the Latin-1 reading off (as a system whose code page is UTF-8).
void plat_text_set_legacy_enabled(bool enabled);
