// json_write.h - the bounded JSON writer: never writes past its buffer and reports
// the length the whole text needed.
// Threads: any (one writer per thread).
// Depends on: json_utf8.h (string encoding), json_number.h (number text).
//
// Calling order: init, write, finish. When the needed length is not below the
// capacity the text was cut (and finish leaves it empty): allocate needed + 1 bytes
// and write everything again. A null buffer only counts.
#pragma once
#include <cstddef>
#include <cstdint>

struct JsonWriter {
    char* buf;         // may be null
    uint64_t cap;      // bytes of buf; 0 when buf is null
    uint64_t needed;   // bytes the text written so far takes
};

void json_writer_init(JsonWriter* w, char* buf, uint64_t cap);
void json_write_bytes(JsonWriter* w, const void* bytes, size_t n);
void json_write_char(JsonWriter* w, char c);
void json_write_raw(JsonWriter* w, const char* text);   // NUL-terminated, as it stands
void json_write_bool(JsonWriter* w, bool b);            // true / false
void json_write_int(JsonWriter* w, int64_t v);
// Shortest text that reads back to exactly the same value; NaN and infinities as 0.
void json_write_float(JsonWriter* w, float v);
void json_write_double(JsonWriter* w, double v);
// A quoted string of text up to its NUL or max_bytes, whichever comes first; invalid
// UTF-8 is written as U+FFFD. A null text is written as "".
void json_write_string(JsonWriter* w, const char* text, size_t max_bytes);
// NUL-terminates the text when it fit, else empties the buffer. Returns the needed
// length (without the NUL).
uint64_t json_writer_finish(JsonWriter* w);
