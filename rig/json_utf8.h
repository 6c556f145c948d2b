// json_utf8.h - the strict one-character UTF-8 decoder every outside text passes through.
// Threads: any (no state).
// Depends on: nothing.
//
// Accepts exactly the well-formed sequences of the Unicode standard: no overlong
// forms, no surrogates, nothing above U+10FFFF. An invalid result covers one maximal
// subpart of an ill-formed sequence (Unicode's recommended practice for U+FFFD), so
// the next decode starts at the byte that broke the sequence.
#pragma once
#include <cstdint>

enum : uint32_t { JSON_UTF8_INVALID = 0xFFFFFFFFu };

// Decodes one character from avail bytes. Returns the bytes consumed and writes the
// code point, or 0xFFFFFFFF for an invalid unit (one maximal subpart of an ill-formed
// sequence, as Unicode's substitution practice). avail < 1 consumes 0 bytes: callers
// stop on 0.
int json_utf8_decode(const unsigned char* s, int avail, uint32_t* out_cp);

// Encodes one code point (not a surrogate, at most U+10FFFF) into out (4 bytes room);
// returns the bytes written, 0 for a value that is not a scalar value.
int json_utf8_encode(uint32_t cp, unsigned char* out);
