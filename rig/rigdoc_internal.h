// rigdoc_internal.h - helpers the rigdoc*.cpp files share: allocation with its test
// hook, raw JSON texts kept verbatim, and input defaults. No compatibility promise.
// Threads: as rigdoc.h.
// Depends on: rigdoc.h.
#pragma once
#include <cstddef>

#include "rig/rigdoc.h"

// malloc / realloc that honour rig_doc_test_fail_allocs.
void* rigdoc_alloc(size_t n);
void* rigdoc_realloc(void* p, size_t n);
// Copy of a raw text (null for null). False when out of memory.
bool rigdoc_raw_dup(const char* src, char** out);

// A raw text being built: items separated by ','.
struct RigRawBuf {
    char* p;
    size_t len;
    size_t cap;
    bool failed;      // an append ran out of memory
};
// Appends one item: key (a string view with its quotation marks, may be null for an
// array element), ':' and the value, each as it stands in the text.
void rigdoc_raw_append(RigRawBuf* b, const char* key, size_t key_len, const char* value,
                       size_t value_len);
// The text built (null when nothing was appended); the buffer is emptied.
char* rigdoc_raw_take(RigRawBuf* b);
void rigdoc_raw_free(RigRawBuf* b);

// An input at index as a fresh rig has it: gain 1, centre, muted from the third input
// on, unlinked, no label, a new UUID. Frees its raw text.
void rigdoc_input_defaults(RigInput* in, int index);
// Whether a fresh rig links input 0 to input 1: two or more channels on an api whose
// inputs are not separate mono channels.
bool rigdoc_links_first_pair(const char* api, int channels);

int rigdoc_clamp_int(int v, int lo, int hi);
// Length of a glyph text with its trailing variation selectors (U+FE0E, U+FE0F) removed.
int rigdoc_glyph_trim(const char* text, int len);
