// json_read.h - the JSON reader: one validating pass over a text, then views into it
// (JsonValue), lazy walks over arrays and objects (JsonIter) and typed getters.
// Threads: any (no state; views point into a text the caller owns and keeps alive).
// Depends on: json_utf8.h (string decoding), json_number.h (number getters).
//
// Nothing is allocated and no tree is built: a caller parses once, then walks views
// with iterators and getters as often as it likes. Walks and getters never look
// outside the view they are given, even when it did not come from json_parse.
#pragma once
#include <cstddef>
#include <cstdint>

// Kind of a value, told by its first byte.
enum : int32_t {
    JSON_NONE = 0,
    JSON_NULL = 1,
    JSON_BOOL = 2,
    JSON_NUMBER = 3,
    JSON_STRING = 4,
    JSON_ARRAY = 5,
    JSON_OBJECT = 6,
};

// Containers nested deeper than this fail to parse.
enum { JSON_MAX_DEPTH = 64 };

// Flags of json_get_string.
enum : int {
    JSON_STR_CUT = 1,        // the text did not fit and was cut at a whole character
    JSON_STR_REPLACED = 2,   // an invalid character was written as U+FFFD
};

// A view of one value: a string includes its quotation marks, an array or object
// its brackets.
struct JsonValue {
    int32_t kind;
    const char* text;   // first byte of the value
    uint64_t len;       // bytes, trailing blanks excluded
};

// Cursor over the items of an array or the members of an object.
struct JsonIter {
    const char* pos;
    const char* end;    // the closing bracket
};

// Validates the whole text (a UTF-8 byte order mark is skipped) and gives the view of
// its one top-level value. On failure the view is kind 0, length 0, and err holds
// one line such as "unexpected ']' at byte 3" (byte offsets from the text passed in).
// A null text counts as empty. out and err may be null.
bool json_parse(const char* text, size_t len, JsonValue* out, char* err, size_t err_cap);

// Kind of a value from its first byte alone.
int32_t json_kind_of(unsigned char first);

// Starts a walk over an array or object view; anything else walks nothing.
void json_iter_begin(JsonIter* it, JsonValue v);
// Next array item. False at the end.
bool json_iter_next(JsonIter* it, JsonValue* out);
// Next object member: the key as a string view (quotation marks included) and its
// value. False at the end or at a member that is not well formed.
bool json_iter_next_member(JsonIter* it, JsonValue* key, JsonValue* value);
// The value of an object's first member called name. False for a missing member or a
// view that is no object (out then left alone).
bool json_find_member(JsonValue obj, const char* name, JsonValue* out);
// Items of an array or members of an object; 0 for other kinds.
int32_t json_count(JsonValue v);

// Getters return false, and leave the output alone, on a value of another kind.
bool json_get_bool(JsonValue v, uint8_t* out);
// Exactly rounded to the type; false when out of its range.
bool json_get_float(JsonValue v, float* out);
bool json_get_double(JsonValue v, double* out);
// Plain integers over their full range; other numbers only when integral and below
// 9.2e18 in magnitude.
bool json_get_int64(JsonValue v, int64_t* out);
// Decodes a string view into buf as UTF-8 (escapes resolved, surrogate pairs joined,
// invalid characters as U+FFFD), NUL-terminated and cut at a whole character within
// size - 1 bytes. Returns the bytes written; 0 with an empty buf when v is no string.
// flags (may be null) gets JSON_STR_CUT and JSON_STR_REPLACED.
size_t json_get_string(JsonValue v, char* buf, size_t size, int* flags);
// True when the string view decodes to exactly the NUL-terminated text.
bool json_string_equals(JsonValue v, const char* text);
